#pragma once
// Windows across processes: each top-level window of a class listens on a Unix
// socket named after the class in folders::RuntimeDir(); one listener thread per
// process serves all of them, and the functions below reach a window of another
// process through its socket. Internal to the window system.
//
// A request is one framed exchange on a fresh connection (window_wire.h). The
// listener accepts only peers of our own user id, gives every connection 5 s to
// deliver its request and to take its reply, and never blocks on a peer: a send is
// handed to the owner thread of the window and answered when that thread is done.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/window_system.h"

namespace platform::window_remote {

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// The socket path for a class (class names ignore ASCII case); empty when there is
// no runtime folder. Long names are replaced by a hash to fit a socket address.
std::string SocketPathFor(std::u16string_view class_name);

// Binds the class's socket for hwnd unless this process already serves the class or
// a live process owns the socket (a stale one is removed first). Returns a token for
// StopListening, 0 when not listening.
std::uint64_t StartListening(HWND hwnd, std::u16string_view class_name);
// Unlinks the socket (when it is still ours) and stops serving it.
void StopListening(std::uint64_t token);

struct FoundWindow {
  std::string socket_path;
  std::uint64_t remote_id = 0;
  std::u16string class_name;
  std::u16string title;
};
// Asks the class's socket for a window of the class (and title). A stale socket is
// removed and yields nullopt.
std::optional<FoundWindow> Find(std::u16string_view class_name, std::optional<std::u16string_view> title);

// Whether a message may cross processes (it carries no pointers), for send or post.
bool MayCross(UINT msg, bool is_post);

// The calls below handle messages sent to the calling thread's windows while they
// wait. nullopt / false when the peer is gone, refuses or the deadline passes.
std::optional<LRESULT> Send(const std::string& socket_path, std::uint64_t remote_id, UINT msg, WPARAM wparam,
                            LPARAM lparam, Deadline deadline);
bool Post(const std::string& socket_path, std::uint64_t remote_id, UINT msg, WPARAM wparam, LPARAM lparam);
bool SetForeground(const std::string& socket_path, std::uint64_t remote_id);
bool Ping(const std::string& socket_path, std::uint64_t remote_id);

// Fork handlers (called by the window table's): the child gets a listener of its
// own and closes the parent's listening sockets, which it must not keep alive.
void PrepareFork();
void ParentAfterFork();
void ChildAfterFork();

}  // namespace platform::window_remote
