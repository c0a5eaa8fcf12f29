#include "toolkit/qt/widget_mirror.h"

#include <algorithm>
#include <cmath>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>
#include <QTreeWidget>
#include <QWindow>

#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/qt/qt_text.h"
#include "toolkit/renderer.h"

namespace toolkit::qt {
namespace pw = platform;

namespace {

// Texts typed but not yet reported back; a program that never reports keeps
// no more than this.
constexpr std::size_t kMaxTypedPending = 256;

bool TakesFocus(WidgetKind kind) {
  switch (kind) {
    case WidgetKind::kWindow:
    case WidgetKind::kLabel:
    case WidgetKind::kGroupBox:
    case WidgetKind::kProgress:
    case WidgetKind::kMenuBar:
    case WidgetKind::kIconBar:  // its buttons are tapped, not focused
    case WidgetKind::kSeparator:
      return false;
    default:
      return true;
  }
}

}  // namespace

bool IsEditField(WidgetKind kind) {
  return kind == WidgetKind::kLineEdit || kind == WidgetKind::kTextEdit || kind == WidgetKind::kComboBox;
}

WidgetMirror::WidgetMirror(double dpi_scale, QObject* parent) : QObject(parent), dpi_scale_(dpi_scale) {}

WidgetMirror::~WidgetMirror() { Clear(); }

WidgetMirror::Entry* WidgetMirror::Find(HWND hwnd) {
  auto it = entries_.find(hwnd);
  return it == entries_.end() ? nullptr : &it->second;
}

const WidgetMirror::Entry* WidgetMirror::Find(HWND hwnd) const {
  auto it = entries_.find(hwnd);
  return it == entries_.end() ? nullptr : &it->second;
}

QWidget* WidgetMirror::WidgetFor(HWND hwnd) const {
  const Entry* entry = Find(hwnd);
  return entry ? entry->widget.data() : nullptr;
}

HWND WidgetMirror::WindowOf(const QWidget* widget) const {
  if (!widget) return nullptr;
  QVariant value = widget->property(kHwndPropertyName);
  return value.isValid() ? reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value.toULongLong())) : nullptr;
}

QRect WidgetMirror::ToLogical(const RECT& r) const {
  auto scale = [this](int v) { return static_cast<int>(std::lround(v * dpi_scale_)); };
  return QRect(scale(r.left), scale(r.top), std::max(0, scale(r.right) - scale(r.left)),
               std::max(0, scale(r.bottom) - scale(r.top)));
}

void WidgetMirror::OnUserTyped(HWND hwnd, std::u16string text) {
  if (Entry* e = Find(hwnd)) {
    e->typed.push_back(text);
    if (e->typed.size() > kMaxTypedPending) e->typed.pop_front();
  }
  PostUserText(hwnd, std::move(text));
}

bool WidgetMirror::AcceptProgramText(Entry& entry, const std::u16string& text) {
  auto echo = std::find(entry.typed.begin(), entry.typed.end(), text);
  if (echo != entry.typed.end()) {
    // The program took what was typed up to here; the field already shows it
    // or what was typed after it.
    entry.typed.erase(entry.typed.begin(), echo + 1);
    return false;
  }
  // While typing is still on its way, a report is an older state of the field
  // (or the program's answer to it, which the next texts typed replace); the
  // field catches up with the program when typing is done or it loses the focus.
  return entry.typed.empty();
}

void WidgetMirror::CatchUpText(Entry& entry) {
  if (entry.typed.empty()) return;
  entry.typed.clear();
  ApplyText(entry);
}

void WidgetMirror::ApplyRect(Entry& entry) {
  QWidget* w = entry.widget;
  if (!w) return;
  QRect r = ToLogical(entry.last.rect);
  if (w->isWindow()) {
    // Kept on the screen it belongs to, and no larger than that screen.
    QScreen* screen = QGuiApplication::screenAt(r.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
      QRect area = screen->geometry();
      r.setWidth(std::min(r.width(), area.width()));
      r.setHeight(std::min(r.height(), area.height()));
      r.moveLeft(std::clamp(r.left(), area.left(), area.left() + area.width() - r.width()));
      r.moveTop(std::clamp(r.top(), area.top(), area.top() + area.height() - r.height()));
    }
  }
  w->setGeometry(r);
}

void WidgetMirror::ApplyShown(Entry& entry) {
  QWidget* w = entry.widget;
  if (!w) return;
  if (!w->isWindow()) {
    w->setVisible(entry.last.visible);
    return;
  }
  if (entry.last.visible) {
    // Above its owner, but not a child widget of it: disabling the owner while
    // a modal dialog runs must not disable the dialog too.
    QWidget* owner = WidgetFor(entry.last.owner);
    if (owner && owner->window() != w) {
      w->winId();
      owner->window()->winId();
      if (w->windowHandle()) w->windowHandle()->setTransientParent(owner->window()->windowHandle());
    }
    w->show();
    w->raise();
  } else {
    w->hide();
  }
}

