#pragma once
// Test support: a server that replies from a script, for the faults real
// servers do not produce on demand (a reply cut between CR and LF, a proxy
// answer with a 20-byte name, a third "334", a reply that comes only after
// minutes, bytes sent in clear together with the go-ahead for TLS).
//
// ScriptedServerFake is a ByteTransport: put it under any client with
// InstallScriptedServer(client). It hands out the scripted pieces exactly as
// queued (one piece, or the part that fits, per receive) and records what
// the client sent. Time is simulated: a piece queued with a delay makes the
// client's waits run out until their sum reaches the delay, so a test of a
// ten-minute reply takes no time. When the script runs out the server
// behaves as if it hung up. The script survives Close, so a client may
// reconnect and go on reading it.

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "protocols/byte_transport.h"
#include "protocols/mail_client.h"

namespace protocols::testing {

class ScriptedServerFake final : public ByteTransport {
 public:
  // Queues bytes the server sends as one piece.
  void ServerSends(std::string_view piece) { ServerSendsAfter(0, piece); }
  // Queues a piece that arrives once the client has waited `delay_ms` for it.
  void ServerSendsAfter(int delay_ms, std::string_view piece);
  // Queues bytes cut into pieces at the given ascending offsets.
  void ServerSendsCut(std::string_view bytes, const std::vector<std::size_t>& cuts);
  // Queues bytes one byte per piece.
  void ServerSendsBytewise(std::string_view bytes);
  // The next Open fails with `code`.
  void RefuseNextConnection(MailResult code) { refuse_with_ = code; }

  const std::string& client_sent() const { return sent_; }
  void ClearSent() { sent_.clear(); }
  bool script_finished() const { return pieces_.empty(); }
  // Bytes still queued.
  std::size_t unsent_bytes() const;
  // The longest single wait for data the client asked for, in ms.
  int longest_wait_ms() const { return longest_wait_ms_; }
  // Connections opened so far.
  int connections() const { return connections_; }

  MailResult Open(std::uint32_t address, std::uint16_t port, const std::uint32_t* bind_address) override;
  MailResult FinishOpen() override { return kMailOk; }
  MailResult Wait(Readiness what, int timeout_ms) override;
  MailResult Receive(std::span<std::uint8_t> buffer, std::size_t* count) override;
  MailResult Send(std::span<const std::uint8_t> bytes, std::size_t* sent) override;
  void Shutdown(bool) override {}
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  std::string LocalAddress() const override { return "127.0.0.1"; }
  std::string LocalHostName() const override { return "localhost"; }

 private:
  struct Piece {
    std::string bytes;
    int delay_ms = 0;
  };
  std::deque<Piece> pieces_;
  std::string sent_;
  bool open_ = false;
  int connections_ = 0;
  int longest_wait_ms_ = 0;
  MailResult refuse_with_ = kMailOk;
};

// Puts a new scripted server under `client`, which owns it from then on.
ScriptedServerFake& InstallScriptedServer(MailClient& client);

}  // namespace protocols::testing
