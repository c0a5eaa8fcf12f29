#pragma once
// States a MailClient reports to its status callback as a connection moves.
// (The SMTP session reports kConnecting + 16 before STARTTLS on its own.)

namespace protocols {

enum class ConnectionStatus : int {
  kResolving = 0,
  kConnecting = 1,
  kConnected = 2,  // connected and idle
  kSending = 3,
  kReceiving = 4,
  kWaiting = 5,  // waiting for the socket
  kDisconnecting = 6,
  kDisconnected = 7,
};

}  // namespace protocols
