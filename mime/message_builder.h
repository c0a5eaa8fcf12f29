#pragma once
// What a sender hands to the library (ComposedMessage) and the builder that turns it
// into a part tree: "mixed" for attachments, "related" for inline items,
// "alternative" for more than one body, and a single body as the root when there are
// no containers.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mime/byte_stream.h"
#include "mime/header_list.h"
#include "mime/mime_message.h"
#include "mime/result.h"

namespace mime {

// Major media types of an attachment. Unspecified (0) is taken as "application".
enum class MajorType : int { kUnspecified = 0, kText = 1, kMessage = 2, kImage = 3, kAudio = 4, kVideo = 5, kApplication = 6 };
std::u16string_view MajorTypeName(MajorType type);

struct AttachmentSpec {
  MajorType major = MajorType::kApplication;
  std::u16string subtype = u"octet-stream";
  // The name the part carries; the file's own name when empty.
  std::u16string file_name;
  // The content: a file (opened when the message is built) or a stored stream.
  std::filesystem::path file;
  std::shared_ptr<const ByteSource> stream;
};

// One body alternative: text held as wide text in memory (its charset reads
// "utf-16"; it is written in the charset of the write).
struct BodyAlternative {
  std::u16string text;
  bool html = false;
  static constexpr std::u16string_view charset() { return u"utf-16"; }
};

struct ComposedMessage {
  std::vector<BodyAlternative> bodies;
  std::vector<AttachmentSpec> inline_items;
  std::vector<AttachmentSpec> attachments;
  // Only "X-Unsent", "X-Priority", "X-Confirm-Reading-To",
  // "Disposition-Notification-To" and "Return-Receipt-To" are carried over.
  std::vector<HeaderField> fields;
  std::vector<AddressHeader> address_headers;
  std::u16string subject;
};

// Builds the tree into `message` (replacing its root), initialises it as a new
// message (Date, Message-ID, MIME-Version), then copies the carried-over fields, the
// address headers and the subject. Returns kMimeErrorOpen when an attachment file
// cannot be opened (the message is then left without a root).
[[nodiscard]] MimeResult BuildMessage(const ComposedMessage& composed, MimeMessage* message);

}  // namespace mime
