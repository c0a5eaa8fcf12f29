#include "toolkit/qt/qt_dialog_check_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTextDocumentFragment>
#include <QThread>
#include <QWidget>

#include "platform/text.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/menu_bar.h"
#include "toolkit/qt/window_snapshot.h"
#include "toolkit/resources.h"
#include "toolkit/separator.h"
#include "toolkit/qt/qt_text.h"
#include "toolkit/qt/widget_mirror.h"

namespace toolkit::qt::testing {
namespace pw = platform;

namespace {

constexpr UINT kRunMessage = pw::WM_APP + 0x3A1;
constexpr char16_t kHostClass[] = u"QtCheckHost";


std::string S(const QString& text) { return text.toStdString(); }

bool Is(std::u16string_view a, std::u16string_view b) { return pw::EqualsIgnoreAsciiCase(a, b); }

// The Qt class a user should see for a control, written out apart from the
// renderer's own mapping so that the two are checked against each other.
std::string ExpectedClass(const ControlTemplate& c) {
  const std::u16string& k = c.class_name;
  if (Is(k, kStaticClass)) return "QLabel";
  if (Is(k, kButtonClass)) {
    switch (c.style & BS_TYPEMASK) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
        return "QCheckBox";
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return "QRadioButton";
      case BS_GROUPBOX:
        return "QGroupBox";
      default:
        return "QPushButton";
    }
  }
  if (Is(k, kProgressClass)) return "QProgressBar";
  if (Is(k, kEditClass)) return (c.style & ES_MULTILINE) ? "QPlainTextEdit" : "QLineEdit";
  if (Is(k, kComboBoxClass)) return "QComboBox";
  if (Is(k, kListBoxClass)) return "QListWidget";
  if (Is(k, kTrackbarClass)) return "QSlider";
  if (Is(k, kListViewClass) || Is(k, kTreeViewClass)) return "QTreeWidget";
  if (Is(k, kTabControlClass)) return "QTabBar";
  if (Is(k, kSeparatorClass) || Is(k, LabelEditClassName())) return "QLabel";
  return "QWidget";
}

// "&&" shows as "&", "&x" as an underlined "x".
QString Shown(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

// The text the widget shows, when its kind shows one; nullopt otherwise.
std::optional<QString> ShownText(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->textFormat() == Qt::RichText) return QTextDocumentFragment::fromHtml(label->text()).toPlainText();
    return label->text();
  }
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) return edit->toPlainText();
  return std::nullopt;
}

std::optional<QString> ExpectedText(const ControlTemplate& c) {
  QString text = ToQString(c.text);
  if (Is(c.class_name, kStaticClass)) return (c.style & SS_NOPREFIX) ? text : Shown(text);
  if (Is(c.class_name, kSeparatorClass)) return text;
  if (Is(c.class_name, kButtonClass)) return text;  // Qt buttons keep the & marks
  if (Is(c.class_name, kEditClass)) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
  }
  return std::nullopt;
}

pw::LRESULT HostProc(pw::HWND hwnd, UINT msg, pw::WPARAM wparam, pw::LPARAM lparam) {
  return pw::DefWindowProc(hwnd, msg, wparam, lparam);
}

}  // namespace

