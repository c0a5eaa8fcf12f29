#include "security/tls/tls_engine.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "security/certs/certificate.h"
#include "security/certs/certificate_store.h"
#include "security/crypto/secure_wipe.h"
#include "security/tls/tls_engine_internal.h"

namespace security {

// ---------------------------------------------------------------- alerts

int AlertCode(AlertKind kind) {
  static constexpr int kCodes[] = {0,  10, 20, 21, 22, 30, 40, 41, 42, 43, 44, 45,
                                   46, 47, 48, 49, 50, 51, 60, 70, 71, 80, 90, 100, 110};
  return kCodes[static_cast<int>(kind)];
}

const char* ProtocolName(int protocol) {
  switch (protocol) {
    case kProtocolSsl2: return "SSL 2.0";
    case kProtocolSsl3: return "SSL 3.0";
    case kProtocolTls1: return "TLS 1.0";
    default: return "none";
  }
}

// ---------------------------------------------------------------- buffers

TlsBufferSet& TlsBufferSet::ProcessWide() {
  static TlsBufferSet* set = new TlsBufferSet();  // kept for the life of the process
  return *set;
}

namespace {
std::uint8_t* Ensure(std::vector<std::uint8_t>& buffer, std::size_t size) {
  if (buffer.size() != size) buffer.assign(size, 0);
  return buffer.data();
}
}  // namespace

std::uint8_t* TlsBufferSet::Receive() { return Ensure(receive_, kReceiveSize); }
std::uint8_t* TlsBufferSet::Send() { return Ensure(send_, kSendSize); }
std::uint8_t* TlsBufferSet::Transcript() { return Ensure(transcript_, kTranscriptSize); }
std::uint8_t* TlsBufferSet::Scratch() { return Ensure(scratch_, kScratchSize); }

void TlsBufferSet::Acquire(const void* holder) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (holder_ == holder) return;
  if (holder_ != nullptr && holder_thread_ == std::this_thread::get_id()) {
    throw TlsException("TLS buffers in use");
  }
  freed_.wait(lock, [&] { return holder_ == nullptr; });
  holder_ = holder;
  holder_thread_ = std::this_thread::get_id();
}

void TlsBufferSet::Release(const void* holder) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (holder_ != holder) return;
    holder_ = nullptr;
  }
  freed_.notify_one();
}

bool TlsBufferSet::IsHeldBy(const void* holder) {
  std::lock_guard<std::mutex> lock(mutex_);
  return holder_ == holder;
}

// ---------------------------------------------------------------- state

namespace {
void WipeKeys(TlsKeys& keys) {
  for (auto* part : {&keys.client_mac, &keys.server_mac, &keys.client_key, &keys.server_key, &keys.client_iv,
                     &keys.server_iv}) {
    SecureWipe(*part);
    part->clear();
  }
}
}  // namespace

void ProtocolSide::WipeSecrets() {
  SecureWipe(pre_master);
  pre_master.clear();
  SecureWipe(master.data(), master.size());
  WipeKeys(keys);
  encrypt.reset();
  decrypt.reset();
  write_active = false;
}

void ProtocolSide::Reset() {
  WipeSecrets();
  *this = ProtocolSide();
}

void Ssl2Side::WipeSecrets() {
  SecureWipe(master_key);
  master_key.clear();
  SecureWipe(keys.client_read_key);
  SecureWipe(keys.client_write_key);
  keys = Ssl2SessionKeys();
  encrypt.reset();
  decrypt.reset();
  cipher_active = false;
}

void Ssl2Side::Reset() {
  WipeSecrets();
  *this = Ssl2Side();
}

TlsEngine::Impl::Impl(TlsEngine& engine, TlsBufferSet* shared) : owner(engine), buffers(shared) {
  if (buffers == nullptr) {
    own_buffers = std::make_unique<TlsBufferSet>();
    buffers = own_buffers.get();
  }
  suite_enabled.fill(true);
  random.Seed();
}

TlsEngine::Impl::~Impl() { buffers->Release(this); }

void TlsEngine::Impl::Trace(int event, int argument) {
  const int needed = event >= 101 ? 2 : 1;
  if (trace_level >= needed && callbacks.onTrace) callbacks.onTrace(owner, event, argument);
}

