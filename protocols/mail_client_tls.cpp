// The TLS side of MailClient: the hooks it installs in the engine before each
// handshake, the handshake itself, and reading decrypted data.
//
// The engine calls back into the client from inside Start, Pump, Write and
// Close. A callback may close the socket (a peer that hung up, a fatal
// alert); the engine's own session is then ended once control is back
// outside the engine (AfterEngineCall), never from inside a callback.

#include <cstring>
#include <stdexcept>

#include "protocols/mail_client.h"
#include "security/certs/certificate.h"
#include "security/certs/server_certificate_acceptance.h"
#include "security/crypto/random_generator.h"

namespace protocols {

class MailClient::EngineDepth {
 public:
  explicit EngineDepth(MailClient& client) : client_(client) { ++client_.engine_depth_; }
  ~EngineDepth() { --client_.engine_depth_; }

 private:
  MailClient& client_;
};

MailResult MailClient::SetPlain(bool plain) {
  plain_ = plain;
  if (plain || !connected_) return kMailOk;
  upgraded_ = true;
  return Handshake();
}

void MailClient::SetRandomSource(security::RandomSource& source) {
  engine_->Random() = security::RandomGenerator(source);
}

MailResult MailClient::TlsFailure() const {
  return last_tls_code_ != kMailOk ? last_tls_code_ : security::kTlsHandshakeFailed;
}

void MailClient::EndTlsSession() {
  if (engine_depth_ > 0 || !engine_->IsSessionOpen()) return;
  ending_tls_ = true;
  {
    EngineDepth depth(*this);
    try {
      engine_->Close();
    } catch (const std::exception&) {
      // The session is over either way.
    }
  }
  ending_tls_ = false;
}

void MailClient::AfterEngineCall() {
  if (!connected_) EndTlsSession();
}

MailResult MailClient::Handshake() {
  if (!connected_) return kSocketNotConnected;
  if (read_pos_ < buffer_.size()) {
    // Bytes already read came in clear, after the go-ahead for TLS or after a
    // proxy's reply; the engine reads the socket itself, so they would be
    // read later as if the TLS session had carried them.
    Close();
    return kTlsPlaintextAtSwitch;
  }
  // Fresh key stream for every connection. Without a random source the
  // engine would throw from its first random byte; the handshake is given
  // up before anything goes out instead.
  if (!engine_->Random().Reseed()) {
    Close();
    return kTlsNoRandomSource;
  }
  engine_->SetVersionMask(versions_);
  engine_->SetHighestTlsVersion(highest_tls_);
  engine_->SetServerName(host_);
  engine_->ApplyStrongOnlyFilter(strong_only_);
  engine_->SetCallbacks(MakeTlsCallbacks());
  tls_error_ = false;
  last_tls_code_ = kMailOk;
  received_.Clear();
  tls_active_ = true;
  {
    EngineDepth depth(*this);
    try {
      engine_->Start();
      while (!engine_->IsEstablished() && !tls_error_ && connected_ && engine_->IsSessionOpen()) engine_->Pump();
    } catch (const security::TlsNoRandomSource&) {
      tls_error_ = true;
      last_tls_code_ = kTlsNoRandomSource;
    } catch (const security::TlsException&) {
      tls_error_ = true;
    }
  }
  AfterEngineCall();
  if (engine_->IsEstablished() && !tls_error_ && connected_) return kMailOk;
  const MailResult failure = TlsFailure();
  Close();
  return failure;
}

MailResult MailClient::FillFromEngine() {
  if (!connected_ || !engine_->IsEstablished()) {
    return last_tls_code_ != kMailOk ? last_tls_code_ : kSocketNotConnected;
  }
  CompactBuffer();
  const std::size_t before = buffer_.size();
  {
    EngineDepth depth(*this);
    try {
      while (buffer_.size() == before && !tls_error_ && connected_ && engine_->IsEstablished()) engine_->Pump();
    } catch (const security::TlsException&) {
      tls_error_ = true;
    }
  }
  AfterEngineCall();
  if (buffer_.size() > before) return kMailOk;
  const MailResult failure = TlsFailure();
  if (connected_) Close();
  return failure;
}

security::TlsCallbacks MailClient::MakeTlsCallbacks() {
  security::TlsCallbacks c;
  // 1. Decrypted application data joins the receive buffer.
  c.onData = [this](security::TlsEngine&, const std::uint8_t* bytes, std::size_t length) {
    buffer_.append(reinterpret_cast<const char*>(bytes), length);
  };
  // 2. Raw bytes from the socket.
  c.onReceive = [this](security::TlsEngine&, std::uint8_t* destination, std::size_t maximum, std::size_t* count) {
    *count = 0;
    in_engine_ = true;
    const MailResult r = RawReceive({destination, maximum}, count);
    in_engine_ = false;
    if (Failed(r)) {
      if (!ending_tls_) tls_error_ = true;
      return -1;
    }
    return 0;
  };
  // 3. Raw bytes to the socket.
  c.onSend = [this](security::TlsEngine&, const std::uint8_t* bytes, std::size_t length) {
    if (length == 0) return;
    in_engine_ = true;
    const MailResult r = SendAll({bytes, length});
    in_engine_ = false;
    if (Failed(r) && !ending_tls_) tls_error_ = true;
  };
  // 4. The session ended: orderly (1) or by a failure (0); the connection goes with it.
  c.onClosed = [this](security::TlsEngine&, int flag) {
    if (tls_closed_observer_) tls_closed_observer_(flag != 0);
    if (ending_tls_) return;
    if (flag != 0) {
      last_tls_code_ = security::kTlsSessionEnded;
    } else {
      tls_error_ = true;
    }
    Close();
  };
  // 5. The handshake completed: the server's certificate must be acceptable,
  // or the owner must accept it; otherwise the handshake fails.
  c.onEstablished = [this](security::TlsEngine& engine) {
    // Acceptance sees exactly the chain of the server's one Certificate
    // message and checks the certificate whose key the connection uses.
    engine.CopyServerChainTo(received_);
    const security::Certificate* leaf = engine.ServerCertificate();
    if (leaf != nullptr && security::AcceptServerCertificate(host_, *leaf, received_)) return;
    if (accept_certificate_ && accept_certificate_(*this, received_)) return;
    tls_error_ = true;
  };
  // 6. Every certificate the server sends is kept for the acceptance check.
  c.onPeerCertificate = [this](security::TlsEngine&, const security::Certificate& certificate, int*) {
    try {
      received_.Add(certificate);
    } catch (const std::exception&) {
      // A copy that cannot be stored only weakens the later check, which then refuses.
    }
  };
  // 7. A client certificate when the owner has one that fits.
  c.onClientCertificate = [this](security::TlsEngine&, std::uint8_t* certificate, std::size_t* certificate_length,
                                 std::uint8_t* key, std::size_t* key_length, int) {
    ClientCertificate mine;
    if (!client_certificate_ || !client_certificate_(&mine) || mine.der.empty() ||
        mine.der.size() > *certificate_length || mine.key_blob.size() > *key_length) {
      *certificate_length = 0;
      *key_length = 0;
      return;
    }
    std::memcpy(certificate, mine.der.data(), mine.der.size());
    std::memcpy(key, mine.key_blob.data(), mine.key_blob.size());
    *certificate_length = mine.der.size();
    *key_length = mine.key_blob.size();
  };
  // 8. Alerts and errors: the code is kept for the caller.
  c.onError = [this](security::TlsEngine&, int code) {
    if (tls_alert_observer_) tls_alert_observer_(code);
    if (ending_tls_) return;
    tls_error_ = true;
    last_tls_code_ = security::TlsErrorFromAlert(code);
  };
  // 9. Trace events go to the owner as they are.
  c.onTrace = [this](security::TlsEngine&, int event, int argument) {
    if (tls_notification_) tls_notification_(event, argument);
  };
  return c;
}

}  // namespace protocols
