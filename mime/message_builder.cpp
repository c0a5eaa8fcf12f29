#include "mime/message_builder.h"

#include <algorithm>

#include "mime/names.h"
#include "platform/text.h"

namespace mime {
namespace {

MimeResult AddItem(CElMultiPartPart* parent, const AttachmentSpec& item, std::u16string_view disposition) {
  CElMessagePart* part = parent->AddPart(MajorTypeName(item.major), item.subtype);
  part->SetDisposition(disposition);
  std::u16string name = item.file_name;
  if (!item.file.empty()) {
    MimeResult r = part->AttachFile(item.file);  // also names the part after the file
    if (r != kMimeOk) return r;
  } else {
    part->SetContent(item.stream ? item.stream : std::make_shared<MemorySource>(std::string()));
  }
  if (!name.empty() || item.file.empty()) part->SetFileName(name);
  return kMimeOk;
}

void AddBody(MimeMessage* message, CElMultiPartPart* parent, const BodyAlternative& body) {
  std::u16string_view sub = body.html ? names::kHtml : names::kPlain;
  if (parent) {
    parent->AddTextPart(body.text, sub);
  } else {
    auto* part = message->CreateRoot<CElPlainTextPart>();
    part->SetContentType(names::kText, sub);
    part->SetText(body.text);
  }
}

}  // namespace

std::u16string_view MajorTypeName(MajorType type) {
  switch (type) {
    case MajorType::kText: return names::kText;
    case MajorType::kMessage: return names::kMessage;
    case MajorType::kImage: return names::kImage;
    case MajorType::kAudio: return names::kAudio;
    case MajorType::kVideo: return names::kVideo;
    case MajorType::kApplication:
    case MajorType::kUnspecified: break;
  }
  return names::kApplication;
}

MimeResult BuildMessage(const ComposedMessage& composed, MimeMessage* message) {
  message->SetRoot(nullptr);
  CElMultiPartPart* mixed = nullptr;
  CElMultiPartPart* related = nullptr;
  CElMultiPartPart* innermost = nullptr;
  auto container = [&](std::u16string_view sub) {
    if (innermost) return innermost->AddMultiPart(sub);
    auto* root = message->CreateRoot<CElMultiPartPart>();
    root->SetContentType(names::kMultipart, sub);
    return root;
  };
  if (!composed.attachments.empty()) innermost = mixed = container(names::kMixed);
  if (!composed.inline_items.empty()) innermost = related = container(names::kRelated);
  if (composed.bodies.size() > 1) innermost = container(names::kAlternative);

  for (const BodyAlternative& body : composed.bodies) AddBody(message, innermost, body);
  if (!message->root()) AddBody(message, nullptr, BodyAlternative{});  // nothing at all: an empty text

  for (const AttachmentSpec& item : composed.inline_items) {
    if (MimeResult r = AddItem(related, item, names::kInline); r != kMimeOk) {
      message->SetRoot(nullptr);
      return r;
    }
  }
  for (const AttachmentSpec& item : composed.attachments) {
    if (MimeResult r = AddItem(mixed, item, names::kAttachment); r != kMimeOk) {
      message->SetRoot(nullptr);
      return r;
    }
  }

  message->InitializeNew();
  for (std::u16string_view name : names::kCarriedOverFields) {
    auto it = std::find_if(composed.fields.begin(), composed.fields.end(),
                           [&](const HeaderField& f) { return platform::EqualsIgnoreAsciiCase(f.name, name); });
    if (it != composed.fields.end()) message->headers().Replace(*it);
  }
  for (const AddressHeader& header : composed.address_headers) {
    for (const AddressEntry& entry : header.entries) {
      if (const auto* mailbox = std::get_if<Mailbox>(&entry)) {
        message->AddMailbox(header.name, *mailbox);
      } else {
        message->AddGroup(header.name, std::get<AddressGroup>(entry));
      }
    }
  }
  if (!composed.subject.empty()) message->SetSubject(composed.subject);
  return kMimeOk;
}

}  // namespace mime
