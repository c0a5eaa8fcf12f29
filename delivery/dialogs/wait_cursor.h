#pragma once
// The wait cursor shown while the UI thread is busy with something slow (a web
// resend, a conversion, decoding a note). The renderer that can show cursors
// installs the handler; without one nothing shows. Scopes nest: the cursor
// shows while at least one WaitCursor lives, on any thread.

#include <functional>

namespace delivery::dialogs {

// Told true when the first scope begins and false when the last one ends.
using WaitCursorHandler = std::function<void(bool busy)>;

// Installs the handler (empty: none) and returns the previous one.
WaitCursorHandler SetWaitCursorHandler(WaitCursorHandler handler);

class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace delivery::dialogs