void TlsEngine::Impl::ReportError(int code) {
  if (callbacks.onError) callbacks.onError(owner, code);
}

void TlsEngine::Impl::ReportClosed(int flag) {
  if (callbacks.onClosed) callbacks.onClosed(owner, flag);
}

void TlsEngine::Impl::EndSession() {
  established = false;
  notify_established = false;
  session_ended = true;
}

void TlsEngine::Impl::ReleaseBuffersIfEnded() {
  if (!session_ended || busy) return;
  WipeSecrets();
  buffers->Release(this);
}

void TlsEngine::Impl::WipeSecrets() {
  ssl3.WipeSecrets();
  tls.WipeSecrets();
  ssl2.WipeSecrets();
  SecureWipe(client_key);
  client_key.clear();
  handshake_partial.clear();
  // The shared buffers go to the next connection: nothing of this one may stay.
  if (buffers->IsHeldBy(this)) {
    SecureWipe(buffers->Receive(), TlsBufferSet::kReceiveSize);
    SecureWipe(buffers->Send(), TlsBufferSet::kSendSize);
    SecureWipe(buffers->Transcript(), TlsBufferSet::kTranscriptSize);
    SecureWipe(buffers->Scratch(), TlsBufferSet::kScratchSize);
    transcript_length = 0;
  }
}

void TlsEngine::Impl::Fail(int alert, int code) {
  Trace(kTraceFatalAlertSent, alert);
  if (alert >= 0) SendAlert(2, alert);
  if (code >= 0) ReportError(code);
  established = false;
  ReportClosed(0);
  EndSession();
}

void TlsEngine::Impl::SendAlert(int level, int description) {
  if (protocol == kProtocolSsl2) return;  // SSL 2.0 has ERROR messages instead
  const std::uint8_t alert[2] = {static_cast<std::uint8_t>(level), static_cast<std::uint8_t>(description)};
  SendRecord(21, RecordVersion(), alert);
}

void TlsEngine::Impl::SendRecord(std::uint8_t type, std::uint16_t version, std::span<const std::uint8_t> content) {
  ProtocolSide& side = Side();
  std::uint8_t* out = buffers->Send();
  std::size_t length = content.size();
  if (side.write_active) {
    // Protected in the scratch buffer, which bounds a protected record.
    if (side.encrypt->ProtectedSize(content.size()) > TlsBufferSet::kScratchSize) {
      throw TlsException("Record too large");
    }
    std::uint8_t* scratch = buffers->Scratch();
    length = side.encrypt->Protect(type, version, side.write_sequence, content, scratch);
    std::memcpy(out + 5, scratch, length);
    ++side.write_sequence;
  } else {
    if (content.size() + 5 > TlsBufferSet::kSendSize || content.size() > 0xffff) throw TlsException("Record too large");
    std::memcpy(out + 5, content.data(), content.size());
  }
  out[0] = type;
  out[1] = static_cast<std::uint8_t>(version >> 8);
  out[2] = static_cast<std::uint8_t>(version);
  out[3] = static_cast<std::uint8_t>(length >> 8);
  out[4] = static_cast<std::uint8_t>(length);
  if (callbacks.onSend) callbacks.onSend(owner, out, length + 5);
}

bool TlsEngine::Impl::AppendTranscript(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > TlsBufferSet::kTranscriptSize - transcript_length) return false;
  std::memcpy(buffers->Transcript() + transcript_length, bytes.data(), bytes.size());
  transcript_length += bytes.size();
  return true;
}

std::uint8_t TlsEngine::Impl::NonZeroRandom(std::uint8_t replacement) {
  const std::uint8_t b = random.NextByte();
  return b == 0 ? replacement : b;
}

std::vector<std::uint8_t> TlsEngine::Impl::EncryptionBlock(std::size_t length, std::span<const std::uint8_t> lead,
                                                           std::span<const std::uint8_t> tail,
                                                           std::span<const std::uint8_t> secret, bool ssl2_padding) {
  if (length < lead.size() + tail.size() + secret.size() + 1) throw TlsException("Server key too small");
  static constexpr std::uint8_t kZeroReplacement[4] = {44, 188, 1, 201};
  std::vector<std::uint8_t> block(length);
  std::copy(lead.begin(), lead.end(), block.begin());
  const std::size_t padding_end = length - secret.size() - tail.size();
  for (std::size_t k = lead.size(); k < padding_end; ++k) {
    std::uint8_t b = random.NextByte();
    if (ssl2_padding) {
      b |= 1;
    } else if (b == 0) {
      b = kZeroReplacement[(length - 1 - k) % 4];  // by position within its 32-bit word
    }
    block[k] = b;
  }
  std::copy(tail.begin(), tail.end(), block.begin() + static_cast<std::ptrdiff_t>(padding_end));
  std::copy(secret.begin(), secret.end(), block.end() - static_cast<std::ptrdiff_t>(secret.size()));
  return block;
}

