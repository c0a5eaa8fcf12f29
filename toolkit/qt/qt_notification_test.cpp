// Desktop notifications go to the notification service of the session bus: a
// real dbus-daemon on a private address, with a stand-in for the desktop's
// notification server registered under the well-known name.

#include "toolkit/qt/tray_area.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <cstdlib>
#include <filesystem>

#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"
#include "toolkit/qt/qt_dialog_check_test_support.h"

namespace toolkit::qt {
namespace {

// Answers Notify as a desktop's notification server would, and keeps what it got.
class FakeNotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList received;  // "summary|body"

 public slots:
  uint Notify(const QString& app_name, uint replaces_id, const QString& app_icon, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& hints, int expire_timeout) {
    (void)app_name, (void)replaces_id, (void)app_icon, (void)actions, (void)hints, (void)expire_timeout;
    received.push_back(summary + QLatin1Char('|') + body);
    return static_cast<uint>(received.size());
  }
};

TEST(QtNotificationTest, ANotificationReachesTheSessionBusService) {
  const std::filesystem::path daemon = "/usr/bin/dbus-daemon";
  if (!std::filesystem::exists(daemon)) GTEST_SKIP() << "dbus-daemon is not installed";
  testing_support::ScopedTestHome home;
  std::filesystem::create_directories(home.runtime_dir());
  std::filesystem::path socket = home.runtime_dir() / "bus";
  std::string address = "unix:path=" + socket.string();
  testing_support::ChildProcess bus(daemon, {"--session", "--nofork", "--address=" + address});
  ASSERT_TRUE(testing_support::WaitUntil([&] { return std::filesystem::exists(socket); }));

  // The bus is found through XDG_RUNTIME_DIR alone, or through its address.
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  EXPECT_TRUE(SessionBusConfigured());
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);

  testing::EnsureOffscreenApplication();
  FakeNotificationServer server;
  QDBusConnection connection = QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("fake"));
  ASSERT_TRUE(connection.isConnected());
  ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.Notifications")));
  ASSERT_TRUE(connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                        QDBusConnection::ExportAllSlots));
  {
    testing::ScopedQtRenderer qt;
    qt.renderer().ShowNotification(u"Dictalo", u"Your note was sent.");
    ASSERT_TRUE(testing::WaitFor([&] { return !server.received.isEmpty(); }));
    EXPECT_EQ(server.received, QStringList{QStringLiteral("Dictalo|Your note was sent.")});
    EXPECT_EQ(qt.renderer().Tray().LastRoute(), TrayArea::Route::kNotificationService);
  }
  connection.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
  QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace
}  // namespace toolkit::qt

#include "qt_notification_test.moc"
