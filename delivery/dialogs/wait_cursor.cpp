#include "delivery/dialogs/wait_cursor.h"

#include <mutex>

namespace delivery::dialogs {
namespace {

std::mutex& Mutex() {
  static std::mutex mutex;
  return mutex;
}
WaitCursorHandler& Handler() {
  static WaitCursorHandler handler;
  return handler;
}
int& Depth() {
  static int depth = 0;
  return depth;
}

}  // namespace

WaitCursorHandler SetWaitCursorHandler(WaitCursorHandler handler) {
  std::lock_guard<std::mutex> hold(Mutex());
  std::swap(Handler(), handler);
  return handler;
}

WaitCursor::WaitCursor() {
  std::lock_guard<std::mutex> hold(Mutex());
  if (Depth()++ == 0 && Handler()) Handler()(true);
}

WaitCursor::~WaitCursor() {
  std::lock_guard<std::mutex> hold(Mutex());
  if (--Depth() == 0 && Handler()) Handler()(false);
}

}  // namespace delivery::dialogs
