#pragma once
// The web upload: a note message posted to the maker's web mail service as an
// HTTP form, which the service then mails on. The service authenticates the user
// by the form fields "u" and "p".
//
// The service's address is HKCU "Software\Corvane\Dictalo" "WebServiceURL" when
// set (any http:// or https:// URL), else kDefaultWebServiceUrl.
//
// Results: 0 the service accepted the note; the service's number when it answered
// another one; kUploadNoRequest (-1) when no exchange took place (no connection,
// no answer, cancelled); kUploadBadAnswer (-2) when the answer is no number, does
// not fit in 32 bits, or came with an HTTP status other than 2xx. Callers treat
// every non-zero result alike: the note stays unsent.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "mime/mime_message.h"

namespace delivery {

inline constexpr char kDefaultWebServiceUrl[] = "http://webmail.corvane.com:80/private-bin/em_send.php";
inline constexpr char16_t kWebServiceKeyPath[] = u"Software\\Corvane\\Dictalo";
inline constexpr char16_t kWebServiceUrlValue[] = u"WebServiceURL";

inline constexpr int kUploadAccepted = 0;
inline constexpr int kUploadNoRequest = -1;
inline constexpr int kUploadBadAnswer = -2;

// The form's values, as bytes (UTF-8 from the message's wide text).
struct WebUploadForm {
  std::string to;
  std::string from;
  std::string subject;
  std::string user;
  std::string password;
  std::string message_text;  // "msgtxt"
  std::string file_name;     // empty when the message has no attachment
  std::string file_content;  // decoded bytes of the first attachment
};

// Reads the fields from a note message: the To and From lists as text, the
// subject, the text of the first "plain" text part, and the first attachment
// (the first part that is no container and no text body).
WebUploadForm WebUploadFormFromMessage(const mime::MimeMessage& message, std::string_view user,
                                       std::string_view password);

// The multipart/form-data body: the six text fields in the order to, from,
// subject, u, p, msgtxt, then the "filename" part, then the closing delimiter.
std::string BuildWebUploadBody(const WebUploadForm& form, std::string_view boundary);

// The service's answer text as a result: leading white space is skipped; an
// optional sign and decimal digits follow, ended by the end of the text, a blank,
// a tab or a line break; nothing at all reads as 0; anything else, or a number
// beyond 32 bits, is kUploadBadAnswer.
int ParseWebUploadAnswer(std::string_view answer);

// The exchange's HTTP status and answer as a result: only a 2xx status can carry
// an acceptance; status 0 (no answer) is kUploadNoRequest.
int WebUploadResult(long http_status, std::string_view answer);

struct WebUploadOptions {
  // Empty: the address from the registry, else the default.
  std::string url;
  std::chrono::milliseconds timeout{std::chrono::minutes(10)};
  // Polled during the exchange; true abandons it (kUploadNoRequest).
  std::function<bool()> cancelled;
  // https: a CA file to trust instead of the system's bundle.
  std::string ca_file;
};

// The service address in use: the registry's, else the default.
std::string WebServiceUrl();

// Posts one note. Blocks until the service has answered or the exchange failed.
[[nodiscard]] int UploadNote(const mime::MimeMessage& message, std::string_view user, std::string_view password,
                             const WebUploadOptions& options = {});

// Uploads notes one at a time, in the order `next` gives them (null: no more).
// `accepted` runs for each note the service accepted before the next is sent, so
// the caller can drop it from the outbox at once and a later refusal never makes
// it go out twice. Stops at the first result other than 0 and returns it; 0 when
// every note was accepted.
[[nodiscard]] int UploadNotesOneByOne(const std::function<const mime::MimeMessage*()>& next,
                                      const std::function<void(const mime::MimeMessage&)>& accepted,
                                      std::string_view user, std::string_view password,
                                      const WebUploadOptions& options = {});

}  // namespace delivery
