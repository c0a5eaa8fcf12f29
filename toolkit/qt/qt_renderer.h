#pragma once
// QtRenderer: the desktop renderer on Qt 6 Widgets.
//
// Made on the GUI thread (the thread that made the QApplication), then
// installed with toolkit::SetRenderer. Window-system reports arrive on the
// program's threads: each is turned into a snapshot there (a window's state is
// read with messages only by the thread that owns it) and handed to the GUI
// thread, where WidgetMirror shows it. User input returns as posted messages
// only, so the GUI thread never waits for the program.
//
// With DICTALO_UI_DUMP set, a HeadlessRenderer beside it keeps the dump file as
// it does without a display. Message boxes and file dialogs are shown by Qt on
// the GUI thread while the asking thread waits, handling its own messages.
// Tray icons become QSystemTrayIcons; notifications go to the desktop's
// notification service (org.freedesktop.Notifications) when the session bus
// has one, else to the tray icon's balloon, else nowhere.
//
// Like every renderer it lives until the process ends; Shutdown (GUI thread,
// before the QApplication goes) removes its widgets and answers boxes still open.

#include <memory>
#include <string>

#include "toolkit/headless_renderer.h"
#include "toolkit/renderer.h"

class QWidget;

namespace toolkit::qt {

class GuiThread;
class WidgetMirror;
class TrayArea;
class QtMessageBoxPresenter;
class QtFileDialogPresenter;

class QtRenderer : public Renderer {
 public:
  // dump_path: the file the dump keeps up to date ("" for none).
  explicit QtRenderer(std::string dump_path = HeadlessRenderer::DumpPathFromEnvironment());
  ~QtRenderer() override;

  bool ShowsWindows() const override { return true; }
  void OnWindowCreated(HWND hwnd) override;
  void OnWindowDestroyed(HWND hwnd) override;
  void OnWindowTextChanged(HWND hwnd) override;
  void OnWindowShown(HWND hwnd, bool visible) override;
  void OnWindowEnabled(HWND hwnd, bool enabled) override;
  void OnWindowMoved(HWND hwnd) override;
  void OnControlChanged(HWND control) override;
  void OnForeground(HWND hwnd) override;
  void OnTrayIcon(const TrayIconState& icon) override;
  void OnTrayIconRemoved(HWND owner, UINT id) override;
  void ShowNotification(std::u16string_view title, std::u16string_view text) override;
  MessageBoxPresenter* MessageBoxes() override;
  FileDialogPresenter* FileDialogs() override;

  // GUI thread: the widget that shows the window (nullptr when none).
  QWidget* WidgetFor(HWND hwnd) const;
  // GUI thread: the window a mirrored widget shows (nullptr for other widgets).
  HWND WindowOf(const QWidget* widget) const;
  // GUI thread: the tray icons and notifications.
  TrayArea& Tray() { return *tray_; }
  // The dump beside it, or nullptr without a dump file.
  const HeadlessRenderer* Dump() const { return dump_.get(); }
  // Logical pixels per pixel at 96 dpi, from the primary screen.
  double DpiScale() const { return dpi_scale_; }

  // GUI thread: closes every widget and tray icon without telling the program,
  // and answers open boxes with their default. Later reports are dropped.
  void Shutdown();

 private:
  void Post(std::function<void(WidgetMirror&)> work);

  double dpi_scale_ = 1.0;
  std::unique_ptr<GuiThread> gui_;
  std::unique_ptr<WidgetMirror> mirror_;
  std::unique_ptr<TrayArea> tray_;
  std::unique_ptr<QtMessageBoxPresenter> boxes_;
  std::unique_ptr<QtFileDialogPresenter> files_;
  std::unique_ptr<HeadlessRenderer> dump_;
};

// Tells the toolkit the screen's size and work area in pixels at 96 dpi (the
// program's coordinates) from the primary screen. GUI thread.
void PublishDisplayMetrics(double dpi_scale);
// Tells the toolkit the desktop's window, text and highlight colours
// (GetSysColor). GUI thread.
void PublishSystemColors();
// Logical pixels per pixel at 96 dpi of the primary screen (1 without one).
double PrimaryDpiScale();

}  // namespace toolkit::qt
