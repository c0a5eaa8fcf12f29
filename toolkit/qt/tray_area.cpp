#include "toolkit/qt/tray_area.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QIcon>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVariantMap>

#include "toolkit/tray.h"
#include "toolkit/qt/qt_text.h"

namespace toolkit::qt {
namespace pw = platform;

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr int kNotificationTimeoutMs = 8000;


QIcon ThemeIcon(const std::u16string& name) {
  QIcon fallback = QIcon::fromTheme(QStringLiteral("dictalo"));
  if (fallback.isNull() && qApp) fallback = qApp->style()->standardIcon(QStyle::SP_MediaPlay);
  return name.empty() ? fallback : QIcon::fromTheme(ToQString(name), fallback);
}

}  // namespace

bool SessionBusConfigured() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  // Without an address libdbus would try to start a bus of its own.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  struct stat st{};
  std::string socket = std::string(runtime) + "/bus";
  return ::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

TrayArea::TrayArea(QObject* parent) : QObject(parent) {}

TrayArea::~TrayArea() { Clear(); }

QSystemTrayIcon* TrayArea::IconFor(HWND owner, UINT id) const {
  auto it = icons_.find({owner, id});
  return it == icons_.end() ? nullptr : it->second.icon.data();
}

void TrayArea::SetIcon(const TrayIconState& state) {
  Icon& entry = icons_[{state.owner, state.id}];
  entry.state = state;
  if (!entry.icon) {
    entry.icon = new QSystemTrayIcon(this);
    std::pair<HWND, UINT> key{state.owner, state.id};
    connect(entry.icon, &QSystemTrayIcon::activated, this, [this, key](QSystemTrayIcon::ActivationReason reason) {
      if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
      auto it = icons_.find(key);
      if (it != icons_.end()) PostTrayIconMessage(it->second.state, pw::WM_LBUTTONUP);
    });
  }
  entry.icon->setIcon(ThemeIcon(state.icon));
  entry.icon->setToolTip(ToQString(state.tooltip));
  entry.icon->show();
}

void TrayArea::RemoveIcon(HWND owner, UINT id) {
  auto it = icons_.find({owner, id});
  if (it == icons_.end()) return;
  if (QSystemTrayIcon* icon = it->second.icon) {
    icon->hide();
    icon->deleteLater();
  }
  icons_.erase(it);
}

void TrayArea::Clear() {
  for (auto& [key, entry] : icons_)
    if (QSystemTrayIcon* icon = entry.icon) {
      icon->hide();
      delete icon;
    }
  icons_.clear();
}

bool TrayArea::NotificationServicePresent() {
  if (!service_present_) {
    service_present_ = false;
    if (SessionBusConfigured()) {
      QDBusConnection bus = QDBusConnection::sessionBus();
      if (bus.isConnected() && bus.interface())
        service_present_ = bus.interface()->isServiceRegistered(QString::fromLatin1(kService)).value();
    }
  }
  return *service_present_;
}

void TrayArea::Notify(const std::u16string& title, const std::u16string& text) {
  if (NotificationServicePresent()) {
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    call << QStringLiteral("Dictalo") << 0u << QStringLiteral("dictalo") << ToQString(title) << ToQString(text) << QStringList()
         << QVariantMap() << kNotificationTimeoutMs;
    if (QDBusConnection::sessionBus().send(call)) {
      last_route_ = Route::kNotificationService;
      return;
    }
  }
  for (auto& [key, entry] : icons_) {
    QSystemTrayIcon* icon = entry.icon;
    if (icon && icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages()) {
      icon->showMessage(ToQString(title), ToQString(text), QSystemTrayIcon::Information, kNotificationTimeoutMs);
      last_route_ = Route::kTrayBalloon;
      return;
    }
  }
  last_route_ = Route::kDropped;
}

}  // namespace toolkit::qt
