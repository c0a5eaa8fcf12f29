#include "toolkit/qt/qt_renderer.h"

#include <cmath>

#include <QApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include "toolkit/dialog_manager.h"
#include "toolkit/display.h"
#include "toolkit/gdi.h"
#include "toolkit/qt/gui_thread.h"
#include "toolkit/qt/program_icons.h"
#include "toolkit/qt/qt_message_box.h"
#include "toolkit/qt/tray_area.h"
#include "toolkit/qt/widget_mirror.h"
#include "toolkit/qt/window_snapshot.h"

namespace toolkit::qt {
namespace pw = platform;

double PrimaryDpiScale() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return 1.0;
  double dpi = screen->logicalDotsPerInch();
  return dpi > 0 ? dpi / 96.0 : 1.0;
}

void PublishDisplayMetrics(double dpi_scale) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || dpi_scale <= 0) return;
  auto at96 = [dpi_scale](int v) { return static_cast<int>(std::lround(v / dpi_scale)); };
  QRect full = screen->geometry();
  QRect work = screen->availableGeometry();
  DisplayMetrics metrics;
  // The program lays out in pixels at 96 dpi; the renderer scales what it shows.
  metrics.dpi = 96;
  metrics.device_dpi = static_cast<int>(std::lround(96.0 * dpi_scale * screen->devicePixelRatio()));
  metrics.screen_width = at96(full.width());
  metrics.screen_height = at96(full.height());
  metrics.work_area = RECT{at96(work.left()), at96(work.top()), at96(work.left() + work.width()),
                           at96(work.top() + work.height())};
  SetDisplayMetrics(metrics);
}

void PublishSystemColors() {
  QPalette palette = QApplication::palette();
  auto to_colorref = [](const QColor& c) { return RGB(c.red(), c.green(), c.blue()); };
  SetSysColor(COLOR_WINDOW, to_colorref(palette.color(QPalette::Active, QPalette::Window)));
  SetSysColor(COLOR_WINDOWTEXT, to_colorref(palette.color(QPalette::Active, QPalette::WindowText)));
  SetSysColor(COLOR_HIGHLIGHT, to_colorref(palette.color(QPalette::Active, QPalette::Highlight)));
  SetSysColor(COLOR_HIGHLIGHTTEXT, to_colorref(palette.color(QPalette::Active, QPalette::HighlightedText)));
  SetSysColor(COLOR_BTNFACE, to_colorref(palette.color(QPalette::Active, QPalette::Button)));
}

QtRenderer::QtRenderer(std::string dump_path)
    : dpi_scale_(PrimaryDpiScale()),
      gui_(std::make_unique<GuiThread>()),
      mirror_(std::make_unique<WidgetMirror>(dpi_scale_)),
      tray_(std::make_unique<TrayArea>()) {
  AddProgramIconFolder();
  OwnerLookup lookup = [this](HWND hwnd) { return mirror_ ? mirror_->WidgetFor(hwnd) : nullptr; };
  boxes_ = std::make_unique<QtMessageBoxPresenter>(*gui_, lookup);
  files_ = std::make_unique<QtFileDialogPresenter>(*gui_, lookup);
  if (!dump_path.empty()) dump_ = std::make_unique<HeadlessRenderer>(std::move(dump_path));
}

QtRenderer::~QtRenderer() { Shutdown(); }

void QtRenderer::Shutdown() {
  gui_->Stop();
  if (boxes_) boxes_->CloseAll();
  if (files_) files_->CloseAll();
  if (tray_) tray_->Clear();
  if (mirror_) mirror_->Clear();
}

void QtRenderer::Post(std::function<void(WidgetMirror&)> work) {
  WidgetMirror* mirror = mirror_.get();
  gui_->Post([mirror, work = std::move(work)] { work(*mirror); });
}

MessageBoxPresenter* QtRenderer::MessageBoxes() { return boxes_.get(); }

FileDialogPresenter* QtRenderer::FileDialogs() { return files_.get(); }

QWidget* QtRenderer::WidgetFor(HWND hwnd) const { return mirror_->WidgetFor(hwnd); }

HWND QtRenderer::WindowOf(const QWidget* widget) const { return mirror_->WindowOf(widget); }

