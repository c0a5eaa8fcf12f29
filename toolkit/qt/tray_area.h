#pragma once
// TrayArea: the program's icons in the desktop's notification area and its
// desktop notifications, on the GUI thread.
//
// An icon is a QSystemTrayIcon with the named icon of the icon theme (the
// program's own icon when the theme has none) and the tooltip; a click or
// double click posts its callback message as a tap (toolkit/tray.h). A notification goes to org.freedesktop.Notifications
// when the session bus has that service; else it is shown as the balloon of a
// visible tray icon; else it is dropped. Nothing here waits for the bus: its
// presence is asked once, and notifications are sent without waiting for a reply.

#include <map>
#include <optional>
#include <string>
#include <utility>

#include <QObject>
#include <QPointer>

#include "toolkit/renderer.h"

class QSystemTrayIcon;

namespace toolkit::qt {

class TrayArea : public QObject {
  Q_OBJECT

 public:
  explicit TrayArea(QObject* parent = nullptr);
  ~TrayArea() override;

  void SetIcon(const TrayIconState& icon);
  void RemoveIcon(HWND owner, UINT id);
  void Notify(const std::u16string& title, const std::u16string& text);
  void Clear();

  // How the last notification went out.
  enum class Route { kNone, kNotificationService, kTrayBalloon, kDropped };
  Route LastRoute() const { return last_route_; }
  QSystemTrayIcon* IconFor(HWND owner, UINT id) const;

 private:
  bool NotificationServicePresent();

  struct Icon {
    TrayIconState state;
    QPointer<QSystemTrayIcon> icon;
  };
  std::map<std::pair<HWND, UINT>, Icon> icons_;
  std::optional<bool> service_present_;
  Route last_route_ = Route::kNone;
};

// Whether a session bus can be reached without starting one: its address is
// set, or the usual socket in XDG_RUNTIME_DIR exists.
bool SessionBusConfigured();

}  // namespace toolkit::qt
