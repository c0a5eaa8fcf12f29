#pragma once
// The socket layer is started once per program before any MailClient
// connects and stopped once at the end. Connect fails with
// kSocketLayerNotStarted while it is not started.

namespace protocols {

// Requests the socket layer (the stand-in for Winsock 1.1); true on success.
// Calls nest: each successful Start needs one Stop.
bool StartSocketLayer();
// Releases one successful Start; does nothing without one.
void StopSocketLayer();
bool IsSocketLayerStarted();

// Start and Stop around a scope (a program's main, a test).
class ScopedSocketLayer {
 public:
  ScopedSocketLayer() : started_(StartSocketLayer()) {}
  ~ScopedSocketLayer() {
    if (started_) StopSocketLayer();
  }
  ScopedSocketLayer(const ScopedSocketLayer&) = delete;
  ScopedSocketLayer& operator=(const ScopedSocketLayer&) = delete;
  bool started() const { return started_; }

 private:
  bool started_;
};

}  // namespace protocols
