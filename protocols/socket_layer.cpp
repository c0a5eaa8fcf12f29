#include "protocols/socket_layer.h"

#include <atomic>

namespace protocols {
namespace {
std::atomic<int> g_starts{0};
}  // namespace

bool StartSocketLayer() {
  // POSIX sockets need no set-up: every send uses MSG_NOSIGNAL, so a closed
  // peer never raises SIGPIPE. What remains is the record that a start happened.
  g_starts.fetch_add(1);
  return true;
}

void StopSocketLayer() {
  int current = g_starts.load();
  while (current > 0 && !g_starts.compare_exchange_weak(current, current - 1)) {
  }
}

bool IsSocketLayerStarted() { return g_starts.load() > 0; }

}  // namespace protocols