// ---------------------------------------------------------------- reader

void TlsEngine::Impl::RunReader() {
  std::uint8_t* buffer = buffers->Receive();
  const int state = reader_major * 100 + reader_minor;
  switch (state) {
    case 230:
    case 231: {
      const bool ssl2_framing = (buffer[0] & 0x80) != 0;
      received = 1;
      header_phase = 0;
      if (ssl2_framing) {
        reader_major = 2;
        reader_minor = 0;
        protocol = kProtocolSsl2;
        wanted = 1;
      } else if (state == 230) {
        reader_major = 3;
        reader_minor = 0;
        protocol = kProtocolSsl3;
        wanted = 4;
      } else if ((version_mask & kProtocolSsl3) != 0) {
        // The first header's version bytes decide between the two.
        reader_major = 3;
        reader_minor = 11;
        ssl3.client_random = tls.client_random;
        ssl3.handshake_state = tls.handshake_state;
        wanted = 4;
      } else {
        reader_major = 3;
        reader_minor = 1;
        protocol = kProtocolTls1;
        wanted = 4;
      }
      return;
    }
    case 311:
      if (buffer[1] == 3 && buffer[2] == 0) {
        reader_minor = 0;
        protocol = kProtocolSsl3;
      } else {
        reader_minor = 1;
        protocol = kProtocolTls1;
      }
      ReadSsl3Header();
      return;
    case 300:
    case 301:
      if (header_phase == 0) {
        ReadSsl3Header();
        return;
      }
      header_phase = 0;
      wanted = 5;
      received = 0;
      busy = true;
      HandleRecord(buffer, record_length);
      busy = false;
      return;
    case 200:
      if (header_phase == 0) {
        if ((buffer[0] & 0x80) != 0) {
          record_length = static_cast<std::size_t>(buffer[0] & 0x7f) << 8 | buffer[1];
          record_padding = 0;
          header_phase = 1;
          received = 0;
          wanted = record_length;
        } else {
          header_phase = 2;
          wanted = 1;
        }
        return;
      }
      if (header_phase == 2) {
        record_length = static_cast<std::size_t>(buffer[0] & 0x3f) << 8 | buffer[1];
        record_padding = buffer[2];
        header_phase = 1;
        received = 0;
        wanted = record_length;
        return;
      }
      header_phase = 0;
      wanted = 2;
      received = 0;
      busy = true;
      HandleSsl2Record(buffer, record_length, record_padding);
      busy = false;
      return;
    default:
      throw TlsException("Invalid reader state");
  }
}

void TlsEngine::Impl::ReadSsl3Header() {
  const std::uint8_t* header = buffers->Receive();
  record_version = static_cast<std::uint16_t>(header[1] << 8 | header[2]);
  const std::uint8_t type = header[0];
  record_kind = (type >= 20 && type <= 23) ? static_cast<ContentKind>(type - 20) : ContentKind::kOther;
  if (record_kind == ContentKind::kOther) {
    // Not a record at all: typically a plain-text greeting on a TLS port.
    record_length = 0;
    Fail(AlertCode(AlertKind::kBadRecordMac), 20);
    return;
  }
  record_length = static_cast<std::size_t>(header[3]) << 8 | header[4];
  header_phase = 1;
  received = 0;
  wanted = record_length;
}