void QtRenderer::OnWindowCreated(HWND hwnd) {
  if (dump_) dump_->OnWindowCreated(hwnd);
  // Reported by the creating thread, which owns the window.
  if (!OwnedByCaller(hwnd)) return;
  Post([snapshot = ReadWindow(hwnd)](WidgetMirror& m) { m.Create(snapshot); });
}

void QtRenderer::OnWindowDestroyed(HWND hwnd) {
  if (dump_) dump_->OnWindowDestroyed(hwnd);
  Post([hwnd](WidgetMirror& m) { m.Destroy(hwnd); });
}

void QtRenderer::OnWindowTextChanged(HWND hwnd) {
  if (dump_) dump_->OnWindowTextChanged(hwnd);
  // Read where the window lives; a change reported elsewhere comes again from there.
  if (!OwnedByCaller(hwnd)) return;
  // An edit field reports its text with its state, once per change: a second
  // report here would look like a change of its own.
  std::u16string class_name = pw::GetClassName(hwnd);
  if (IsEditField(KindOf(class_name, 0, false))) return;
  WindowSnapshot update;
  update.hwnd = hwnd;
  update.text = pw::GetWindowText(hwnd);
  Post([update = std::move(update)](WidgetMirror& m) { m.Update(update, kUpdateText); });
}

void QtRenderer::OnWindowShown(HWND hwnd, bool visible) {
  if (dump_) dump_->OnWindowShown(hwnd, visible);
  WindowSnapshot update;
  update.hwnd = hwnd;
  update.visible = visible;
  // A window is often placed just before it shows: take its place along.
  update.rect = PlacementOf(hwnd);
  if (OwnedByCaller(hwnd) && IsDialog(hwnd)) update.owner = GetDialogOwner(hwnd);
  Post([update](WidgetMirror& m) { m.Update(update, kUpdateRect | kUpdateShown); });
}

void QtRenderer::OnWindowEnabled(HWND hwnd, bool enabled) {
  if (dump_) dump_->OnWindowEnabled(hwnd, enabled);
  WindowSnapshot update;
  update.hwnd = hwnd;
  update.enabled = enabled;
  Post([update](WidgetMirror& m) { m.Update(update, kUpdateEnabled); });
}

void QtRenderer::OnWindowMoved(HWND hwnd) {
  if (dump_) dump_->OnWindowMoved(hwnd);
  WindowSnapshot update;
  update.hwnd = hwnd;
  update.rect = PlacementOf(hwnd);
  Post([update](WidgetMirror& m) { m.Update(update, kUpdateRect); });
}

void QtRenderer::OnControlChanged(HWND control) {
  if (dump_) dump_->OnControlChanged(control);
  if (!OwnedByCaller(control) || !pw::IsWindow(control)) return;
  WindowSnapshot snapshot = ReadWindow(control);
  unsigned parts = kUpdateState;
  // Edit fields keep their text inside: a change of it comes this way too.
  if (snapshot.kind == WidgetKind::kLineEdit || snapshot.kind == WidgetKind::kTextEdit ||
      snapshot.kind == WidgetKind::kComboBox)
    parts |= kUpdateText;
  Post([snapshot = std::move(snapshot), parts](WidgetMirror& m) { m.Update(snapshot, parts); });
}

void QtRenderer::OnForeground(HWND hwnd) {
  // May come from the thread that serves other processes: only the handle is used.
  Post([hwnd](WidgetMirror& m) { m.BringToFront(hwnd); });
}

void QtRenderer::OnTrayIcon(const TrayIconState& icon) {
  if (dump_) dump_->OnTrayIcon(icon);
  TrayArea* tray = tray_.get();
  gui_->Post([tray, icon] { tray->SetIcon(icon); });
}

void QtRenderer::OnTrayIconRemoved(HWND owner, UINT id) {
  if (dump_) dump_->OnTrayIconRemoved(owner, id);
  TrayArea* tray = tray_.get();
  gui_->Post([tray, owner, id] { tray->RemoveIcon(owner, id); });
}

void QtRenderer::ShowNotification(std::u16string_view title, std::u16string_view text) {
  if (dump_) dump_->ShowNotification(title, text);
  TrayArea* tray = tray_.get();
  gui_->Post([tray, title = std::u16string(title), text = std::u16string(text)] { tray->Notify(title, text); });
}

}  // namespace toolkit::qt
