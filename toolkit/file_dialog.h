#pragma once
// The platform's file dialogs: "save as" (the notes list's Save As File) and
// "open" (certificate import). They go to the installed renderer: the Qt one
// shows the desktop's file dialog, the headless one answers from a script
// (DICTALO_FILEDIALOG_ANSWERS: comma-separated paths, "" or "CANCEL" for a
// cancel; a test may also set answers directly). Modal to owner; called on the
// owner's thread.

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace toolkit {

struct FileDialogRequest {
  platform::HWND owner = nullptr;
  bool save = true;               // false: choose an existing file to open
  std::u16string title;           // "Save Note As"
  std::u16string filter;          // "All Files (*.*)|*.*||": pairs of name and patterns
  std::u16string initial_name;    // proposed file name (save) or folder
  std::size_t max_path = 300;     // a longer choice is refused as a cancel
};

class FileDialogPresenter {
 public:
  virtual ~FileDialogPresenter() = default;
  // The chosen path, or nothing when the user cancelled.
  virtual std::optional<std::u16string> Present(const FileDialogRequest& request) = 0;
};

// Answers from a script instead of showing anything (the headless renderer's).
// Answers set by SetAnswers come first, then those of DICTALO_FILEDIALOG_ANSWERS
// (taken in order; the script starts over when the variable changes). With no
// answer left the dialog is cancelled. Each request is written to stderr.
class HeadlessFileDialogPresenter : public FileDialogPresenter {
 public:
  std::optional<std::u16string> Present(const FileDialogRequest& request) override;
  // nullopt stands for a cancel.
  void SetAnswers(std::vector<std::optional<std::u16string>> answers);
  // The requests presented so far, oldest first.
  std::vector<FileDialogRequest> Requests() const;

 private:
  mutable std::mutex mu_;
  std::deque<std::optional<std::u16string>> answers_;
  std::vector<FileDialogRequest> requests_;
};

// Shows the dialog through the installed renderer's presenter (none installed:
// cancelled). A choice that is empty, longer than request.max_path or holds a
// NUL character counts as a cancel: no caller gets a path it cannot use whole.
std::optional<std::u16string> GetFileName(const FileDialogRequest& request);

}  // namespace toolkit
