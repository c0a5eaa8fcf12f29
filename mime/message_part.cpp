#include "mime/message_part.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "mime/base64.h"
#include "mime/charset.h"
#include "mime/header_writer.h"
#include "mime/message_ids.h"
#include "mime/mime_message.h"
#include "mime/names.h"
#include "mime/quoted_printable.h"
#include "platform/text.h"

namespace mime {
namespace {

constexpr std::size_t kBlockSize = 4096;
constexpr std::string_view kPreamble = "This is a multi-part message in MIME format.";
// Longest line SMTP carries; a longer one cannot go out as 7bit.
constexpr std::size_t kMaxLineLength = 998;

bool Same(std::u16string_view a, std::u16string_view b) { return platform::EqualsIgnoreAsciiCase(a, b); }

std::optional<TransferEncoding> EncodingFromName(std::string_view name) {
  constexpr TransferEncoding kAll[] = {TransferEncoding::kBase64, TransferEncoding::kQuotedPrintable,
                                       TransferEncoding::k8Bit, TransferEncoding::k7Bit, TransferEncoding::kBinary};
  std::u16string wide = platform::Latin1ToUtf16(name);
  for (TransferEncoding e : kAll) {
    if (Same(wide, TransferEncodingName(e))) return e;
  }
  return std::nullopt;
}

// Streams a source in blocks to `consume(span)`.
template <typename Consume>
MimeResult ForEachBlock(const ByteSource& source, Consume consume) {
  std::array<std::uint8_t, kBlockSize> block;
  std::uint64_t offset = 0;
  for (;;) {
    std::size_t got = 0;
    MimeResult r = source.ReadAt(offset, block, &got);
    if (r != kMimeOk) return r;
    if (got == 0) return offset >= source.Size() ? kMimeOk : kMimeErrorRead;
    r = consume(std::span<const std::uint8_t>(block.data(), got));
    if (r != kMimeOk) return r;
    offset += got;
  }
}

// With no usable preference: 7-bit content with sound CR LF line ends stays 7bit;
// bare LF, lone CR, NUL or an over-long line make it base64; 8-bit content goes
// quoted-printable only when that is strictly shorter than base64.
MimeResult Classify(const ByteSource& content, TransferEncoding* result) {
  bool eight_bit = false, fault = false, cr_open = false;
  std::size_t line = 0;
  MimeResult r = ForEachBlock(content, [&](std::span<const std::uint8_t> block) {
    for (std::uint8_t b : block) {
      if (b >= 128) eight_bit = true;
      if (b == '\r') {
        if (cr_open) fault = true;
        cr_open = true;
      } else if (b == '\n') {
        if (!cr_open) fault = true;
        cr_open = false;
        line = 0;
      } else {
        if (cr_open) fault = true;  // a CR not followed by LF
        if (b == 0) fault = true;
        if (++line > kMaxLineLength) fault = true;
      }
    }
    return kMimeOk;
  });
  if (r != kMimeOk) return r;
  if (cr_open) fault = true;
  if (!eight_bit) {
    *result = fault ? TransferEncoding::kBase64 : TransferEncoding::k7Bit;
    return kMimeOk;
  }
  CountingSink qp_size, b64_size;
  QuotedPrintableEncoder qp(qp_size);
  Base64Encoder b64(b64_size);
  r = ForEachBlock(content, [&](std::span<const std::uint8_t> block) {
    MimeResult w = qp.Write(block);
    return w != kMimeOk ? w : b64.Write(block);
  });
  if (r != kMimeOk) return r;
  if (qp.Finish() != kMimeOk || b64.Finish() != kMimeOk) return kMimeErrorWrite;
  *result = qp_size.written() < b64_size.written() ? TransferEncoding::kQuotedPrintable : TransferEncoding::kBase64;
  return kMimeOk;
}

MimeResult EncodeBody(const ByteSource& content, TransferEncoding encoding, ByteSink& out) {
  if (encoding == TransferEncoding::kBase64) {
    Base64Encoder encoder(out);
    MimeResult r = ForEachBlock(content, [&](std::span<const std::uint8_t> b) { return encoder.Write(b); });
    MimeResult f = encoder.Finish();
    return r != kMimeOk ? r : f;
  }
  if (encoding == TransferEncoding::kQuotedPrintable) {
    QuotedPrintableEncoder encoder(out);
    MimeResult r = ForEachBlock(content, [&](std::span<const std::uint8_t> b) { return encoder.Write(b); });
    MimeResult f = encoder.Finish();
    return r != kMimeOk ? r : f;
  }
  return ForEachBlock(content, [&](std::span<const std::uint8_t> b) { return out.Write(b); });
}

std::string DecodeTransfer(const std::string& encoded, std::u16string_view cte) {
  std::u16string name = Trimmed(cte);
  if (Same(name, names::kBase64)) return Base64Decode(encoded);
  if (Same(name, names::kQuotedPrintable)) return QuotedPrintableDecode(encoded);
  return encoded;
}

std::u16string FieldText(const HeaderField* field) {
  if (!field) return {};
  return field->rawValue.empty() ? field->value : field->rawValue;
}

}  // namespace

std::u16string_view TransferEncodingName(TransferEncoding encoding) {
  switch (encoding) {
    case TransferEncoding::kBase64: return names::kBase64;
    case TransferEncoding::kQuotedPrintable: return names::kQuotedPrintable;
    case TransferEncoding::k8Bit: return names::k8Bit;
    case TransferEncoding::k7Bit: return names::k7Bit;
    case TransferEncoding::kBinary: return names::kBinary;
  }
  return names::k7Bit;
}

// ---- CElMessagePart

CElMessagePart::CElMessagePart(MimeMessage* message, CElMultiPartPart* parent) : message_(message), parent_(parent) {
  headers_.Add(HeaderField{std::u16string(names::kContentType), {}, u"application/octet-stream", {}, {}});
}

CElMessagePart::~CElMessagePart() = default;

std::u16string_view CElMessagePart::ClassName() const { return u"CElMessagePart"; }

MimeResult CElMessagePart::Write(ByteSink& out, const WriteOptions& options) { return WriteLeaf(out, options); }

std::u16string CElMessagePart::MajorType() const {
  const HeaderField* ct = headers_.Find(names::kContentType);
  if (!ct) return {};
  std::u16string value = Trimmed(ct->value);
  return Trimmed(value.substr(0, value.find(u'/')));
}

std::u16string CElMessagePart::SubType() const {
  const HeaderField* ct = headers_.Find(names::kContentType);
  if (!ct) return {};
  std::size_t slash = ct->value.find(u'/');
  return slash == std::u16string::npos ? std::u16string() : Trimmed(ct->value.substr(slash + 1));
}

bool CElMessagePart::IsMajorType(std::u16string_view major) const { return Same(MajorType(), major); }

void CElMessagePart::SetContentType(std::u16string_view major, std::u16string_view sub) {
  std::u16string value = std::u16string(major) + u"/" + std::u16string(sub);
  if (HeaderField* ct = headers_.Find(names::kContentType)) {
    ct->value = value;
    ct->rawValue.clear();
  } else {
    headers_.Add(HeaderField{std::u16string(names::kContentType), {}, value, {}, {}});
  }
}

void CElMessagePart::SetContent(std::shared_ptr<const ByteSource> content) {
  content_ = std::move(content);
  DropHeldText();
  SetHolding(content_ ? BodyHolding::kStream : BodyHolding::kNone);
}

MimeResult CElMessagePart::AttachFile(const std::filesystem::path& path) {
  std::shared_ptr<const FileSource> file;
  MimeResult r = FileSource::Open(path, &file);
  if (r != kMimeOk) return r;
  SetContent(std::move(file));
  SetFileName(platform::Utf8ToUtf16(path.filename().string()));
  return kMimeOk;
}

void CElMessagePart::SetStoredBody(std::uint64_t offset, std::uint64_t length) {
  content_.reset();
  DropHeldText();
  stored_offset_ = offset;
  stored_length_ = length;
  SetHolding(BodyHolding::kStored);
}

MimeResult CElMessagePart::ReadContent(std::string* out) const {
  out->clear();
  switch (holding()) {
    case BodyHolding::kNone:
      return kMimeOk;
    case BodyHolding::kText: {
      const HeaderField* ct = headers_.Find(names::kContentType);
      std::u16string charset = ct ? ct->ParamText(names::kCharset) : std::u16string();
      *out = EncodeText(*HeldText(), ResolveWriteCharset(platform::Utf16ToUtf8(charset)));
      return kMimeOk;
    }
    case BodyHolding::kStream:
      return ReadAll(*content_, out);
    case BodyHolding::kStored: {
      const ByteSource* stored = message_ ? message_->stored().get() : nullptr;
      if (!stored || stored_offset_ + stored_length_ > stored->Size()) return kMimeErrorNoStoredBody;
      StringSink encoded;
      MimeResult r = CopyRange(*stored, stored_offset_, stored_length_, encoded);
      if (r != kMimeOk) return r;
      *out = DecodeTransfer(encoded.data(), FieldText(headers_.Find(names::kContentTransferEncoding)));
      return kMimeOk;
    }
  }
  return kMimeOk;
}

void CElMessagePart::SetFileName(std::u16string_view name) {
  std::u16string trimmed = Trimmed(name);
  HeaderField* disposition = headers_.Find(names::kContentDisposition);
  if (!disposition) {
    disposition = &headers_.Add(
        HeaderField{std::u16string(names::kContentDisposition), {}, std::u16string(names::kAttachment), {}, {}});
  }
  disposition->RemoveParam(names::kFilename);
  disposition->params.push_back({std::u16string(names::kFilename), Quoted(trimmed)});
}

std::u16string CElMessagePart::GetFileName() const {
  if (const HeaderField* d = headers_.Find(names::kContentDisposition); d && d->FindParam(names::kFilename)) {
    return d->ParamText(names::kFilename);
  }
  if (const HeaderField* ct = headers_.Find(names::kContentType); ct && ct->FindParam(names::kName)) {
    return ct->ParamText(names::kName);
  }
  return FieldText(headers_.Find(names::kContentDescription));
}

void CElMessagePart::SetDisposition(std::u16string_view disposition) {
  if (HeaderField* d = headers_.Find(names::kContentDisposition)) {
    d->value = disposition;
    d->rawValue.clear();
  } else {
    headers_.Add(HeaderField{std::u16string(names::kContentDisposition), {}, std::u16string(disposition), {}, {}});
  }
}

MimeResult CElMessagePart::WriteLeaf(ByteSink& out, const WriteOptions& options) {
  std::shared_ptr<const ByteSource> body = content_;
  if (const std::u16string* text = HeldText()) {
    std::string charset = ResolveWriteCharset(options.charset);
    body = std::make_shared<MemorySource>(EncodeText(*text, charset));
    HeaderField* ct = headers_.Find(names::kContentType);
    if (!ct) ct = &headers_.Add(HeaderField{std::u16string(names::kContentType), {}, std::u16string(names::kTextPlain), {}, {}});
    ct->SetParam(names::kCharset, platform::Latin1ToUtf16(charset));
  }

  if (!body && holding() == BodyHolding::kStored) {
    // Already encoded in the stored message: copied unchanged under its own headers.
    const ByteSource* stored = message_ ? message_->stored().get() : nullptr;
    MimeResult header_result = WriteHeaderBlock(headers_, out, options.charset, options.mode);
    if (header_result != kMimeOk && header_result != kMimeErrorNoAddress) return header_result;
    MimeResult r = out.WriteText("\r\n");
    if (r != kMimeOk) return r;
    if (!stored || stored_offset_ + stored_length_ > stored->Size()) return kMimeErrorNoStoredBody;
    std::uint64_t start = out.written();
    r = CopyRange(*stored, stored_offset_, stored_length_, out);
    if (r != kMimeOk) return r;
    if (options.commit) stored_offset_ = start;
    return header_result;
  }
  if (!body) body = std::make_shared<MemorySource>(std::string());

  std::u16string major = MajorType(), sub = SubType();
  bool text_preference = (Same(major, names::kText) && (Same(sub, names::kPlain) || Same(sub, names::kHtml))) ||
                         Same(major, names::kMessage) || major.empty();
  std::optional<TransferEncoding> encoding =
      EncodingFromName(text_preference ? options.text_encoding : options.other_encoding);
  if (!encoding) {
    TransferEncoding classified;
    MimeResult r = Classify(*body, &classified);
    if (r != kMimeOk) return r;
    encoding = classified;
  }
  headers_.Replace(HeaderField{std::u16string(names::kContentTransferEncoding),
                               std::u16string(TransferEncodingName(*encoding)), {}, {}, {}});

  MimeResult header_result = WriteHeaderBlock(headers_, out, options.charset, options.mode);
  if (header_result != kMimeOk && header_result != kMimeErrorNoAddress) return header_result;
  MimeResult r = out.WriteText("\r\n");
  if (r != kMimeOk) return r;
  std::uint64_t start = out.written();
  r = EncodeBody(*body, *encoding, out);
  if (r != kMimeOk) return r;
  if (options.commit) SetStoredBody(start, out.written() - start);
  return header_result;
}

// ---- CElMultiPartPart

CElMultiPartPart::CElMultiPartPart(MimeMessage* message, CElMultiPartPart* parent) : CElMessagePart(message, parent) {
  SetContentType(names::kMultipart, names::kMixed);
}

CElMultiPartPart::~CElMultiPartPart() = default;

std::u16string_view CElMultiPartPart::ClassName() const { return u"CElMultiPartPart"; }

CElMessagePart* CElMultiPartPart::AddPart(std::u16string_view major, std::u16string_view sub) {
  auto part = std::make_unique<CElMessagePart>(message(), this);
  part->SetContentType(major, sub);
  return AppendChild(std::move(part));
}

CElMultiPartPart* CElMultiPartPart::AddMultiPart(std::u16string_view sub) {
  auto part = std::make_unique<CElMultiPartPart>(message(), this);
  part->SetContentType(names::kMultipart, sub);
  CElMultiPartPart* raw = part.get();
  AppendChild(std::move(part));
  return raw;
}

CElPlainTextPart* CElMultiPartPart::AddTextPart(std::u16string text, std::u16string_view sub) {
  auto part = std::make_unique<CElPlainTextPart>(message(), this);
  part->SetContentType(names::kText, sub);
  part->SetText(std::move(text));
  CElPlainTextPart* raw = part.get();
  AppendChild(std::move(part));
  return raw;
}

CElMessagePart* CElMultiPartPart::AppendChild(std::unique_ptr<CElMessagePart> child) {
  return children_.emplace_back(std::move(child)).get();
}

std::u16string CElMultiPartPart::Boundary() const {
  const HeaderField* ct = headers().Find(names::kContentType);
  return ct ? ct->ParamText(names::kBoundary) : std::u16string();
}

namespace {

// Boundaries already in use around and inside `part`. A nested container
// drawn in the same millisecond with the same random number would otherwise
// share a delimiter with its enclosing one, and the message would read back
// as a different tree.
void CollectBoundaries(const CElMessagePart& part, std::vector<std::u16string>* out) {
  const auto* container = dynamic_cast<const CElMultiPartPart*>(&part);
  if (!container) return;
  if (std::u16string b = container->Boundary(); !b.empty()) out->push_back(std::move(b));
  for (const auto& child : container->children()) CollectBoundaries(*child, out);
}

// One delimiter line would also match the other when either is a prefix.
bool Clashes(const std::u16string& candidate, const std::vector<std::u16string>& used) {
  for (const auto& b : used) {
    const std::size_t n = std::min(b.size(), candidate.size());
    if (b.compare(0, n, candidate, 0, n) == 0) return true;
  }
  return false;
}

}  // namespace

void CElMultiPartPart::EnsureBoundary() {
  if (!Boundary().empty()) return;
  HeaderField* ct = headers().Find(names::kContentType);
  if (!ct) {
    SetContentType(names::kMultipart, names::kMixed);
    ct = headers().Find(names::kContentType);
  }
  std::vector<std::u16string> used;
  for (const CElMultiPartPart* up = parent(); up != nullptr; up = up->parent()) {
    if (std::u16string b = up->Boundary(); !b.empty()) used.push_back(std::move(b));
  }
  CollectBoundaries(*this, &used);
  std::u16string boundary = platform::Latin1ToUtf16(NewBoundary());
  for (int draw = 0; draw < 8 && Clashes(boundary, used); ++draw) boundary = platform::Latin1ToUtf16(NewBoundary());
  if (Clashes(boundary, used)) {
    // A boundary of the message itself is a prefix of every one we draw: lead
    // with a character none of the boundaries in use starts with.
    for (char16_t lead : std::u16string_view(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")) {
      if (std::none_of(used.begin(), used.end(), [&](const std::u16string& b) { return b.front() == lead; })) {
        boundary.insert(boundary.begin(), lead);
        break;
      }
    }
  }
  // Quoted: "=" may not stand in a bare parameter value.
  ct->SetParam(names::kBoundary, Quoted(boundary));
}

MimeResult CElMultiPartPart::Write(ByteSink& out, const WriteOptions& options) {
  EnsureBoundary();
  const std::string boundary = platform::Utf16ToUtf8(Boundary());
  MimeResult first = WriteHeaderBlock(headers(), out, options.charset, options.mode);
  if (first != kMimeOk && first != kMimeErrorNoAddress) return first;
  MimeResult r = out.WriteText("\r\n");
  if (r == kMimeOk && !no_preamble_) r = out.WriteText(kPreamble);
  if (r != kMimeOk) return r;
  if (children_.empty()) {
    r = out.WriteText("\r\n--" + boundary + "--\r\n");
    return r != kMimeOk ? r : first;
  }
  r = out.WriteText("\r\n--" + boundary + "\r\n");
  if (r != kMimeOk) return r;
  for (std::size_t i = 0; i < children_.size(); ++i) {
    MimeResult child = children_[i]->Write(out, options);
    if (first == kMimeOk) first = child;
    const bool last = i + 1 == children_.size();
    r = out.WriteText("\r\n--" + boundary + (last ? "--" : "") + "\r\n");
    if (r != kMimeOk) return first != kMimeOk ? first : r;
  }
  return first;
}

// ---- CElPlainTextPart

CElPlainTextPart::CElPlainTextPart(MimeMessage* message, CElMultiPartPart* parent) : CElMultiPartPart(message, parent) {
  SetContentType(names::kText, names::kPlain);
}

std::u16string_view CElPlainTextPart::ClassName() const { return u"CElPlainTextPart"; }

MimeResult CElPlainTextPart::Write(ByteSink& out, const WriteOptions& options) { return WriteLeaf(out, options); }

void CElPlainTextPart::SetText(std::u16string text) {
  SetContent(nullptr);
  text_ = std::move(text);
  SetHolding(BodyHolding::kText);
}

MimeResult CElPlainTextPart::GetText(std::u16string* out) const {
  if (holding() == BodyHolding::kText) {
    *out = text_;
    return kMimeOk;
  }
  std::string bytes;
  MimeResult r = ReadContent(&bytes);
  const HeaderField* ct = headers().Find(names::kContentType);
  std::u16string charset = ct ? ct->ParamText(names::kCharset) : std::u16string();
  *out = DecodeText(bytes, platform::Utf16ToUtf8(charset.empty() ? std::u16string(u"us-ascii") : charset));
  return r;
}

const std::u16string* CElPlainTextPart::HeldText() const {
  return holding() == BodyHolding::kText ? &text_ : nullptr;
}

void CElPlainTextPart::DropHeldText() { text_.clear(); }

}  // namespace mime
