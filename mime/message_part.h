#pragma once
// The message part tree: CElMessagePart (a leaf), CElMultiPartPart (a container of
// parts) and CElPlainTextPart (a text body), and their wire form.
//
// A multipart part owns its children; every part owns its HeaderList. A part knows
// its owning message (for the stored stream that committed bodies refer to) and its
// parent (none for the root). Writing may change a part: it sets the part's
// Content-Transfer-Encoding, a text part's charset, a multipart part's boundary,
// and a commit write replaces a part's content by a reference to its stored body.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mime/byte_stream.h"
#include "mime/header_encoding.h"
#include "mime/header_list.h"
#include "mime/result.h"

namespace mime {

class MimeMessage;
class CElMultiPartPart;
class CElPlainTextPart;

enum class TransferEncoding { kBase64, kQuotedPrintable, k8Bit, k7Bit, kBinary };
std::u16string_view TransferEncodingName(TransferEncoding encoding);

// The arguments of a write; every part of a tree is written with the same ones.
struct WriteOptions {
  // Charset of text bodies and encoded words; "" means "us-ascii".
  std::string charset;
  HeaderEncodingMode mode = HeaderEncodingMode::kShorterOfQAndB;
  // Transfer-encoding preferences: for text/plain, text/html, message/* and untyped
  // parts, and for every other part. "base64", "quoted-printable", "8bit", "7bit",
  // "Binary" (any case) are used; anything else, "" included, lets the content decide.
  std::string text_encoding;
  std::string other_encoding;
  // The commit of the message to its store: parts then refer to their stored bodies.
  bool commit = false;
};

// How a part holds its body: the two low bits of its flag word.
enum class BodyHolding : std::uint32_t { kNone = 0, kText = 1, kStream = 2, kStored = 3 };

class CElMessagePart {
 public:
  // A new part has the Content-Type "application/octet-stream".
  CElMessagePart(MimeMessage* message, CElMultiPartPart* parent);
  virtual ~CElMessagePart();
  CElMessagePart(const CElMessagePart&) = delete;
  CElMessagePart& operator=(const CElMessagePart&) = delete;

  // Serialises the part (a multipart part with all its children). Returns kMimeOk or
  // the first error met: the sink's, the content stream's, kMimeErrorNoAddress.
  [[nodiscard]] virtual MimeResult Write(ByteSink& out, const WriteOptions& options);
  virtual std::u16string_view ClassName() const;

  bool IsMajorType(std::u16string_view major) const;
  bool IsText() const { return IsMajorType(u"text"); }
  bool IsMessage() const { return IsMajorType(u"message"); }
  // From the Content-Type value; empty when the part has no Content-Type.
  std::u16string MajorType() const;
  std::u16string SubType() const;
  void SetContentType(std::u16string_view major, std::u16string_view sub);

  HeaderList& headers() { return headers_; }
  const HeaderList& headers() const { return headers_; }
  MimeMessage* message() const { return message_; }
  CElMultiPartPart* parent() const { return parent_; }

  // The decoded body as a seekable stream (shared, never changed through the part).
  void SetContent(std::shared_ptr<const ByteSource> content);
  // Opens the file, takes it as the content and its name through SetFileName.
  [[nodiscard]] MimeResult AttachFile(const std::filesystem::path& path);
  // The encoded body at `offset`, `length` in the owning message's stored stream.
  void SetStoredBody(std::uint64_t offset, std::uint64_t length);
  std::uint32_t flags() const { return flags_; }
  BodyHolding holding() const { return static_cast<BodyHolding>(flags_ & 3); }
  std::uint64_t stored_offset() const { return stored_offset_; }
  std::uint64_t stored_length() const { return stored_length_; }
  const std::shared_ptr<const ByteSource>& content() const { return content_; }

  // The decoded body bytes, whatever the holding (a stored body is decoded by its
  // Content-Transfer-Encoding; text is converted to its charset).
  [[nodiscard]] MimeResult ReadContent(std::string* out) const;

  // Trims the name; adds "Content-Disposition: attachment" when missing; sets its
  // "filename" parameter to the quoted name.
  virtual void SetFileName(std::u16string_view name);
  // "filename" of Content-Disposition, else "name" of Content-Type, else the
  // Content-Description text.
  std::u16string GetFileName() const;
  void SetDisposition(std::u16string_view disposition);

 protected:
  [[nodiscard]] MimeResult WriteLeaf(ByteSink& out, const WriteOptions& options);
  // Text bodies: the text and a hook to drop it once committed.
  virtual const std::u16string* HeldText() const { return nullptr; }
  virtual void DropHeldText() {}
  void SetHolding(BodyHolding holding) { flags_ = (flags_ & ~3u) | static_cast<std::uint32_t>(holding); }

 private:
  MimeMessage* message_;
  CElMultiPartPart* parent_;
  HeaderList headers_;
  std::shared_ptr<const ByteSource> content_;
  std::uint64_t stored_offset_ = 0;
  std::uint64_t stored_length_ = 0;
  std::uint32_t flags_ = 0;
};

class CElMultiPartPart : public CElMessagePart {
 public:
  // A new one has the Content-Type "multipart/mixed".
  CElMultiPartPart(MimeMessage* message, CElMultiPartPart* parent);
  ~CElMultiPartPart() override;

  MimeResult Write(ByteSink& out, const WriteOptions& options) override;
  std::u16string_view ClassName() const override;

  // Child parts, created with this part as parent and appended to the list.
  CElMessagePart* AddPart(std::u16string_view major, std::u16string_view sub);
  CElMultiPartPart* AddMultiPart(std::u16string_view sub);
  CElPlainTextPart* AddTextPart(std::u16string text, std::u16string_view sub = u"plain");
  // Takes a part made for this parent.
  CElMessagePart* AppendChild(std::unique_ptr<CElMessagePart> child);
  const std::vector<std::unique_ptr<CElMessagePart>>& children() const { return children_; }

  // Suppresses "This is a multi-part message in MIME format."
  bool no_preamble() const { return no_preamble_; }
  void set_no_preamble(bool value) { no_preamble_ = value; }
  // The boundary parameter without quotes; empty when none.
  std::u16string Boundary() const;
  // Generates and stores a boundary when there is none.
  void EnsureBoundary();

 private:
  std::vector<std::unique_ptr<CElMessagePart>> children_;
  bool no_preamble_ = false;
};

class CElPlainTextPart : public CElMultiPartPart {
 public:
  // A new one has the Content-Type "text/plain".
  CElPlainTextPart(MimeMessage* message, CElMultiPartPart* parent);

  // Written as a leaf: the text in the write's charset, labelled with it.
  MimeResult Write(ByteSink& out, const WriteOptions& options) override;
  std::u16string_view ClassName() const override;

  void SetText(std::u16string text);
  // The held text, or the content decoded by the Content-Type's charset.
  [[nodiscard]] MimeResult GetText(std::u16string* out) const;

 protected:
  const std::u16string* HeldText() const override;
  void DropHeldText() override;

 private:
  std::u16string text_;
};

}  // namespace mime