void TlsEngine::Impl::HandleRecord(std::uint8_t* fragment, std::size_t length) {
  Trace(kTraceRecordReceived, static_cast<int>(length));
  if (aborted) {
    ReportError(47);
    established = false;
    ReportClosed(0);
    EndSession();
    return;
  }
  ProtocolSide& side = Side();
  const std::uint8_t type = static_cast<std::uint8_t>(20 + static_cast<int>(record_kind));
  std::size_t content_length = length;
  if (side.handshake_state == kHsServerChangeCipher || side.handshake_state == kHsEstablished) {
    const auto result =
        side.decrypt->Unprotect(type, record_version, side.read_sequence, {fragment, length}, &content_length);
    if (result == UnprotectResult::kBadRecordMac) {
      Fail(AlertCode(AlertKind::kBadRecordMac), 20);
      return;
    }
    if (result == UnprotectResult::kBadSsl3Padding) {
      Fail(0, 0);
      return;
    }
    Trace(kTraceRecordDecrypted, static_cast<int>(content_length));
  }
  ++side.read_sequence;
  // Nothing may come between the pieces of one handshake message.
  if (!handshake_partial.empty() && record_kind != ContentKind::kHandshake) {
    Fail(AlertCode(AlertKind::kUnexpectedMessage), 10);
    return;
  }
  switch (record_kind) {
    case ContentKind::kChangeCipherSpec:
      if (side.handshake_state != kHsFinishedSent || content_length != 1 || fragment[0] != 1) {
        Fail(AlertCode(AlertKind::kUnexpectedMessage), 10);
        return;
      }
      side.handshake_state = kHsServerChangeCipher;
      side.read_sequence = 0;
      return;
    case ContentKind::kAlert:
      HandleAlert(fragment, content_length);
      return;
    case ContentKind::kHandshake:
      HandleHandshakeRecord(fragment, content_length);
      return;
    case ContentKind::kApplicationData:
      // Data before the handshake is done would come unauthenticated.
      if (side.handshake_state != kHsEstablished) {
        Fail(AlertCode(AlertKind::kUnexpectedMessage), 10);
        return;
      }
      Trace(kTraceApplicationDataIn, static_cast<int>(content_length));
      if (content_length != 0 && callbacks.onData) callbacks.onData(owner, fragment, content_length);
      return;
    case ContentKind::kOther:
      return;
  }
}

void TlsEngine::Impl::HandleAlert(const std::uint8_t* content, std::size_t length) {
  const int level = length >= 1 ? content[0] : 2;
  // A server hosting other names than the one our hello gave may warn so and
  // go on with its default certificate; the acceptance check judges that one.
  constexpr int kUnrecognizedName = 112;
  if (level == 1 && length >= 2 && content[1] == kUnrecognizedName && !established && !server_name.empty()) return;
  if (level == 1) {
    established = false;
    ReportClosed(1);
    EndSession();
    return;
  }
  const int description = length >= 2 ? content[1] : -1;
  Trace(kTraceFatalAlertReceived, description);
  if (description >= 0) ReportError(description);
  established = false;
  ReportClosed(0);
  EndSession();
}

// ---------------------------------------------------------------- TlsEngine

TlsEngine::TlsEngine(TlsBufferSet* buffers) : impl_(std::make_unique<Impl>(*this, buffers)) {}

TlsEngine::~TlsEngine() { Destroy(); }

void TlsEngine::Destroy() {
  if (!impl_) return;
  Impl& d = *impl_;
  d.EndSession();
  d.ssl3.Reset();
  d.tls.Reset();
  d.ssl2.Reset();
  d.WipeSecrets();
  d.client_certificate.clear();
  d.buffers->Release(&d);
}

void TlsEngine::SetCallbacks(TlsCallbacks callbacks) { impl_->callbacks = std::move(callbacks); }

void TlsEngine::SetVersionMask(ProtocolMask mask) { impl_->version_mask = mask; }
ProtocolMask TlsEngine::VersionMask() const { return impl_->version_mask; }

void TlsEngine::SetHighestTlsVersion(std::uint16_t version) {
  if (version < 0x0301 || version > 0x0303) throw std::invalid_argument("Unknown TLS version");
  impl_->highest_tls_version = version;
}

void TlsEngine::SetServerName(std::string host) { impl_->server_name = std::move(host); }

namespace {
void CheckIndex(int index) {
  if (index < 0 || index >= kSuiteCatalogueSize) {
    char text[64];
    std::snprintf(text, sizeof(text), "Unknown cipher suite code %d.%d.%d", (index >> 16) & 0xff, (index >> 8) & 0xff,
                  index & 0xff);
    throw TlsException(text);
  }
}
}  // namespace

