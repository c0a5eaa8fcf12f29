#pragma once
// Message boxes and file dialogs shown by Qt for the QtRenderer. A program
// thread asks; the box is made and shown on the GUI thread; the asking thread
// waits for the answer while it keeps handling its own messages, as it would
// inside a modal box. A quit message met meanwhile closes the box (answered as
// Escape would, else with its default) and is posted again afterwards.
//
// A script of answers (DICTALO_MESSAGEBOX_ANSWERS, DICTALO_FILEDIALOG_ANSWERS)
// answers as it does without a display, so scripted runs work on a desktop too.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include <QStringList>

#include "toolkit/file_dialog.h"
#include "toolkit/message_box.h"

class QWidget;

namespace toolkit::qt {

class GuiThread;

// GUI thread: the widget that shows a program window, or nullptr.
using OwnerLookup = std::function<QWidget*(platform::HWND)>;

class QtMessageBoxPresenter : public MessageBoxPresenter {
 public:
  QtMessageBoxPresenter(GuiThread& gui, OwnerLookup owner_widget);
  ~QtMessageBoxPresenter() override;
  MessageBoxAnswer Present(const MessageBoxRequest& request) override;
  // GUI thread: closes every open box; each answers as on a quit.
  void CloseAll();

  struct Pending;

 private:
  GuiThread& gui_;
  OwnerLookup owner_widget_;
  HeadlessMessageBoxPresenter scripted_;
  std::mutex mu_;
  std::set<std::shared_ptr<Pending>> open_;
};

class QtFileDialogPresenter : public FileDialogPresenter {
 public:
  QtFileDialogPresenter(GuiThread& gui, OwnerLookup owner_widget);
  ~QtFileDialogPresenter() override;
  std::optional<std::u16string> Present(const FileDialogRequest& request) override;
  // GUI thread: cancels every open dialog.
  void CloseAll();

  struct Pending;

 private:
  GuiThread& gui_;
  OwnerLookup owner_widget_;
  HeadlessFileDialogPresenter scripted_;
  std::mutex mu_;
  std::set<std::shared_ptr<Pending>> open_;
};

// The answer a box gives when it is closed without a button: the one Escape
// chooses (Cancel; OK when OK is the only button), else the default.
int AnswerWithoutChoice(const MessageBoxRequest& request);

// "Notes (*.ogg;*.wav)|*.ogg;*.wav|All Files (*.*)|*.*||" as Qt name filters:
// "Notes (*.ogg *.wav)", "All Files (*)". "*.*" means every file, with or
// without a dot. A name without patterns is dropped.
QStringList ToQtNameFilters(std::u16string_view filter);

}  // namespace toolkit::qt
