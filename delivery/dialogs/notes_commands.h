#pragma once
// What the options screen does with the unsent notes, with the windows and
// boxes the user sees: the notes list, delete all, resend all, the account
// test and the conversion when the delivery mode changes. Each call runs on
// the UI thread and returns when the user is done; the caller recounts the
// notes afterwards.

#include <optional>

#include "delivery/pending_notes.h"
#include "platform/window_system.h"
#include "settings/app_settings.h"

namespace delivery::dialogs {

// The notes list, modal to owner.
void ShowPendingNotesList(platform::HWND owner, const settings::AppSettings& settings);

// Deletes every unsent note; says so when some could not be deleted.
bool DeleteAllPendingNotesFor(platform::HWND owner, const settings::AppSettings& settings);

// Sends every unsent note now: through the mail service in the
// connection-status window, or, for the web service without SMTP, by web
// upload under the wait cursor (a refusal is told in a box).
ResendResult ResendPendingNotesFor(platform::HWND owner, const settings::AppSettings& settings,
                                   const PendingNotesOptions& options = {});

// The account test in the connection-status window; true when the login succeeded.
bool TestAccountFor(platform::HWND owner, const settings::AppSettings& settings,
                    const PendingNotesOptions& options = {});

// When unsent notes exist and `mode` converts (files, ActiveSync): asks the
// conversion question (yes/no, question icon, titled "Dictalo") and converts
// on Yes, telling the user of notes that could not be converted. Nothing when
// the question was not asked or was answered No.
std::optional<ConversionResult> OfferPendingNotesConversion(platform::HWND owner,
                                                            const settings::AppSettings& settings,
                                                            settings::SendMode mode,
                                                            const PendingNotesOptions& options = {});

}  // namespace delivery::dialogs