void WidgetMirror::Create(const WindowSnapshot& snapshot) {
  if (Find(snapshot.hwnd)) {
    Update(snapshot, kUpdateText | kUpdateShown | kUpdateEnabled | kUpdateRect | kUpdateState);
    return;
  }
  QWidget* parent = nullptr;
  if (!snapshot.top_level) {
    QWidget* parent_widget = WidgetFor(snapshot.parent);
    if (!parent_widget) return;  // made before we watched: its children are unknown too
    parent = parent_widget;
  }
  Entry& entry = entries_[snapshot.hwnd];
  entry.last = snapshot;
  QWidget* w = MakeWidget(entry, parent);
  entry.widget = w;
  w->setProperty(kHwndPropertyName, QVariant::fromValue<qulonglong>(reinterpret_cast<std::uintptr_t>(snapshot.hwnd)));
  w->setProperty(kIdPropertyName, snapshot.id);
  w->setObjectName(QStringLiteral("control_%1").arg(snapshot.id));
  if (parent && TakesFocus(snapshot.kind))
    w->setFocusPolicy((snapshot.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
  w->installEventFilter(this);
  Connect(entry);
  ApplyText(entry);
  ApplyState(entry);
  ApplyRect(entry);
  w->setEnabled(snapshot.enabled);
  ApplyShown(entry);
}

void WidgetMirror::Update(const WindowSnapshot& update, unsigned parts) {
  Entry* entry = Find(update.hwnd);
  if (!entry || !entry->widget) return;
  WindowSnapshot& s = entry->last;
  if ((parts & kUpdateText) && (update.text != s.text || IsEditField(s.kind))) {
    s.text = update.text;
    ApplyText(*entry);
  }
  if (parts & kUpdateState) {
    std::u16string text = s.text;
    HWND target = s.command_target;
    HWND owner = s.owner;
    auto popup = s.popup;
    s = update;
    // What only creation and showing report stays as they said.
    s.text = text;
    s.owner = owner;
    // A soft key read with its bar brings its popup as it stands now (items are
    // greyed and ungreyed); one read without keeps what creation said.
    if (!s.command_target) {
      s.command_target = target;
      s.popup = std::move(popup);
    }
    ApplyState(*entry);
  }
  if (parts & kUpdateRect) {
    s.rect = update.rect;
    ApplyRect(*entry);
  }
  if (parts & kUpdateEnabled) {
    s.enabled = update.enabled;
    entry->widget->setEnabled(s.enabled);
  }
  if (parts & kUpdateShown) {
    s.visible = update.visible;
    if (update.owner) s.owner = update.owner;
    ApplyShown(*entry);
  }
}

void WidgetMirror::Destroy(HWND hwnd) {
  auto it = entries_.find(hwnd);
  if (it == entries_.end()) return;
  QPointer<QWidget> widget = it->second.widget;
  entries_.erase(it);
  if (!widget) return;
  widget->hide();
  // Later: the widget may be inside its own signal (a soft key's menu).
  widget->deleteLater();
}

void WidgetMirror::BringToFront(HWND hwnd) {
  QWidget* widget = WidgetFor(hwnd);
  if (!widget) return;
  QWidget* window = widget->window();
  if (!window->isVisible()) return;
  window->raise();
  window->activateWindow();
}

void WidgetMirror::Clear() {
  auto entries = std::move(entries_);
  entries_.clear();
  for (auto& [hwnd, entry] : entries)
    if (entry.widget && entry.widget->isWindow()) delete entry.widget.data();
}

void WidgetMirror::ShowPopup(HWND key) {
  Entry* entry = Find(key);
  if (!entry || !entry->widget) return;
  auto* menu = new QMenu(entry->widget);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  HWND target = entry->last.command_target;
  for (const MenuItemResource& item : entry->last.popup) {
    if (item.command == 0) {
      menu->addSeparator();
      continue;
    }
    UINT command = item.command;
    QAction* action = menu->addAction(ToQString(item.text), this, [target, command] {
      pw::PostMessage(target, pw::WM_COMMAND, pw::MAKEWPARAM(static_cast<std::uint16_t>(command), 0), 0);
    });
    // Qt ignores even a direct trigger() of a disabled action.
    action->setEnabled(!item.grayed);
  }
  QWidget* button = entry->widget;
  QPoint below = button->mapToGlobal(QPoint(0, 0));
  menu->popup(QPoint(below.x(), below.y() - menu->sizeHint().height()));
}

bool WidgetMirror::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  // A combo box's edit part speaks for the combo box.
  if (widget && !widget->property(kHwndPropertyName).isValid() && widget->parentWidget())
    widget = widget->parentWidget();
  HWND hwnd = WindowOf(widget);
  if (!hwnd) return false;
  switch (event->type()) {
    case QEvent::Close:
      if (Find(hwnd)) {
        // The program decides whether its window closes.
        pw::PostMessage(hwnd, pw::WM_CLOSE, 0, 0);
        event->ignore();
        return true;
      }
      return false;
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      UINT vk = 0;
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) vk = pw::VK_RETURN;
      if (key->key() == Qt::Key_Escape) vk = pw::VK_ESCAPE;
      if (!vk) return false;
      // The dialog's keyboard handling decides what Enter and Escape do.
      if (!key->isAutoRepeat()) PostKey(hwnd, vk);
      return true;
    }
    case QEvent::MouseButtonRelease: {
      const Entry* entry = Find(hwnd);
      if (entry && entry->last.kind == WidgetKind::kLabelEdit && watched == entry->widget &&
          static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        PostClick(hwnd);
      return false;
    }
    case QEvent::FocusOut:
      if (Entry* entry = Find(hwnd); entry && IsEditField(entry->last.kind)) CatchUpText(*entry);
      return false;
    case QEvent::FocusIn: {
      auto reason = static_cast<QFocusEvent*>(event)->reason();
      const Entry* entry = Find(hwnd);
      if (entry && TakesFocus(entry->last.kind) && !widget->isWindow() &&
          (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::MouseFocusReason ||
           reason == Qt::ShortcutFocusReason))
        PostUserFocus(hwnd);
      return false;
    }
    default:
      return false;
  }
}

}  // namespace toolkit::qt
