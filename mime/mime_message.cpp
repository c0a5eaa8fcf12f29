#include "mime/mime_message.h"

#include "mime/date_text.h"
#include "mime/message_ids.h"
#include "mime/names.h"
#include "platform/text.h"

namespace mime {

MimeMessage::MimeMessage() = default;
MimeMessage::~MimeMessage() = default;

void MimeMessage::SetRoot(std::unique_ptr<CElMessagePart> root) { root_ = std::move(root); }

CElMultiPartPart* MimeMessage::RootMultiPart() const {
  // A text part is a multipart part by class, but never a container.
  if (!root_ || dynamic_cast<CElPlainTextPart*>(root_.get())) return nullptr;
  return dynamic_cast<CElMultiPartPart*>(root_.get());
}

HeaderList& MimeMessage::headers() { return root_->headers(); }

void MimeMessage::InitializeNew() {
  SetDate(platform::Latin1ToUtf16(FormatDateText()));
  SetMessageId(platform::Latin1ToUtf16(NewMessageIdText()));
  headers().Replace(HeaderField{std::u16string(names::kMimeVersion), u"1.0", {}, {}, {}});
}

void MimeMessage::SetMessageId(std::u16string_view id) {
  std::u16string text = Trimmed(id);
  if (text.size() >= 2 && text.front() == u'<' && text.back() == u'>') text = text.substr(1, text.size() - 2);
  headers().Replace(HeaderField{std::u16string(names::kMessageId), u"<" + text + u">", {}, {}, {}});
}

std::u16string MimeMessage::GetMessageId() const {
  const HeaderField* f = root_ ? root_->headers().Find(names::kMessageId) : nullptr;
  if (!f) return {};
  std::u16string value = Trimmed(f->rawValue.empty() ? f->value : f->rawValue);
  if (value.size() >= 2 && value.front() == u'<' && value.back() == u'>' &&
      value.find_first_of(u"<>", 1) == value.size() - 1) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

void MimeMessage::SetSubject(std::u16string_view subject) {
  headers().Replace(HeaderField{std::u16string(names::kSubject), std::u16string(subject), {}, {}, {}});
}

std::u16string MimeMessage::GetSubject() const {
  const HeaderField* f = root_ ? root_->headers().Find(names::kSubject) : nullptr;
  return f ? f->rawValue : std::u16string();
}

void MimeMessage::SetDate(std::u16string_view date_text) {
  headers().Replace(HeaderField{std::u16string(names::kDate), std::u16string(date_text), {}, {}, {}});
}

void MimeMessage::AddMailbox(std::u16string_view header_name, Mailbox mailbox) {
  headers().AddMailbox(header_name, std::move(mailbox));
}

void MimeMessage::AddGroup(std::u16string_view header_name, AddressGroup group) {
  headers().AddGroup(header_name, std::move(group));
}

MimeResult MimeMessage::Write(ByteSink& out, const WriteOptions& options) {
  if (!root_) return kMimeOk;
  return root_->Write(out, options);
}

MimeResult MimeMessage::Save(const WriteOptions& options) {
  auto store = std::make_shared<StoredStream>();
  WriteOptions commit = options;
  commit.commit = true;
  MimeResult r = root_ ? root_->Write(*store, commit) : kMimeOk;
  stored_ = std::move(store);
  return r;
}

}  // namespace mime
