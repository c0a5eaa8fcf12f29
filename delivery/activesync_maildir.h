#pragma once
// The messaging system on Linux: the "ActiveSync" store is a Maildir tree whose
// root is HKCU "Software\Corvane\Dictalo" "ActiveSyncStore" when set, else
// "ActiveSync" in the installation folder. Its Drafts folder is "<root>/.Drafts";
// submitting moves a message to "<root>/.Outbox/new", where a sync tool or a
// sendmail-compatible agent picks it up.
//
// A created message is a file in Drafts (cur/, flag "D") from the start, and each
// change rewrites it as a whole MIME message (To from the recipients, the
// subject, a text part with the body, each committed attachment under the base
// name of its file name with the content type of its extension), so a delivery
// that stops half-way leaves the message in Drafts as far as it got.

#include <filesystem>
#include <memory>

#include "delivery/activesync_store.h"

namespace delivery {

inline constexpr char16_t kActiveSyncKeyPath[] = u"Software\\Corvane\\Dictalo";
inline constexpr char16_t kActiveSyncStoreValue[] = u"ActiveSyncStore";
inline constexpr char16_t kActiveSyncStoreName[] = u"ActiveSync";
inline constexpr char kDraftsFolderName[] = "Drafts";
inline constexpr char kOutboxFolderName[] = "Outbox";

// The store's root from the registry, else the default.
std::filesystem::path ActiveSyncStoreRoot();

// A session whose stores table lists the one Maildir store at root.
std::unique_ptr<MessagingSession> OpenMaildirMessaging(const std::filesystem::path& root);

// The logon of the platform's messaging: the store at ActiveSyncStoreRoot().
[[nodiscard]] MessagingResult LogonMessaging(std::unique_ptr<MessagingSession>* session);

}  // namespace delivery
