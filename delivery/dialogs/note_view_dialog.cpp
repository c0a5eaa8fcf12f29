#include "delivery/dialogs/note_view_dialog.h"

#include <optional>

#include "delivery/dialogs/dialog_boxes.h"
#include "delivery/dialogs/note_info.h"
#include "delivery/dialogs/wait_cursor.h"
#include "resources/notes_resources.h"
#include "toolkit/resources.h"

namespace delivery::dialogs {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

namespace {

// Posted by the playing thread when the sound has ended.
constexpr UINT kPlayFinishedMessage = platform::WM_APP + 0x361;

// Notes that the user still has to find in the Outbox: whether it is there.
bool NoteStillUnsent(const settings::AppSettings& settings, storage::RecordId id) {
  for (const PendingNote& note : ListPendingNotes(settings))
    if (note.id == id) return true;
  return false;
}

}  // namespace

NoteViewDialog::NoteViewDialog(const settings::AppSettings& settings, PendingNote note, NotePlayer player)
    : settings_(settings), note_(std::move(note)), player_(std::move(player)) {
  if (!player_) {
    player_ = [this](std::u16string_view name, std::span<const std::uint8_t> content,
                     const audio::BusyIndicator& busy) { return playback_.PlayNote(name, content, busy); };
  }
}

NoteViewDialog::~NoteViewDialog() { JoinPlayer(); }

LRESULT NoteViewDialog::Run(HWND owner) { return DoModal(resources::kNoteViewDialog, owner); }

LRESULT NoteViewDialog::OnInitDialog(HWND focus, LPARAM param, bool& handled) {
  SetSHInitFlags(toolkit::SHIDIF_SIZEDLGFULLSCREEN);
  LRESULT result = CeDialog::OnInitDialog(focus, param, handled);
  menu_bar_.Create(GetSafeHwnd(), resources::kNoteViewMenuBar);
  SetDlgItemTextW(resources::kNoteFromField, note_.from);
  SetDlgItemTextW(resources::kNoteToField, note_.recipient);
  SetDlgItemTextW(resources::kNoteSubjectField, note_.subject);

  recording_ = ReadPendingNoteRecording(settings_, note_.id);
  content_ = std::make_shared<const std::string>(recording_.content);
  std::u16string encoding = RecordingEncodingText(recording_.file_name, recording_.content);
  std::u16string length = LengthText(RecordingLengthSeconds(recording_.content));
  SetDlgItemTextW(resources::kNoteInfoText,
                  NoteInfoText(toolkit::LoadStringW(resources::kNoteInfoString), encoding,
                               PendingNoteSizeText(note_.size), length, PendingNoteDateText(note_.date)));
  if (!recording_.found) EnablePlay(false);
  handled = true;
  return result;
}

LRESULT NoteViewDialog::OnCommand(WPARAM wparam, LPARAM, bool& handled) {
  if (platform::HIWORD(wparam) != 0) return 0;
  UINT id = platform::LOWORD(wparam);
  if (id != resources::kNotePlayButton && id != resources::kPlayNoteCommand && id != resources::kDeleteNoteCommand)
    return 0;
  handled = true;
  // A command that comes while a question of the last one is open waits its turn.
  if (in_command_) return 0;
  in_command_ = true;
  if (id == resources::kDeleteNoteCommand) {
    Delete();
  } else {
    Play();
  }
  in_command_ = false;
  return 0;
}

LRESULT NoteViewDialog::OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  if (msg == kPlayFinishedMessage) {
    PlayFinished();
    handled = true;
    return 0;
  }
  return CeDialog::OnMessage(msg, wparam, lparam, handled);
}

void NoteViewDialog::OnDestroy(bool& handled) {
  // The playing thread posts to this window; it must be done before the window goes.
  JoinPlayer();
  CeDialog::OnDestroy(handled);
}

void NoteViewDialog::Play() {
  if (playing_) return;
  if (!recording_.found) {
    ShowError(GetSafeHwnd(), toolkit::LoadStringW(resources::kNoteGoneString));
    return;
  }
  JoinPlayer();
  playing_ = true;
  EnablePlay(false);
  HWND self = GetSafeHwnd();
  std::u16string name = recording_.file_name;
  std::shared_ptr<const std::string> content = content_;
  play_thread_ = std::thread([this, self, name, content] {
    std::optional<WaitCursor> wait;
    audio::BusyIndicator busy = [&wait](bool on) {
      if (on) {
        wait.emplace();
      } else {
        wait.reset();
      }
    };
    (void)player_(name,
                  std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(content->data()), content->size()),
                  busy);
    wait.reset();
    platform::PostMessage(self, kPlayFinishedMessage, 0, 0);
  });
}

void NoteViewDialog::PlayFinished() {
  JoinPlayer();
  playing_ = false;
  EnablePlay(true);
}

void NoteViewDialog::Delete() {
  if (!AskYesNo(GetSafeHwnd(), toolkit::LoadStringW(resources::kDeleteOpenedString))) return;
  if (DeletePendingNote(settings_, note_.id)) {
    EndDialog(kNoteDeleted);
    return;
  }
  bool gone = !NoteStillUnsent(settings_, note_.id);
  ShowError(GetSafeHwnd(), toolkit::LoadStringW(gone ? resources::kNoteGoneString : resources::kDeleteFailedString));
}

void NoteViewDialog::EnablePlay(bool enable) {
  if (HWND button = GetDlgItem(resources::kNotePlayButton)) platform::EnableWindow(button, enable);
  (void)menu_bar_.EnableKey(resources::kPlayNoteCommand, enable);
}

void NoteViewDialog::JoinPlayer() {
  if (play_thread_.joinable()) play_thread_.join();
}

}  // namespace delivery::dialogs
