#pragma once
// ActiveSync delivery: a note becomes a message in the "ActiveSync" store's
// Drafts folder, with the note file attached, and is submitted for sending when
// the user chose Stop & Send. Unsent notes are converted the same way, without a
// log and without submitting.
//
// Every step and failure goes to the activity log (when one is given), and a
// failure stops the delivery where it happened; a message created before the
// failure stays in Drafts as far as it got. The caller learns only whether the
// note itself reached the store (its attachment committed), so that it keeps
// the note file when it did not.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/activity_log.h"
#include "delivery/activesync_store.h"

namespace delivery {

// The addresses of a To text: runs of blanks are skipped, and an address ends at
// a blank, a ";" or the end of the text.
std::vector<std::u16string> SplitActiveSyncRecipients(std::u16string_view to);

using MessagingLogon = std::function<MessagingResult(std::unique_ptr<MessagingSession>*)>;

// Delivers through the platform's messaging (LogonMessaging). log may be null.
// True when a message holding the note was made in the store's Drafts.
bool SendViaActiveSync(base::ActivityLog* log, std::u16string_view to, std::u16string_view subject,
                       const std::filesystem::path& note_path, std::u16string_view body_text, bool send_now);

// The same through the given logon.
bool SendViaActiveSync(const MessagingLogon& logon, base::ActivityLog* log, std::u16string_view to,
                       std::u16string_view subject, const std::filesystem::path& note_path,
                       std::u16string_view body_text, bool send_now);

}  // namespace delivery
