#include "delivery/web_upload.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <vector>

#include "mime/message_builder.h"
#include "mime/message_parser.h"
#include "mime/note_message.h"
#include "platform/http_client_test_support.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/support/test_environment.h"

namespace delivery {
namespace {

using testing_support::HttpReceiver;
using testing_support::ScopedTestHome;

std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes + "\r\n--not-a-boundary\r\n" + bytes;
}

class WebUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    note_path_ = home_.root() / "Note 1.wav";
    testing_support::WriteFileBytes(note_path_, AllByteValues());
  }

  // A note message as the delivery job stores it, read back as the outbox gives it.
  std::unique_ptr<mime::MimeMessage> NoteMessage(std::u16string body_text, bool with_note = true) {
    mime::NoteMessageRequest request;
    request.from = u"Me <me@example.org>";
    request.to = u"Ann <ann@example.org>, bob@example.net";
    request.subject = u"Voice note \u00e9t\u00e9";
    request.body_text = std::move(body_text);
    if (with_note) request.attachments.push_back({note_path_, "audio/x-wav"});
    mime::MimeMessage built;
    EXPECT_EQ(mime::BuildMessage(mime::ComposeNoteMessage(request), &built), mime::kMimeOk);
    mime::StringSink wire;
    EXPECT_EQ(built.Write(wire, mime::NoteWriteOptions()), mime::kMimeOk);
    auto parsed = std::make_unique<mime::MimeMessage>();
    mime::ParseMessage(wire.Take(), parsed.get());
    return parsed;
  }

  void PointServiceAt(const std::string& url) {
    auto key = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kWebServiceKeyPath);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString(kWebServiceUrlValue, platform::Utf8ToUtf16(url)));
  }

  static std::string Boundary(const std::string& head) {
    std::smatch match;
    EXPECT_TRUE(std::regex_search(head, match, std::regex("Content-Type: multipart/form-data; boundary=(\\S+)\n")))
        << head;
    return match.size() > 1 ? match[1].str() : std::string();
  }

  static std::string Field(const std::string& boundary, const std::string& name, const std::string& value) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
  }

  ScopedTestHome home_;
  std::filesystem::path note_path_;
};