void TlsEngine::SetSuiteEnabled(int index, bool on) {
  CheckIndex(index);
  impl_->suite_enabled[static_cast<std::size_t>(index)] = on;
}

bool TlsEngine::IsSuiteEnabled(int index) const {
  CheckIndex(index);
  return impl_->suite_enabled[static_cast<std::size_t>(index)];
}

void TlsEngine::ApplyStrongOnlyFilter(bool strong_only) {
  for (int index = 0; index < kSuiteCatalogueSize; ++index) {
    SetSuiteEnabled(index, !strong_only || IsStrongSuite(index));
  }
}

void TlsEngine::SetTraceLevel(int level) { impl_->trace_level = level; }

void TlsEngine::Start() {
  Impl& d = *impl_;
  d.buffers->Acquire(&d);
  d.aborted = false;
  d.established = false;
  d.notify_established = false;
  d.busy = false;
  d.closing = false;
  d.server_key_known = false;
  d.started = true;
  d.session_ended = false;
  d.ssl3.Reset();
  d.tls.Reset();
  d.ssl2.Reset();
  d.tls_version = d.offered_version = 0x0301;
  d.extended_master = false;
  d.answerable_extensions.clear();
  d.signature_scheme = 0;
  d.group.clear();
  d.rsa_modulus = BigNumber();
  d.rsa_exponent = BigNumber();
  d.dh_p = d.dh_g = d.dh_ys = BigNumber();
  d.dh_known = false;
  d.certificate_rsa.reset();
  d.certificate_dsa.reset();
  d.certificate_ec.reset();
  d.ecdhe_group = 0;
  d.ecdhe_point.clear();
  d.server_chain.clear();
  SecureWipe(d.client_key);
  d.client_key.clear();
  d.client_certificate.clear();
  d.certificate_requested = false;
  d.client_signature_scheme = 0;
  d.requested_type = 0;
  d.transcript_length = 0;
  d.handshake_partial.clear();
  d.received = 0;
  d.header_phase = 0;
  // A fresh key per connection; without the system's source there is no
  // secret to protect the session with, so the handshake does not begin.
  if (!d.random.Reseed()) {
    d.aborted = true;
    d.ReportError(AlertCode(AlertKind::kInternalError));
    d.EndSession();
    d.ReleaseBuffersIfEnded();
    throw TlsNoRandomSource();
  }
  d.Trace(kTraceSessionOpened);
  try {
    d.SendFirstFlight();
  } catch (...) {
    d.aborted = true;
    d.EndSession();
    d.ReleaseBuffersIfEnded();
    throw;
  }
  d.ReleaseBuffersIfEnded();
}

void TlsEngine::Pump() {
  Impl& d = *impl_;
  if (!d.started || d.session_ended || d.busy) return;
  try {
    if (d.wanted > 0) {
      std::size_t count = 0;
      const int result = d.callbacks.onReceive
                             ? d.callbacks.onReceive(*this, d.buffers->Receive() + d.received, d.wanted, &count)
                             : -1;
      if (result < 0 || count == 0) return;
      count = std::min(count, d.wanted);
      d.received += count;
      d.wanted -= count;
    }
    while (d.wanted == 0 && !d.session_ended) {
      d.RunReader();
      if (d.notify_established) {
        d.notify_established = false;
        d.busy = false;
        d.received = 0;
        if (d.callbacks.onEstablished) d.callbacks.onEstablished(*this);
      }
    }
  } catch (const std::exception& e) {
    d.busy = false;
    d.aborted = true;
    d.Trace(kTraceFatalAlertSent, -1);
    d.EndSession();
    d.ReleaseBuffersIfEnded();
    if (dynamic_cast<const TlsException*>(&e) != nullptr) throw;
    throw TlsException(e.what());
  }
  d.ReleaseBuffersIfEnded();
}

