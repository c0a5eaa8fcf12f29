#include "delivery/dialogs/notes_commands.h"

#include "delivery/dialogs/connection_status_dialog.h"
#include "delivery/dialogs/dialog_boxes.h"
#include "delivery/dialogs/note_info.h"
#include "delivery/dialogs/notes_list_dialog.h"
#include "delivery/dialogs/wait_cursor.h"
#include "platform/text.h"
#include "protocols/socket_layer.h"
#include "resources/notes_resources.h"
#include "toolkit/resources.h"

namespace delivery::dialogs {

void ShowPendingNotesList(platform::HWND owner, const settings::AppSettings& settings) {
  NotesListDialog dialog(settings);
  (void)dialog.Run(owner);
}

bool DeleteAllPendingNotesFor(platform::HWND owner, const settings::AppSettings& settings) {
  bool emptied = DeleteAllPendingNotes(settings);
  if (!emptied) ShowError(owner, toolkit::LoadStringW(resources::kDeleteAllFailedString));
  return emptied;
}

ResendResult ResendPendingNotesFor(platform::HWND owner, const settings::AppSettings& settings,
                                   const PendingNotesOptions& options) {
  bool web = settings.notes_send_mode == settings::SendMode::WebService && !settings.use_smtp_for_web;
  if (!web) return RunConnectionStatus(owner, settings, true, options).result;
  ResendResult result;
  {
    WaitCursor wait;
    protocols::ScopedSocketLayer sockets;
    result = ResendPendingNotes(settings, true, options);
  }
  // Without a window nothing else would tell the user that notes are left.
  if (!result.succeeded && result.storage_available)
    ShowError(owner, toolkit::LoadStringW(resources::kWebResendFailedString));
  return result;
}

bool TestAccountFor(platform::HWND owner, const settings::AppSettings& settings, const PendingNotesOptions& options) {
  ConnectionRun run = RunConnectionStatus(owner, settings, false, options);
  return run.shown && run.result.succeeded;
}

std::optional<ConversionResult> OfferPendingNotesConversion(platform::HWND owner,
                                                            const settings::AppSettings& settings,
                                                            settings::SendMode mode,
                                                            const PendingNotesOptions& options) {
  std::u16string question = ConvertPendingNotesQuestion(mode);
  if (question.empty() || CountPendingNotes(settings).count == 0) return std::nullopt;
  if (!AskYesNo(owner, question)) return std::nullopt;
  ConversionResult result;
  {
    WaitCursor wait;
    result = ConvertPendingNotes(settings, mode, options);
  }
  if (result.failed > 0) {
    ShowError(owner, FillTemplate(toolkit::LoadStringW(resources::kConversionFailedString),
                                  {platform::Utf8ToUtf16(std::to_string(result.failed))}));
  }
  return result;
}

}  // namespace delivery::dialogs