void EnsureOffscreenApplication() {
  if (QApplication::instance()) return;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "dictalo_qt_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: widgets of a failed test may outlive it otherwise.
  auto* application = new QApplication(argc, argv);
  application->setQuitOnLastWindowClosed(false);
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

ScopedQtRenderer::ScopedQtRenderer() {
  EnsureOffscreenApplication();
  renderer_ = std::make_unique<QtRenderer>(std::string());
  previous_ = SetRenderer(renderer_.get());
}

ScopedQtRenderer::~ScopedQtRenderer() {
  SetRenderer(previous_);
  renderer_->Shutdown();
  QCoreApplication::processEvents();
}

QWidget* ScopedQtRenderer::WaitForWidget(pw::HWND hwnd) {
  WaitFor([&] { return renderer_->WidgetFor(hwnd) != nullptr; });
  return renderer_->WidgetFor(hwnd);
}

ProgramThread::ProgramThread() {
  std::promise<pw::DWORD> started;
  auto id = started.get_future();
  thread_ = std::thread([this, &started] {
    pw::MSG msg;
    pw::PeekMessage(&msg, nullptr, 0, 0, pw::PM_NOREMOVE);  // makes the queue
    started.set_value(pw::GetCurrentThreadId());
    while (pw::GetMessage(&msg) != 0) {
      if (msg.hwnd == nullptr && msg.message == kRunMessage) {
        std::unique_ptr<std::function<void()>> work(reinterpret_cast<std::function<void()>*>(msg.lParam));
        (*work)();
        continue;
      }
      bool taken = false;
      for (pw::HWND dialog : dialogs_)
        if (pw::IsWindow(dialog) && IsDialogMessageW(dialog, &msg)) {
          taken = true;
          break;
        }
      if (taken) continue;
      pw::TranslateMessage(msg);
      pw::DispatchMessage(msg);
    }
    // Windows left by a test go with the thread.
    for (pw::HWND dialog : dialogs_)
      if (pw::IsWindow(dialog)) pw::DestroyWindow(dialog);
  });
  thread_id_ = id.get();
}

ProgramThread::~ProgramThread() {
  pw::PostThreadMessage(thread_id_, pw::WM_QUIT, 0, 0);
  thread_.join();
}

void ProgramThread::Run(std::function<void()> work) {
  auto* boxed = new std::function<void()>(std::move(work));
  if (!pw::PostThreadMessage(thread_id_, kRunMessage, 0, reinterpret_cast<pw::LPARAM>(boxed))) delete boxed;
}

void ProgramThread::AddDialog(pw::HWND dialog) { dialogs_.insert(dialog); }

pw::LRESULT PassiveDialogProc(pw::HWND, UINT msg, pw::WPARAM, pw::LPARAM) {
  return msg == pw::WM_INITDIALOG ? 1 : 0;
}

std::vector<std::string> CompareWithTemplate(QtRenderer& renderer, pw::HWND dialog,
                                             const std::vector<pw::HWND>& controls, const DialogTemplate& t) {
  std::vector<std::string> problems;
  auto problem = [&](const std::string& text) { problems.push_back(text); };
  QWidget* top = renderer.WidgetFor(dialog);
  if (!top) {
    problem("no widget for the dialog");
    return problems;
  }
  if (controls.size() != t.controls.size()) {
    problem("the dialog has " + std::to_string(controls.size()) + " controls, the template " +
            std::to_string(t.controls.size()));
    return problems;
  }
  // Mirrored children of the dialog's widget, in the order Qt keeps them.
  std::vector<QWidget*> shown;
  for (QObject* child : top->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (w && renderer.WindowOf(w)) shown.push_back(w);
  }
  if (shown.size() != t.controls.size())
    problem("the dialog's widget has " + std::to_string(shown.size()) + " control widgets, the template " +
            std::to_string(t.controls.size()));

  for (std::size_t i = 0; i < t.controls.size(); ++i) {
    const ControlTemplate& c = t.controls[i];
    std::string where = "control " + std::to_string(i) + " (id " + std::to_string(c.id) + "): ";
    QWidget* w = renderer.WidgetFor(controls[i]);
    if (!w) {
      problem(where + "no widget");
      continue;
    }
    if (i < shown.size() && shown[i] != w) problem(where + "not in the template's place among its siblings");
    if (w->parentWidget() != top) problem(where + "not a child of the dialog's widget");
    if (w->property(kIdPropertyName).toInt() != c.id)
      problem(where + "widget says id " + std::to_string(w->property(kIdPropertyName).toInt()));
    std::string expected_class = ExpectedClass(c);
    if (std::string(w->metaObject()->className()) != expected_class)
      problem(where + "shown as " + w->metaObject()->className() + ", expected " + expected_class);
    if (auto expected = ExpectedText(c)) {
      auto actual = ShownText(w);
      if (!actual || *actual != *expected)
        problem(where + "shows \"" + (actual ? S(*actual) : std::string("(no text)")) + "\", expected \"" +
                S(*expected) + "\"");
    }
    bool visible = (c.style & pw::WS_VISIBLE) != 0;
    if (w->isVisibleTo(top) != visible) problem(where + (visible ? "hidden, expected visible" : "visible, expected hidden"));
    bool enabled = (c.style & pw::WS_DISABLED) == 0;
    if (w->isEnabledTo(top) != enabled) problem(where + (enabled ? "disabled, expected enabled" : "enabled, expected disabled"));
    bool has_area = c.rect.right > c.rect.left && c.rect.bottom > c.rect.top;
    if (has_area && (w->width() <= 0 || w->height() <= 0)) problem(where + "has no area");
    if (has_area && !top->rect().intersects(w->geometry())) problem(where + "lies outside the dialog");
    if ((c.style & WS_TABSTOP) && !(w->focusPolicy() & Qt::TabFocus)) problem(where + "a tab stop Tab cannot reach");
  }
  // Tab goes through the tab stops in the template's order.
  std::vector<QWidget*> expected_chain, chain;
  for (std::size_t i = 0; i < t.controls.size(); ++i)
    if (t.controls[i].style & WS_TABSTOP)
      if (QWidget* w = renderer.WidgetFor(controls[i])) expected_chain.push_back(w);
  for (QWidget* w = top->nextInFocusChain(); w && w != top; w = w->nextInFocusChain())
    if (std::find(expected_chain.begin(), expected_chain.end(), w) != expected_chain.end()) chain.push_back(w);
  if (chain != expected_chain) problem("Tab does not follow the template's order of tab stops");
  return problems;
}

std::string WriteScreenshot(QWidget* widget, const std::string& name) {
  std::filesystem::path dir = DICTALO_SCREENSHOT_DIR;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::string path = (dir / (name + ".png")).string();
  if (!widget || !widget->grab().save(QString::fromStdString(path), "PNG")) return {};
  return path;
}

DialogCheck CheckDialogTemplate(ScopedQtRenderer& qt, ProgramThread& program, UINT template_id,
                                const std::string& screenshot_name) {
  DialogCheck check;
  auto t = FindDialogTemplate(template_id);
  if (!t) {
    check.problems.push_back("no template " + std::to_string(template_id));
    return check;
  }
  struct Opened {
    pw::HWND host = nullptr;
    pw::HWND dialog = nullptr;
    std::vector<pw::HWND> controls;
  };
  Opened opened = program.Call([&] {
    Opened o;
    if (t->style & pw::WS_CHILD) {
      // A page needs a window to sit in.
      pw::WNDCLASS wc;
      wc.lpfnWndProc = HostProc;
      wc.lpszClassName = kHostClass;
      pw::RegisterClass(wc);
      o.host = pw::CreateWindowEx(0, kHostClass, u"Page", pw::WS_POPUP, 0, 0, std::max(t->width, 1),
                                  std::max(t->height, 1), nullptr, 0, nullptr);
    }
    o.dialog = CreateDialogParamW(template_id, o.host, PassiveDialogProc, 0);
    if (!o.dialog) return o;
    program.AddDialog(o.dialog);
    o.controls = pw::GetChildWindows(o.dialog);
    pw::ShowWindow(o.dialog, pw::SW_SHOW);
    if (o.host) pw::ShowWindow(o.host, pw::SW_SHOW);
    return o;
  });
  if (!opened.dialog) {
    check.problems.push_back("template " + std::to_string(template_id) + " makes no dialog");
    return check;
  }
  QtRenderer& renderer = qt.renderer();
  pw::HWND shown_window = opened.host ? opened.host : opened.dialog;
  bool ready = WaitFor([&] {
    QWidget* top = renderer.WidgetFor(shown_window);
    if (!top || !top->isVisible() || !renderer.WidgetFor(opened.dialog)) return false;
    for (pw::HWND control : opened.controls)
      if (!renderer.WidgetFor(control)) return false;
    return true;
  });
  if (!ready) check.problems.push_back("the widgets did not all appear");
  auto problems = CompareWithTemplate(renderer, opened.dialog, opened.controls, *t);
  check.problems.insert(check.problems.end(), problems.begin(), problems.end());
  check.screenshot = WriteScreenshot(renderer.WidgetFor(shown_window), screenshot_name);
  if (check.screenshot.empty()) check.problems.push_back("no screenshot written");

  program.Call([&] {
    if (pw::IsWindow(opened.dialog)) pw::DestroyWindow(opened.dialog);
    if (opened.host && pw::IsWindow(opened.host)) pw::DestroyWindow(opened.host);
    return 0;
  });
  WaitFor([&] { return renderer.WidgetFor(shown_window) == nullptr; });
  return check;
}

}  // namespace toolkit::qt::testing

// Under LeakSanitizer: fontconfig (which Qt loads to draw text) keeps caches it
// never frees; they are not ours to mend.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
