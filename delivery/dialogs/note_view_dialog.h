#pragma once
// NoteViewDialog ("Voice Note Edit"): one unsent note's From, To and Subject,
// what its recording is (encoding, size, length, date), Play, and Delete after
// a question. Playing runs on a thread of its own so the dialog stays
// responsive; Play does nothing while the note is playing, and closing the
// dialog waits for the sound to end.
//
// The note is named by its record id: when it left the Outbox meanwhile (sent,
// deleted from the command line) Play and Delete say so and touch nothing.

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "audio/note_playback.h"
#include "delivery/pending_notes.h"
#include "settings/app_settings.h"
#include "toolkit/ce_dialog.h"
#include "toolkit/menu_bar.h"

namespace delivery::dialogs {

// Plays a note's recording and returns when it has finished; true when
// something was played. Called on the playing thread, one call at a time.
using NotePlayer = std::function<bool(std::u16string_view attachment_name, std::span<const std::uint8_t> content,
                                      const audio::BusyIndicator& busy)>;

class NoteViewDialog : public toolkit::CeDialog {
 public:
  // DoModal's result after the note was deleted from the dialog.
  static constexpr platform::LRESULT kNoteDeleted = 3;

  // `settings` outlives the dialog. An empty player plays through audio::NotePlayback.
  NoteViewDialog(const settings::AppSettings& settings, PendingNote note, NotePlayer player = {});
  ~NoteViewDialog() override;

  // Runs the dialog modally, owned by `owner`.
  platform::LRESULT Run(platform::HWND owner);

  bool playing() const { return playing_; }

 protected:
  platform::LRESULT OnInitDialog(platform::HWND focus, platform::LPARAM param, bool& handled) override;
  platform::LRESULT OnCommand(platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;
  platform::LRESULT OnMessage(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam,
                              bool& handled) override;
  void OnDestroy(bool& handled) override;

 private:
  void Play();
  void PlayFinished();
  void Delete();
  void EnablePlay(bool enable);
  void JoinPlayer();

  const settings::AppSettings& settings_;
  PendingNote note_;
  NotePlayer player_;
  audio::NotePlayback playback_;  // the default player's, used on the playing thread only
  PendingNoteRecording recording_;
  std::shared_ptr<const std::string> content_;
  std::thread play_thread_;
  std::atomic<bool> playing_{false};
  bool in_command_ = false;
  toolkit::CMenuBar menu_bar_;
};

}  // namespace delivery::dialogs
