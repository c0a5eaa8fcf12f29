#include "protocols/testing/scripted_server_fake.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace protocols::testing {

void ScriptedServerFake::ServerSendsAfter(int delay_ms, std::string_view piece) {
  if (!piece.empty()) pieces_.push_back(Piece{std::string(piece), delay_ms});
}

void ScriptedServerFake::ServerSendsCut(std::string_view bytes, const std::vector<std::size_t>& cuts) {
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    ServerSends(bytes.substr(from, cut - from));
    from = cut;
  }
  ServerSends(bytes.substr(from));
}

void ScriptedServerFake::ServerSendsBytewise(std::string_view bytes) {
  for (char c : bytes) ServerSends(std::string_view(&c, 1));
}

std::size_t ScriptedServerFake::unsent_bytes() const {
  std::size_t n = 0;
  for (const Piece& p : pieces_) n += p.bytes.size();
  return n;
}

MailResult ScriptedServerFake::Open(std::uint32_t, std::uint16_t, const std::uint32_t*) {
  if (refuse_with_ != kMailOk) {
    const MailResult r = refuse_with_;
    refuse_with_ = kMailOk;
    return r;
  }
  open_ = true;
  ++connections_;
  return kMailOk;
}

MailResult ScriptedServerFake::Wait(Readiness what, int timeout_ms) {
  if (!open_) return kSocketNotConnected;
  if (what == Readiness::kWritable || pieces_.empty()) return kMailOk;
  longest_wait_ms_ = std::max(longest_wait_ms_, timeout_ms);
  Piece& next = pieces_.front();
  if (next.delay_ms > timeout_ms) {
    next.delay_ms -= timeout_ms;
    return kSocketTimedOut;
  }
  next.delay_ms = 0;
  return kMailOk;
}

MailResult ScriptedServerFake::Receive(std::span<std::uint8_t> buffer, std::size_t* count) {
  *count = 0;
  if (!open_) return kSocketNotConnected;
  if (pieces_.empty()) return kSocketClosedByPeer;
  Piece& front = pieces_.front();
  if (front.delay_ms > 0) return kMailOk;  // not there yet
  const std::size_t n = std::min(front.bytes.size(), buffer.size());
  std::memcpy(buffer.data(), front.bytes.data(), n);
  front.bytes.erase(0, n);
  if (front.bytes.empty()) pieces_.pop_front();
  *count = n;
  return kMailOk;
}

MailResult ScriptedServerFake::Send(std::span<const std::uint8_t> bytes, std::size_t* sent) {
  *sent = 0;
  if (!open_) return kSocketNotConnected;
  sent_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  *sent = bytes.size();
  return kMailOk;
}

ScriptedServerFake& InstallScriptedServer(MailClient& client) {
  auto fake = std::make_unique<ScriptedServerFake>();
  ScriptedServerFake& server = *fake;
  client.UseTransport(std::move(fake));
  return server;
}

}  // namespace protocols::testing
