#pragma once
// The message that carries a recorded note: From, To (and Cc), the subject, a text
// part when there is body text, and each note file as an attachment under its own
// name with its content type. The delivery job and `dictaloctl compose` both build
// it here, so what the command prints is what the delivery stores and sends.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "mime/message_builder.h"
#include "mime/message_part.h"

namespace mime {

struct NoteAttachment {
  std::filesystem::path path;
  // "audio/x-wav"; empty means "application/octet-stream".
  std::string content_type;
};

struct NoteMessageRequest {
  // Address lists as text: "a@x.org", "Ann <a@x.org>, b@x.org".
  std::u16string from;
  std::u16string to;
  std::u16string cc;
  std::u16string subject;
  std::u16string body_text;  // no text part when empty
  std::vector<NoteAttachment> attachments;
};

// A content type text as the message model takes it: the text up to the first "/"
// is the major type, matched without case against "text", "message", "image",
// "audio" and "video" (anything else is "application"); the rest is the subtype.
// An empty or slash-less text gives "application" / "octet-stream".
void SplitContentType(std::string_view content_type, MajorType* major, std::u16string* subtype);

ComposedMessage ComposeNoteMessage(const NoteMessageRequest& request);

// How note messages are written: the charset of text and encoded words, encoded
// words where needed, and the transfer encodings left to the content.
WriteOptions NoteWriteOptions(std::string charset = "utf-8");

}  // namespace mime