// The form as the service reads it: six fields in order, then the file part with
// the note's bytes unchanged, then the closing delimiter; the request line, agent
// and boundary header around it.
TEST_F(WebUploadTest, PostsEveryFieldAndTheNoteBytesToTheRegistryAddress) {
  HttpReceiver receiver;
  PointServiceAt(receiver.Url());
  auto message = NoteMessage(u"Listen to this.\r\nSecond line");
  EXPECT_EQ(UploadNote(*message, "user name", "pa\"ss"), 0);

  ASSERT_EQ(receiver.RequestCount(), 1);
  std::string head = receiver.Head(1);
  EXPECT_EQ(head.rfind("POST /private-bin/em_send.php HTTP/1.1\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("User-Agent: Dictalo\n"), std::string::npos) << head;
  std::string b = Boundary(head);
  EXPECT_TRUE(std::regex_match(b, std::regex("----------=_[0-9]{22,23}"))) << b;

  std::string expected = Field(b, "to", "Ann <ann@example.org>, bob@example.net") +
                         Field(b, "from", "Me <me@example.org>") + Field(b, "subject", "Voice note \xc3\xa9t\xc3\xa9") +
                         Field(b, "u", "user name") + Field(b, "p", "pa\"ss") +
                         Field(b, "msgtxt", "Listen to this.\r\nSecond line") + "--" + b +
                         "\r\nContent-Disposition: form-data; name=\"filename\"; filename=\"Note 1.wav\"\r\n"
                         "Content-Type: application/octet-stream\r\nContent-transfer-encoding: binary\r\n\r\n" +
                         AllByteValues() + "\r\n--" + b + "--";
  EXPECT_EQ(receiver.Body(1), expected);
}

// Without text part and attachment the fields are empty and the file part keeps
// its header with an empty name and no content.
TEST_F(WebUploadTest, NoteWithoutTextOrAttachmentSendsEmptyValues) {
  HttpReceiver receiver;
  PointServiceAt(receiver.Url());
  auto message = NoteMessage(u"", /*with_note=*/false);
  EXPECT_EQ(UploadNote(*message, "u", "p"), 0);
  ASSERT_EQ(receiver.RequestCount(), 1);
  std::string b = Boundary(receiver.Head(1));
  std::string body = receiver.Body(1);
  EXPECT_NE(body.find(Field(b, "msgtxt", "")), std::string::npos) << body;
  std::string tail = "--" + b +
                     "\r\nContent-Disposition: form-data; name=\"filename\"; filename=\"\"\r\n"
                     "Content-Type: application/octet-stream\r\nContent-transfer-encoding: binary\r\n\r\n\r\n--" +
                     b + "--";
  ASSERT_GE(body.size(), tail.size());
  EXPECT_EQ(body.substr(body.size() - tail.size()), tail);
}

// Only a 2xx answer can accept a note; "0" followed by a line break is an
// acceptance; a number is passed on; no answer is a failed request.
TEST_F(WebUploadTest, ServiceAnswersGiveTheirResults) {
  HttpReceiver receiver;
  PointServiceAt(receiver.Url());
  auto message = NoteMessage(u"text");
  struct Case {
    const char* status;
    const char* answer;
    int expected;
  } cases[] = {
      {"200", "0", 0},   {"200", "1", 1},     {"200", "", 0},   {"200", "0\n", 0},
      {"200", "0\r\n", 0}, {"500", "", kUploadBadAnswer}, {"500", "0", kUploadBadAnswer},
      {"404", "", kUploadBadAnswer}, {"302", "", kUploadBadAnswer}, {"drop", "", kUploadNoRequest},
  };
  for (const Case& c : cases) {
    receiver.SetReply(c.status, c.answer);
    EXPECT_EQ(UploadNote(*message, "u", "p"), c.expected) << c.status << " \"" << c.answer << "\"";
  }
  // Nobody listening: no request could be made.
  testing_support::RefusingPort nobody;
  WebUploadOptions nowhere;
  nowhere.url = "http://127.0.0.1:" + std::to_string(nobody.port()) + "/";
  EXPECT_EQ(UploadNote(*message, "u", "p", nowhere), kUploadNoRequest);
}

// A file name cannot break out of its quoted header value into form fields.
TEST(WebUploadBodyTest, FileNameStaysInsideItsHeader) {
  WebUploadForm form;
  form.to = "t";
  form.file_name = "a\"\r\nContent-Disposition: form-data; name=\"u\"\r\n\r\nmallory\n.wav";
  form.file_content = "DATA";
  std::string body = BuildWebUploadBody(form, "B");
  EXPECT_EQ(body,
            "--B\r\nContent-Disposition: form-data; name=\"to\"\r\n\r\nt\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"from\"\r\n\r\n\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"subject\"\r\n\r\n\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"u\"\r\n\r\n\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"p\"\r\n\r\n\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"msgtxt\"\r\n\r\n\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"filename\"; "
            "filename=\"a___Content-Disposition: form-data; name=_u_____mallory_.wav\"\r\n"
            "Content-Type: application/octet-stream\r\nContent-transfer-encoding: binary\r\n\r\nDATA\r\n--B--");
}

TEST(WebUploadAnswerTest, ConvertsTheAnswerText) {
  struct Case {
    std::string answer;
    int expected;
  } cases[] = {
      {"", 0},          {"0", 0},          {"1", 1},           {"0\n", 0},          {"0\r\n", 0},
      {"17 refused", 17}, {"-5\tx", -5},   {"+7", 7},          {" 3", 3},           {"   ", 0},
      {"0x", -2},       {"abc", -2},       {"-", -2},          {"1.5", -2},         {"2147483647", 2147483647},
      {"2147483648", -2}, {"-2147483648", -2147483647 - 1}, {"-2147483649", -2}, {"99999999999999999999", -2},
      {std::string("0\0junk", 6), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseWebUploadAnswer(c.answer), c.expected) << "\"" << c.answer << "\"";

  EXPECT_EQ(WebUploadResult(200, ""), 0);
  EXPECT_EQ(WebUploadResult(204, ""), 0);
  EXPECT_EQ(WebUploadResult(200, "4"), 4);
  EXPECT_EQ(WebUploadResult(0, ""), kUploadNoRequest);
  EXPECT_NE(WebUploadResult(500, ""), 0);
  EXPECT_NE(WebUploadResult(500, "0"), 0);
  EXPECT_NE(WebUploadResult(100, ""), 0);
}

// Each accepted note is handed back before the next is sent; the first refusal
// stops the run and the notes after it are not sent.
TEST_F(WebUploadTest, OneByOneReportsEachAcceptanceAndStopsAtTheFirstRefusal) {
  HttpReceiver receiver;
  PointServiceAt(receiver.Url());
  std::vector<std::unique_ptr<mime::MimeMessage>> notes;
  for (int i = 0; i < 3; ++i) notes.push_back(NoteMessage(u"note " + std::u16string(1, u'1' + i)));
  receiver.SetReply("200", "3", 2);

  std::size_t handed = 0;
  std::vector<const mime::MimeMessage*> accepted;
  int result = UploadNotesOneByOne(
      [&]() -> const mime::MimeMessage* { return handed < notes.size() ? notes[handed++].get() : nullptr; },
      [&](const mime::MimeMessage& note) {
        EXPECT_EQ(receiver.RequestCount(), static_cast<int>(accepted.size()) + 1);
        accepted.push_back(&note);
      },
      "u", "p");
  EXPECT_EQ(result, 3);
  EXPECT_THAT(accepted, ::testing::ElementsAre(notes[0].get()));
  EXPECT_EQ(receiver.RequestCount(), 2);
  EXPECT_NE(receiver.Body(2).find("note 2"), std::string::npos);

  handed = 0;
  accepted.clear();
  receiver.SetReply("200", "0", 5);
  EXPECT_EQ(UploadNotesOneByOne([&]() -> const mime::MimeMessage* { return handed < 3 ? notes[handed++].get() : nullptr; },
                                [&](const mime::MimeMessage& note) { accepted.push_back(&note); }, "u", "p"),
            0);
  EXPECT_EQ(accepted.size(), 3u);
}

// Uploads in one millisecond still carry different boundaries; without a
// registry address the maker's service is the target.
TEST_F(WebUploadTest, BoundariesDifferAndTheDefaultAddressIsTheService) {
  HttpReceiver receiver;
  PointServiceAt(receiver.Url());
  auto message = NoteMessage(u"x");
  EXPECT_EQ(UploadNote(*message, "u", "p"), 0);
  EXPECT_EQ(UploadNote(*message, "u", "p"), 0);
  EXPECT_NE(Boundary(receiver.Head(1)), Boundary(receiver.Head(2)));

  ASSERT_TRUE(platform::RegistryKey::DeleteKey(platform::RegistryRoot::CurrentUser, kWebServiceKeyPath));
  EXPECT_EQ(WebServiceUrl(), kDefaultWebServiceUrl);
  EXPECT_EQ(std::string(kDefaultWebServiceUrl).find(":80/private-bin/em_send.php"), std::string(kDefaultWebServiceUrl).size() - 27);
}

}  // namespace
}  // namespace delivery
