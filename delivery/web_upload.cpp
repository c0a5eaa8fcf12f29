#include "delivery/web_upload.h"

#include <cstdint>
#include <limits>
#include <variant>

#include "mime/message_ids.h"
#include "mime/names.h"
#include "platform/http_client.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace delivery {
namespace {

constexpr char kAgentName[] = "Dictalo";
// The service's answer is a short number; more is never read.
constexpr std::size_t kAnswerLimit = 256;

std::u16string MailboxText(const mime::Mailbox& mailbox) {
  if (mailbox.displayName.empty()) return mailbox.address;
  return mailbox.displayName + u" <" + mailbox.address + u">";
}

std::string AddressListText(const mime::MimeMessage& message, std::u16string_view header_name) {
  const mime::CElMessagePart* root = message.root();
  if (!root) return {};
  const mime::AddressHeader* header = root->headers().FindAddressHeader(header_name);
  if (!header) return {};
  std::u16string text;
  for (const mime::AddressEntry& entry : header->entries) {
    if (!text.empty()) text += u", ";
    if (const auto* mailbox = std::get_if<mime::Mailbox>(&entry)) {
      text += MailboxText(*mailbox);
      continue;
    }
    const auto& group = std::get<mime::AddressGroup>(entry);
    text += group.displayName + u":";
    for (std::size_t i = 0; i < group.mailboxes.size(); ++i) {
      text += (i ? u", " : u" ") + MailboxText(group.mailboxes[i]);
    }
    text += u";";
  }
  return platform::Utf16ToUtf8(text);
}

struct Found {
  const mime::CElPlainTextPart* plain = nullptr;
  const mime::CElMessagePart* attachment = nullptr;
};

void FindParts(const mime::CElMessagePart* part, Found* found) {
  if (!part) return;
  if (const auto* text = dynamic_cast<const mime::CElPlainTextPart*>(part)) {
    if (!found->plain && platform::EqualsIgnoreAsciiCase(text->SubType(), mime::names::kPlain)) found->plain = text;
    return;
  }
  if (const auto* multi = dynamic_cast<const mime::CElMultiPartPart*>(part)) {
    for (const auto& child : multi->children()) FindParts(child.get(), found);
    return;
  }
  if (!found->attachment) found->attachment = part;
}

void AppendField(std::string* body, std::string_view boundary, std::string_view name, std::string_view value) {
  body->append("--").append(boundary).append("\r\n");
  body->append("Content-Disposition: form-data; name=\"").append(name).append("\"\r\n\r\n");
  body->append(value).append("\r\n");
}

// The name stands in a quoted header value: a quote or line break in it would
// end the value or the header and let the name write form fields of its own.
std::string QuotableFileName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '"' || c == '\r' || c == '\n') c = '_';
  }
  return out;
}

bool IsAnswerEnd(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

WebUploadForm WebUploadFormFromMessage(const mime::MimeMessage& message, std::string_view user,
                                       std::string_view password) {
  WebUploadForm form;
  form.to = AddressListText(message, mime::names::kTo);
  form.from = AddressListText(message, mime::names::kFrom);
  form.subject = platform::Utf16ToUtf8(message.root() ? message.GetSubject()
                                                      : std::u16string());
  form.user = user;
  form.password = password;
  Found found;
  FindParts(message.root(), &found);
  if (found.plain) {
    std::u16string text;
    if (found.plain->GetText(&text) == mime::kMimeOk) form.message_text = platform::Utf16ToUtf8(text);
  }
  if (found.attachment) {
    form.file_name = platform::Utf16ToUtf8(found.attachment->GetFileName());
    std::string content;
    if (found.attachment->ReadContent(&content) == mime::kMimeOk) form.file_content = std::move(content);
  }
  return form;
}

std::string BuildWebUploadBody(const WebUploadForm& form, std::string_view boundary) {
  std::string body;
  body.reserve(form.file_content.size() + 1024);
  AppendField(&body, boundary, "to", form.to);
  AppendField(&body, boundary, "from", form.from);
  AppendField(&body, boundary, "subject", form.subject);
  AppendField(&body, boundary, "u", form.user);
  AppendField(&body, boundary, "p", form.password);
  AppendField(&body, boundary, "msgtxt", form.message_text);
  body.append("--").append(boundary).append("\r\n");
  body.append("Content-Disposition: form-data; name=\"filename\"; filename=\"").append(QuotableFileName(form.file_name));
  body.append("\"\r\nContent-Type: application/octet-stream\r\nContent-transfer-encoding: binary\r\n\r\n");
  body.append(form.file_content);
  body.append("\r\n--").append(boundary).append("--");
  return body;
}

int ParseWebUploadAnswer(std::string_view answer) {
  std::size_t i = 0;
  while (i < answer.size() && IsAnswerEnd(answer[i]) && answer[i] != '\0') ++i;
  const std::size_t number_start = i;
  bool negative = false;
  if (i < answer.size() && (answer[i] == '+' || answer[i] == '-')) negative = answer[i++] == '-';
  std::int64_t value = 0;
  std::size_t digits = 0;
  for (; i < answer.size() && answer[i] >= '0' && answer[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (answer[i] - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return kUploadBadAnswer;
  }
  // Without digits nothing was read: the text must end right where it started.
  if (digits == 0) i = number_start;
  if (i < answer.size() && !IsAnswerEnd(answer[i])) return kUploadBadAnswer;
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return kUploadBadAnswer;
  return static_cast<int>(value);
}

int WebUploadResult(long http_status, std::string_view answer) {
  if (http_status == 0) return kUploadNoRequest;
  // An error page, empty or not, is no acceptance.
  if (http_status < 200 || http_status > 299) return kUploadBadAnswer;
  return ParseWebUploadAnswer(answer);
}

std::string WebServiceUrl() {
  if (auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kWebServiceKeyPath)) {
    if (auto url = key->ReadString(kWebServiceUrlValue); url && !url->empty()) return platform::Utf16ToUtf8(*url);
  }
  return kDefaultWebServiceUrl;
}

int UploadNote(const mime::MimeMessage& message, std::string_view user, std::string_view password,
               const WebUploadOptions& options) {
  const std::string boundary = mime::NewBoundary();
  platform::HttpRequest request;
  request.url = options.url.empty() ? WebServiceUrl() : options.url;
  request.user_agent = kAgentName;
  request.headers = {"Content-Type: multipart/form-data; boundary=" + boundary, "Accept: text/*",
                     "Pragma: no-cache", "Cache-Control: no-cache"};
  request.body = BuildWebUploadBody(WebUploadFormFromMessage(message, user, password), boundary);
  request.timeout = options.timeout;
  request.cancelled = options.cancelled;
  request.ca_file = options.ca_file;
  request.max_answer = kAnswerLimit;
  platform::HttpResponse response = platform::HttpPost(request);
  return WebUploadResult(response.status, response.body);
}

int UploadNotesOneByOne(const std::function<const mime::MimeMessage*()>& next,
                        const std::function<void(const mime::MimeMessage&)>& accepted, std::string_view user,
                        std::string_view password, const WebUploadOptions& options) {
  while (const mime::MimeMessage* message = next()) {
    int result = UploadNote(*message, user, password, options);
    if (result != kUploadAccepted) return result;
    accepted(*message);
  }
  return kUploadAccepted;
}

}  // namespace delivery
