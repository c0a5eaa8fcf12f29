#include "toolkit/qt/qt_program_start.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <QApplication>
#include <QIcon>

#include "toolkit/qt/program_icons.h"
#include "toolkit/qt/qt_renderer.h"
#include "toolkit/renderer.h"
#include "toolkit/tray.h"

namespace toolkit::qt {
namespace {

constexpr int kConnectTimeoutMs = 1000;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Connects a Unix socket (abstract when the name starts with '@'); true when someone answers.
bool UnixSocketAnswers(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
  if (path[0] == '@') addr.sun_path[0] = '\0';
  else ++length;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0;
  ::close(fd);
  return ok;
}

bool TcpAnswers(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a && !ok; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int error = 0;
      socklen_t size = sizeof error;
      ok = ::poll(&p, 1, kConnectTimeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
           error == 0;
    }
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return ok;
}

// DISPLAY is [host]:number[.screen]; no host (or "unix") means the local socket.
bool X11DisplayAnswers(const std::string& display) {
  auto colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  std::string host = display.substr(0, colon);
  std::string rest = display.substr(colon + 1);
  char* end = nullptr;
  long number = std::strtol(rest.c_str(), &end, 10);
  if (end == rest.c_str() || number < 0 || number > 65535 - 6000) return false;
  if (host.empty() || host == "unix") {
    std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    return UnixSocketAnswers("@" + socket) || UnixSocketAnswers(socket);
  }
  return TcpAnswers(host, 6000 + static_cast<int>(number));
}

bool WaylandDisplayAnswers(const std::string& name) {
  if (name.empty()) return false;
  if (name[0] == '/') return UnixSocketAnswers(name);
  std::string runtime = Env("XDG_RUNTIME_DIR");
  return !runtime.empty() && UnixSocketAnswers(runtime + "/" + name);
}

}  // namespace

DisplayKind DetectDisplay() {
  // Scripts and tests that answer message boxes from DICTALO_MESSAGEBOX_ANSWERS
  // keep the headless renderer even on a desktop.
  if (Env("DICTALO_RENDERER") == "headless") return DisplayKind::kNone;
  std::string platform = Env("QT_QPA_PLATFORM");
  std::string display = Env("DISPLAY");
  std::string wayland = Env("WAYLAND_DISPLAY");
  if (!platform.empty()) {
    // The first of a list, without its options ("xcb:...").
    std::string name = platform.substr(0, platform.find_first_of(";:"));
    if (name == "xcb") return X11DisplayAnswers(display) ? DisplayKind::kX11 : DisplayKind::kNone;
    if (name.rfind("wayland", 0) == 0)
      return WaylandDisplayAnswers(wayland) ? DisplayKind::kWayland : DisplayKind::kNone;
    return DisplayKind::kQtPlatform;
  }
  // X first: it is there on Wayland desktops too, and needs no extra Qt plugin.
  if (!display.empty() && X11DisplayAnswers(display)) return DisplayKind::kX11;
  if (!wayland.empty() && WaylandDisplayAnswers(wayland)) return DisplayKind::kWayland;
  return DisplayKind::kNone;
}

int RunProgramWithRenderer(int argc, char** argv, const std::function<int()>& program) {
  DisplayKind display = DetectDisplay();
  if (display == DisplayKind::kNone) {
    InitRenderer();
    return program();
  }

  std::vector<char*> args(argv, argv + argc);
  static char platform_switch[] = "-platform";
  static char xcb[] = "xcb";
  static char wayland[] = "wayland";
  if (Env("QT_QPA_PLATFORM").empty() && display != DisplayKind::kQtPlatform) {
    args.push_back(platform_switch);
    args.push_back(display == DisplayKind::kX11 ? xcb : wayland);
  }
  args.push_back(nullptr);
  int qt_argc = static_cast<int>(args.size()) - 1;

  QApplication application(qt_argc, args.data());
  QApplication::setApplicationName(QStringLiteral("Dictalo"));
  QApplication::setDesktopFileName(QStringLiteral("dictalo"));
  AddProgramIconFolder();  // before the first icon is looked up
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("dictalo")));
  // Windows close when the program says so, not when the user closes the last one.
  application.setQuitOnLastWindowClosed(false);

  // Lives until the process ends, as every renderer: late reports may still reach it.
  static std::vector<QtRenderer*>* kept = new std::vector<QtRenderer*>;
  auto* renderer = new QtRenderer();
  kept->push_back(renderer);
  PublishDisplayMetrics(renderer->DpiScale());
  PublishSystemColors();
  Renderer* previous = SetRenderer(renderer);
  for (const TrayIconState& icon : TrayIcons()) renderer->OnTrayIcon(icon);

  int exit_code = 0;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      exit_code = program();
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(&application, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  QApplication::exec();
  worker.join();

  SetRenderer(previous);
  renderer->Shutdown();
  if (failure) std::rethrow_exception(failure);
  return exit_code;
}

}  // namespace toolkit::qt