bool TlsEngine::Write(const std::uint8_t* bytes, std::size_t length) {
  Impl& d = *impl_;
  if (!d.established || d.session_ended) return false;
  d.Trace(kTraceApplicationDataOut, static_cast<int>(length));
  // CBC in SSL 3.0 and TLS 1.0 chains each record from the last one's final
  // block, which the path has already seen. A record of one byte first puts
  // a block of unpredictable MAC bytes in front of the rest (the 1/n-1 split).
  // From TLS 1.1 every record carries a fresh IV and needs none.
  const SuiteParams* suite = d.protocol == kProtocolSsl2 ? nullptr : d.Side().suite;
  const bool split = suite != nullptr && suite->IsBlockCipher() && !d.ExplicitIvs();
  std::array<std::uint8_t, 4096> piece;  // encryption must not touch the caller's bytes
  for (std::size_t at = 0; at < length && !d.session_ended; at += piece.size()) {
    const std::size_t n = std::min(piece.size(), length - at);
    std::memcpy(piece.data(), bytes + at, n);
    if (d.protocol == kProtocolSsl2) {
      d.SendSsl2Record({piece.data(), n});
    } else if (split && n > 1) {
      d.SendRecord(23, d.RecordVersion(), {piece.data(), 1});
      if (!d.session_ended) d.SendRecord(23, d.RecordVersion(), {piece.data() + 1, n - 1});
    } else {
      d.SendRecord(23, d.RecordVersion(), {piece.data(), n});
    }
  }
  SecureWipe(piece.data(), piece.size());
  return !d.session_ended;
}

void TlsEngine::Close() {
  Impl& d = *impl_;
  d.Trace(kTraceSessionClosed);
  if (d.started && !d.session_ended) {
    d.closing = true;
    if (d.protocol != kProtocolSsl2) {
      d.SendAlert(1, 0);
      d.established = false;
      d.ReportClosed(1);
    }
    d.EndSession();
  }
  d.established = false;
  d.ReleaseBuffersIfEnded();
}

bool TlsEngine::IsEstablished() const { return impl_->established; }
bool TlsEngine::IsAborted() const { return impl_->aborted; }
bool TlsEngine::IsClosing() const { return impl_->closing; }
bool TlsEngine::IsSessionOpen() const { return impl_->started && !impl_->session_ended; }
int TlsEngine::Protocol() const { return impl_->protocol; }
std::pair<int, int> TlsEngine::ReaderState() const { return {impl_->reader_major, impl_->reader_minor}; }
std::size_t TlsEngine::Wanted() const { return impl_->wanted; }
std::size_t TlsEngine::Received() const { return impl_->received; }

std::uint16_t TlsEngine::NegotiatedVersion() const {
  const Impl& d = *impl_;
  if (!d.established) return 0;
  if (d.protocol == kProtocolSsl2) return 0x0002;
  return d.protocol == kProtocolSsl3 ? 0x0300 : d.tls_version;
}

bool TlsEngine::UsedExtendedMasterSecret() const { return impl_->established && impl_->extended_master; }
std::uint16_t TlsEngine::KeyExchangeSignatureScheme() const { return impl_->signature_scheme; }
std::string TlsEngine::KeyExchangeGroup() const { return impl_->group; }

const SuiteParams* TlsEngine::NegotiatedSuite() const {
  const Impl& d = *impl_;
  if (d.protocol == kProtocolSsl2) return nullptr;
  const ProtocolSide& side = d.protocol == kProtocolSsl3 ? d.ssl3 : d.tls;
  return side.handshake_state == kHsEstablished ? side.suite : nullptr;
}

const Ssl2Kind* TlsEngine::NegotiatedSsl2Kind() const {
  const Impl& d = *impl_;
  return d.protocol == kProtocolSsl2 && d.ssl2.state == kSsl2Established ? d.ssl2.kind : nullptr;
}

std::vector<std::uint8_t> TlsEngine::SessionId() const {
  const Impl& d = *impl_;
  if (d.protocol == kProtocolSsl2) return d.ssl2.session_id;
  return d.protocol == kProtocolSsl3 ? d.ssl3.session_id : d.tls.session_id;
}

RandomGenerator& TlsEngine::Random() { return impl_->random; }

const std::vector<Certificate>& TlsEngine::ServerChain() const { return impl_->server_chain; }

const Certificate* TlsEngine::ServerCertificate() const {
  return impl_->server_chain.empty() ? nullptr : &impl_->server_chain.front();
}

void TlsEngine::CopyServerChainTo(CertificateStore& store) const {
  store.Clear();
  const auto& chain = impl_->server_chain;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) store.Add(*it);
}

}  // namespace security
