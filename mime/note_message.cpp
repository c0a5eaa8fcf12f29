#include "mime/note_message.h"

#include "mime/message_parser.h"
#include "mime/names.h"
#include "platform/text.h"

namespace mime {
namespace {

void AddAddresses(ComposedMessage* composed, std::u16string_view header, std::u16string_view list) {
  if (Trimmed(list).empty()) return;
  std::vector<AddressEntry> entries = ParseAddressList(platform::Utf16ToUtf8(list));
  if (!entries.empty()) composed->address_headers.push_back({std::u16string(header), std::move(entries)});
}

}  // namespace

void SplitContentType(std::string_view content_type, MajorType* major, std::u16string* subtype) {
  std::size_t slash = content_type.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == content_type.size()) {
    *major = MajorType::kApplication;
    *subtype = names::kOctetStream;
    return;
  }
  std::string name = platform::AsciiLower(content_type.substr(0, slash));
  *major = name == "text"      ? MajorType::kText
           : name == "message" ? MajorType::kMessage
           : name == "image"   ? MajorType::kImage
           : name == "audio"   ? MajorType::kAudio
           : name == "video"   ? MajorType::kVideo
                               : MajorType::kApplication;
  *subtype = platform::Utf8ToUtf16(content_type.substr(slash + 1));
}

ComposedMessage ComposeNoteMessage(const NoteMessageRequest& request) {
  ComposedMessage composed;
  AddAddresses(&composed, names::kFrom, request.from);
  AddAddresses(&composed, names::kTo, request.to);
  AddAddresses(&composed, names::kCc, request.cc);
  composed.subject = request.subject;
  if (!request.body_text.empty()) composed.bodies.push_back({request.body_text, false});
  for (const NoteAttachment& file : request.attachments) {
    AttachmentSpec attachment;
    SplitContentType(file.content_type, &attachment.major, &attachment.subtype);
    attachment.file = file.path;
    composed.attachments.push_back(std::move(attachment));
  }
  return composed;
}

WriteOptions NoteWriteOptions(std::string charset) {
  WriteOptions options;
  options.charset = std::move(charset);
  options.mode = HeaderEncodingMode::kShorterOfQAndB;
  return options;
}

}  // namespace mime
