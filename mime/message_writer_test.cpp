#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "mime/base64.h"
#include "mime/header_writer.h"
#include "mime/message_builder.h"
#include "mime/message_ids.h"
#include "mime/message_parser.h"
#include "mime/mime_message.h"
#include "mime/names.h"
#include "tests/support/test_environment.h"

namespace mime {
namespace {

const std::string kBoundary = "----------=_2026120709050301231234";

std::string WriteMessage(MimeMessage& message, WriteOptions options = {"utf-8", {}, {}, {}, false}) {
  StringSink sink;
  EXPECT_EQ(message.Write(sink, options), kMimeOk);
  return sink.Take();
}

std::string WritePart(CElMessagePart& part, WriteOptions options = {"utf-8", {}, {}, {}, false}) {
  StringSink sink;
  EXPECT_EQ(part.Write(sink, options), kMimeOk);
  return sink.Take();
}

std::string Header(const std::string& wire, const std::string& name) {
  std::size_t at = wire.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "(none)";
  at += 2 + name.size() + 2;
  return wire.substr(at, wire.find("\r\n", at) - at);
}

// The voice note: a text body and an audio attachment, in its exact wire form.
TEST(MessageWriter, NoteMessageWireForm) {
  std::string audio(60, '\0');
  for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<char>(i * 7);
  ComposedMessage composed;
  composed.bodies.push_back({u"Listen to this.", false});
  composed.attachments.push_back(
      {MajorType::kAudio, u"x-wav", u"note.wav", {}, std::make_shared<MemorySource>(audio)});
  composed.address_headers.push_back({u"From", {Mailbox{{}, u"me@example.org"}}});
  composed.address_headers.push_back({u"To", {Mailbox{{}, u"you@example.org"}}});
  composed.subject = u"Voice note";
  MimeMessage message;
  ASSERT_EQ(BuildMessage(composed, &message), kMimeOk);
  message.SetDate(u"Mon, 7 Dec 2026 09:05:03 +0100");
  message.SetMessageId(u"202612070905030123@12340042");
  message.headers().Find(names::kContentType)->SetParam(names::kBoundary, u"\"" + std::u16string(kBoundary.begin(), kBoundary.end()) + u"\"");

  const std::string b64 = Base64Encode(audio, 76);
  ASSERT_EQ(b64.size(), 76u + 2 + 4);
  const std::string expected =
      "From: me@example.org\r\n"
      "To: you@example.org\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"\r\n"
      "Date: Mon, 7 Dec 2026 09:05:03 +0100\r\n"
      "Message-ID: <202612070905030123@12340042>\r\n"
      "Subject: Voice note\r\n"
      "\r\n"
      "This is a multi-part message in MIME format.\r\n"
      "--" + kBoundary + "\r\n"
      "Content-Type: text/plain; charset=utf-8\r\n"
      "Content-Transfer-Encoding: 7bit\r\n"
      "\r\n"
      "Listen to this.\r\n"
      "--" + kBoundary + "\r\n"
      "Content-Type: audio/x-wav\r\n"
      "Content-Disposition: attachment; filename=\"note.wav\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "\r\n" + b64 + "\r\n"
      "--" + kBoundary + "--\r\n";
  EXPECT_EQ(WriteMessage(message), expected);
  // Written twice, the boundary and everything else stay.
  EXPECT_EQ(WriteMessage(message), expected);
}

TEST(MessageWriter, NewMessageFieldsAndGeneratedBoundaryAreKeptAcrossWrites) {
  ComposedMessage composed;
  composed.attachments.push_back({MajorType::kApplication, u"pdf", u"a.pdf", {}, std::make_shared<MemorySource>("%PDF")});
  MimeMessage message;
  ASSERT_EQ(BuildMessage(composed, &message), kMimeOk);
  const std::string first = WriteMessage(message);
  EXPECT_EQ(first, WriteMessage(message));
  std::string ct = Header(first, "Content-Type");
  EXPECT_NE(first.find("Content-Type: multipart/mixed;"), std::string::npos);
  EXPECT_NE(first.find("boundary=\"----------=_"), std::string::npos) << first;
  EXPECT_EQ(first.rfind("MIME-Version: 1.0\r\n", 0), 0u);
  EXPECT_TRUE(message.GetMessageId().find(u'@') != std::u16string::npos);
  EXPECT_NE(Header(first, "Date"), "(none)");
  // Field order: Content-Type (made with the root), then Date and Message-ID.
  EXPECT_LT(first.find("Content-Type:"), first.find("Date:"));
  EXPECT_LT(first.find("Date:"), first.find("Message-ID:"));
}

// A nested container never shares a delimiter with one around it, not even
// when the enclosing boundary is a prefix of every boundary drawn.
TEST(MessageWriter, NestedBoundariesNeverMatchEnclosingOnes) {
  ComposedMessage composed;
  composed.bodies.push_back({u"plain", false});
  composed.bodies.push_back({u"<p>html</p>", true});
  composed.inline_items.push_back({MajorType::kImage, u"png", u"logo.png", {}, std::make_shared<MemorySource>("PNG")});
  composed.attachments.push_back({MajorType::kApplication, u"pdf", u"a.pdf", {}, std::make_shared<MemorySource>("%PDF")});
  MimeMessage message;
  ASSERT_EQ(BuildMessage(composed, &message), kMimeOk);
  message.RootMultiPart()->headers().Find(names::kContentType)->SetParam(names::kBoundary, u"\"----------=_\"");
  const std::string wire = WriteMessage(message);

  MimeMessage back;
  ParseMessage(wire, &back);
  auto* mixed = back.RootMultiPart();
  ASSERT_NE(mixed, nullptr);
  ASSERT_EQ(mixed->children().size(), 2u) << wire;
  auto* related = dynamic_cast<CElMultiPartPart*>(mixed->children()[0].get());
  ASSERT_NE(related, nullptr);
  ASSERT_EQ(related->children().size(), 2u) << wire;
  auto* alternative = dynamic_cast<CElMultiPartPart*>(related->children()[0].get());
  ASSERT_NE(alternative, nullptr);
  EXPECT_EQ(alternative->children().size(), 2u) << wire;
  const std::u16string outer = mixed->Boundary();
  for (const std::u16string& inner : {related->Boundary(), alternative->Boundary()}) {
    EXPECT_NE(inner.rfind(outer, 0), 0u) << wire;
  }
  EXPECT_NE(alternative->Boundary().rfind(related->Boundary(), 0), 0u);
  EXPECT_NE(related->Boundary().rfind(alternative->Boundary(), 0), 0u);
}

TEST(MessageWriter, SingleBodyIsTheRootWithoutPreambleOrBoundary) {
  ComposedMessage composed;
  composed.bodies.push_back({u"Hello", false});
  MimeMessage message;
  ASSERT_EQ(BuildMessage(composed, &message), kMimeOk);
  EXPECT_EQ(message.root()->ClassName(), u"CElPlainTextPart");
  std::string wire = WriteMessage(message);
  EXPECT_EQ(wire.find("This is a multi-part"), std::string::npos);
  EXPECT_EQ(wire.find("--"), std::string::npos);
  EXPECT_EQ(Header(wire, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_TRUE(wire.ends_with("\r\n\r\nHello"));
}

TEST(MessageWriter, BuilderNestsMixedRelatedAlternative) {
  ComposedMessage composed;
  composed.bodies.push_back({u"plain", false});
  composed.bodies.push_back({u"<p>html</p>", true});
  composed.inline_items.push_back({MajorType::kImage, u"png", u"logo.png", {}, std::make_shared<MemorySource>("PNG")});
  composed.attachments.push_back({MajorType::kUnspecified, u"octet-stream", u"x.bin", {}, nullptr});
  composed.fields.push_back({u"X-Priority", u"1 (highest)", {}, {}, {}});
  composed.fields.push_back({u"X-Other", u"dropped", {}, {}, {}});
  MimeMessage message;
  ASSERT_EQ(BuildMessage(composed, &message), kMimeOk);
  auto* mixed = message.RootMultiPart();
  ASSERT_NE(mixed, nullptr);
  EXPECT_EQ(mixed->SubType(), u"mixed");
  ASSERT_EQ(mixed->children().size(), 2u);
  auto* related = dynamic_cast<CElMultiPartPart*>(mixed->children()[0].get());
  ASSERT_NE(related, nullptr);
  EXPECT_EQ(related->SubType(), u"related");
  ASSERT_EQ(related->children().size(), 2u);
  auto* alternative = dynamic_cast<CElMultiPartPart*>(related->children()[0].get());
  EXPECT_EQ(alternative->SubType(), u"alternative");
  ASSERT_EQ(alternative->children().size(), 2u);
  EXPECT_EQ(alternative->children()[1]->SubType(), u"html");
  EXPECT_EQ(related->children()[1]->headers().Find(u"content-disposition")->value, u"inline");
  EXPECT_EQ(related->children()[1]->GetFileName(), u"logo.png");
  EXPECT_EQ(mixed->children()[1]->MajorType(), u"application");
  EXPECT_NE(message.headers().Find(u"X-Priority"), nullptr);
  EXPECT_EQ(message.headers().Find(u"X-Other"), nullptr);
}

TEST(MessageWriter, HeaderNamesAreCutTo70AndLongNamesFoldBeforeTheValue) {
  HeaderField long_name{std::u16string(80, u'X'), u"v", {}, {}, {}};
  EXPECT_EQ(HeaderFieldText(long_name, "utf-8", HeaderEncodingMode::kShorterOfQAndB),
            std::string(70, 'X') + ": \r\n v\r\n");
  HeaderField just_under{std::u16string(69, u'Y'), u"v", {}, {}, {}};
  EXPECT_EQ(HeaderFieldText(just_under, "utf-8", HeaderEncodingMode::kShorterOfQAndB), std::string(69, 'Y') + ": v\r\n");
  HeaderField masked{u"X-\u00e9", u"v", {}, {}, {}};
  EXPECT_EQ(HeaderFieldText(masked, "utf-8", HeaderEncodingMode::kShorterOfQAndB), "X-i: v\r\n");
  HeaderField structured{u"Content-Type", {}, u"text/plain", u"a note", {{u"charset", u"utf-8"}, {u"name", u"\"a b\""}}};
  EXPECT_EQ(HeaderFieldText(structured, "utf-8", HeaderEncodingMode::kShorterOfQAndB),
            "Content-Type: text/plain (a note); charset=utf-8; name=\"a b\"\r\n");
}

TEST(MessageWriter, AddressHeaders) {
  MimeResult error = kMimeOk;
  auto text = [&](AddressHeader h) { return AddressHeaderText(h, "utf-8", HeaderEncodingMode::kShorterOfQAndB, &error); };
  EXPECT_EQ(text({u"To", {Mailbox{u"Ann", u"a@x.org"}, Mailbox{{}, u"b@x.org"}}}), "To: Ann <a@x.org>, b@x.org\r\n");
  EXPECT_EQ(text({u"To", {Mailbox{u"\"Doe, John\"", u"j@x.org"}}}), "To: \"Doe, John\" <j@x.org>\r\n");
  EXPECT_EQ(text({u"To", {AddressGroup{u"Team", {Mailbox{{}, u"a@x.org"}, Mailbox{{}, u"c@x.org"}}}, Mailbox{{}, u"d@x.org"}}}),
            "To: Team: a@x.org, c@x.org;, d@x.org\r\n");
  EXPECT_EQ(text({u"From", {Mailbox{u"J\u00fcrgen", u"j@x.org"}}}), "From: =?utf-8?Q?J=C3=BCrgen?= <j@x.org>\r\n");
  EXPECT_EQ(error, kMimeOk);
  // Past 73 with the name the line folds before it; past 74 with the address, before the address.
  std::u16string name60(60, u'n');
  EXPECT_EQ(text({u"To", {Mailbox{name60, u"someone@example.org"}}}),
            "To: " + std::string(60, 'n') + "\r\n <someone@example.org>\r\n");
  EXPECT_EQ(text({u"To", {Mailbox{std::u16string(70, u'n'), u"a@x.org"}}}),
            "To:\r\n " + std::string(70, 'n') + "\r\n <a@x.org>\r\n");
  EXPECT_EQ(text({u"To", {Mailbox{{}, u"a@x.org"}, Mailbox{std::u16string(70, u'm'), u"b@x.org"}}}),
            "To: a@x.org,\r\n " + std::string(70, 'm') + "\r\n <b@x.org>\r\n");
  // A mailbox without an address is left out and reported; the rest is written.
  EXPECT_EQ(text({u"Cc", {Mailbox{u"Nobody", {}}, Mailbox{{}, u"c@x.org"}}}), "Cc: c@x.org\r\n");
  EXPECT_EQ(error, kMimeErrorNoAddress);

  MimeMessage message;
  message.CreateRoot<CElPlainTextPart>()->SetText(u"x");
  message.AddMailbox(u"To", Mailbox{u"Nobody", {}});
  StringSink sink;
  EXPECT_EQ(message.Write(sink, {}), kMimeErrorNoAddress);
  EXPECT_NE(sink.data().find("\r\n\r\nx"), std::string::npos);
}

TEST(MessageWriter, TransferEncodingFollowsPreferenceOrContent) {
  struct Case {
    std::string body;
    std::u16string major, sub;
    std::string text_pref, other_pref;
    std::string expected;
  };
  const std::string random = [] {
    std::string s;
    for (int i = 0; i < 3000; ++i) s.push_back(static_cast<char>((i * 7919) % 251));
    return s;
  }();
  const Case cases[] = {
      {"line one\nline two\n", u"text", u"plain", "", "", "base64"},   // bare LF
      {"line one\r\nline two\r\n", u"text", u"plain", "", "", "7bit"},
      {"lone\rCR", u"text", u"plain", "", "", "base64"},
      {std::string(999, 'a'), u"text", u"plain", "", "", "base64"},     // longer than SMTP carries
      {random, u"application", u"octet-stream", "", "", "base64"},
      {"Voil\xC3\xA0 un texte fran\xC3\xA7" "ais, avec quelques accents.", u"text", u"plain", "", "", "quoted-printable"},
      {"plain ascii", u"text", u"plain", "QUOTED-PRINTABLE", "", "quoted-printable"},
      {"plain ascii", u"text", u"csv", "quoted-printable", "", "7bit"},  // the other preference applies
      {"plain ascii", u"text", u"csv", "", "base64", "base64"},
      {"x", u"audio", u"x-wav", "", "Binary", "Binary"},
      {"x", u"message", u"rfc822", "8BIT", "", "8bit"},
      {"x", u"image", u"png", "", "x-unknown", "7bit"},
  };
  for (const auto& c : cases) {
    MimeMessage message;
    auto* part = message.CreateRoot<CElMessagePart>();
    part->SetContentType(c.major, c.sub);
    part->headers().Add({u"Content-Transfer-Encoding", u"8bit", {}, {}, {}});
    part->SetContent(std::make_shared<MemorySource>(c.body));
    std::string wire = WritePart(*part, {"utf-8", {}, c.text_pref, c.other_pref, false});
    EXPECT_EQ(Header("\r\n" + wire, "Content-Transfer-Encoding"), c.expected) << c.body.substr(0, 20);
    EXPECT_EQ(wire.find("Content-Transfer-Encoding"), wire.rfind("Content-Transfer-Encoding"));
    std::string decoded;
    ASSERT_EQ(part->ReadContent(&decoded), kMimeOk);
    EXPECT_EQ(decoded, c.body);
  }
}

TEST(MessageWriter, TextIsWrittenInTheCharsetOfTheWrite) {
  struct Case {
    std::string charset;
    std::string label;
    std::string body;
  };
  const Case cases[] = {
      {"", "us-ascii", "Gr??e"}, {"iso-8859-1", "iso-8859-1", "Gr=FC=DFe"}, {"x-bogus", "utf-8", "Gr=C3=BC=C3=9Fe"}};
  for (const auto& c : cases) {
    MimeMessage message;
    auto* part = message.CreateRoot<CElPlainTextPart>();
    part->SetText(u"Gr\u00fc\u00dfe");
    std::string wire = WritePart(*part, {c.charset, {}, "quoted-printable", {}, false});
    EXPECT_EQ(Header("\r\n" + wire, "Content-Type"), "text/plain; charset=" + c.label);
    // Characters us-ascii cannot hold become "?", which quoted-printable
    // writes as it is.
    EXPECT_TRUE(wire.ends_with("\r\n\r\n" + c.body)) << wire;
  }
}

TEST(MessageWriter, MessageIdBracketsAndGeneration) {
  MimeMessage message;
  message.CreateRoot<CElMultiPartPart>();
  message.SetMessageId(u"<abc@x>");
  EXPECT_EQ(message.headers().Find(u"message-id")->rawValue, u"<abc@x>");
  EXPECT_EQ(message.GetMessageId(), u"abc@x");
  message.SetMessageId(u"abc@x");
  EXPECT_EQ(message.headers().Find(u"Message-ID")->rawValue, u"<abc@x>");
  message.headers().Find(u"Message-ID")->rawValue = u"<a<b>";
  EXPECT_EQ(message.GetMessageId(), u"<a<b>");

  platform::SystemTime t;
  t.year = 2026, t.month = 12, t.day = 7, t.hour = 9, t.minute = 5, t.second = 3, t.milliseconds = 123;
  EXPECT_EQ(FormatMessageIdText(t, 42, 1234), "20261207090503" "0123@12340042");
  EXPECT_EQ(FormatMessageIdText(t, 32767, 7), "20261207090503" "0123@000732767");
  EXPECT_EQ(FormatBoundary(t, 99), "----------=_20261207090503" "01230099");
  // The second number drawn comes first after "@".
  (void)DrawRandom();
  std::srand(7);
  unsigned r1 = std::rand() & 0x7FFF, r2 = std::rand() & 0x7FFF;
  std::srand(7);
  std::string id = NewMessageIdText();
  char tail[16];
  std::snprintf(tail, sizeof tail, "@%04u%04u", r2, r1);
  EXPECT_TRUE(id.ends_with(tail)) << id;
}

TEST(MessageWriter, FileNameAndDisposition) {
  MimeMessage message;
  auto* root = message.CreateRoot<CElMultiPartPart>();
  auto* part = root->AddPart(u"audio", u"ogg");
  part->SetFileName(u"  note 1.ogg ");
  EXPECT_EQ(HeaderFieldText(*part->headers().Find(u"Content-Disposition"), "utf-8", {}),
            "Content-Disposition: attachment; filename=\"note 1.ogg\"\r\n");
  EXPECT_EQ(part->GetFileName(), u"note 1.ogg");
  part->SetDisposition(u"inline");
  part->SetFileName(u"b\"c.ogg");
  EXPECT_EQ(HeaderFieldText(*part->headers().Find(u"Content-Disposition"), "utf-8", {}),
            "Content-Disposition: inline; filename=\"b\\\"c.ogg\"\r\n");
  EXPECT_EQ(part->headers().Find(u"Content-Type")->FindParam(u"name"), nullptr);

  auto* other = root->AddPart(u"image", u"png");
  other->headers().Find(u"Content-Type")->SetParam(u"name", u"\"pic.png\"");
  EXPECT_EQ(other->GetFileName(), u"pic.png");
  auto* third = root->AddPart(u"image", u"png");
  third->headers().Add({u"Content-Description", u"A picture", {}, {}, {}});
  EXPECT_EQ(third->GetFileName(), u"A picture");
}

// A non-ASCII file name also travels as RFC 2231 "filename*" in UTF-8, in
// sections when it is long; the message still reads back with the same name.
TEST(MessageWriter, NonAsciiFileNameAlsoAsExtendedParameter) {
  MimeMessage message;
  auto* root = message.CreateRoot<CElMultiPartPart>();
  auto* part = root->AddPart(u"audio", u"ogg");
  part->SetFileName(u"Notiz f\u00fcr Jos\u00e9 \u20ac.ogg");
  const std::string text = HeaderFieldText(*part->headers().Find(u"Content-Disposition"), "utf-8", {});
  EXPECT_NE(text.find("filename*=utf-8''Notiz%20f%C3%BCr%20Jos%C3%A9%20%E2%82%AC.ogg\r\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("filename=\"Notiz =?utf-8?"), std::string::npos) << text;

  auto* plain = root->AddPart(u"audio", u"ogg");
  plain->SetFileName(u"note.ogg");
  EXPECT_EQ(HeaderFieldText(*plain->headers().Find(u"Content-Disposition"), "utf-8", {}),
            "Content-Disposition: attachment; filename=\"note.ogg\"\r\n");

  auto* longer = root->AddPart(u"audio", u"ogg");
  std::u16string long_name;
  for (int i = 0; i < 40; ++i) long_name += u"\u00e4\u00f6";
  long_name += u".ogg";
  longer->SetFileName(long_name);
  const std::string sections = HeaderFieldText(*longer->headers().Find(u"Content-Disposition"), "utf-8", {});
  EXPECT_NE(sections.find("filename*0*=utf-8''%C3%A4"), std::string::npos) << sections;
  EXPECT_NE(sections.find("filename*1*="), std::string::npos) << sections;
  EXPECT_EQ(sections.find("filename*="), std::string::npos) << sections;
  std::size_t from = 0;
  for (std::size_t at; (at = sections.find("\r\n", from)) != std::string::npos; from = at + 2) {
    EXPECT_LE(at - from, 78u) << sections;
  }

  message.SetMessageId(u"x@y");
  const std::string wire = WriteMessage(message);
  MimeMessage read;
  ParseMessage(wire, &read);
  auto* read_root = dynamic_cast<CElMultiPartPart*>(read.root());
  ASSERT_NE(read_root, nullptr);
  ASSERT_EQ(read_root->children().size(), 3u);
  EXPECT_EQ(read_root->children()[0]->GetFileName(), u"Notiz f\u00fcr Jos\u00e9 \u20ac.ogg");
  EXPECT_EQ(read_root->children()[2]->GetFileName(), long_name);
}

// Control characters in a subject, a display name or a file name never
// reach the wire: no header line of the message is forged.
TEST(MessageWriter, ControlCharactersCannotForgeHeaderLines) {
  ComposedMessage composed;
  composed.bodies.push_back({u"body", false});
  composed.attachments.push_back({MajorType::kAudio, u"ogg", u"a\r\nX-Forged: 1.ogg", {},
                                  std::make_shared<MemorySource>(std::string("data"))});
  composed.address_headers.push_back(
      {u"From", {Mailbox{u"Eve\r\nX-Forged: 2", u"eve@example.org\r\nX-Forged: 3"}}});
  composed.subject = std::u16string(u"Hi\r\nX-Forged: 4\n\0", 17);
  MimeMessage message;
  ASSERT_EQ(BuildMessage(composed, &message), kMimeOk);
  const std::string wire = WriteMessage(message);
  EXPECT_EQ(wire.find("\nX-Forged"), std::string::npos) << wire;
  EXPECT_EQ(wire.find('\0'), std::string::npos);
  for (std::size_t at = 0; (at = wire.find('\n', at)) != std::string::npos; ++at) {
    ASSERT_GT(at, 0u);
    EXPECT_EQ(wire[at - 1], '\r') << "bare LF at " << at;
  }
}

// After the commit every leaf refers to its encoded body in the stored stream, and a
// later write copies those bytes unchanged.
TEST(MessageWriter, CommitWriteLetsPartsReferToTheirStoredBodies) {
  ComposedMessage composed;
  composed.bodies.push_back({u"Body \u00e9", false});
  composed.attachments.push_back({MajorType::kAudio, u"ogg", u"n.ogg", {}, std::make_shared<MemorySource>(std::string(5000, '\x9c'))});
  MimeMessage message;
  ASSERT_EQ(BuildMessage(composed, &message), kMimeOk);
  ASSERT_EQ(message.Save({"utf-8", {}, {}, {}, false}), kMimeOk);
  const std::string stored = static_cast<const StoredStream&>(*message.stored()).data();
  auto* root = message.RootMultiPart();
  for (const auto& child : root->children()) {
    EXPECT_EQ(child->holding(), BodyHolding::kStored);
    EXPECT_EQ(child->content(), nullptr);
    EXPECT_LE(child->stored_offset() + child->stored_length(), stored.size());
  }
  auto* text = static_cast<CElPlainTextPart*>(root->children()[0].get());
  std::u16string body;
  ASSERT_EQ(text->GetText(&body), kMimeOk);
  EXPECT_EQ(body, u"Body \u00e9");
  std::string audio;
  ASSERT_EQ(root->children()[1]->ReadContent(&audio), kMimeOk);
  EXPECT_EQ(audio, std::string(5000, '\x9c'));
  EXPECT_EQ(WriteMessage(message, {"iso-8859-1", {}, "base64", "quoted-printable", false}), stored);
  // Saved again, the message still reads the same.
  ASSERT_EQ(message.Save({}), kMimeOk);
  EXPECT_EQ(static_cast<const StoredStream&>(*message.stored()).data(), stored);
}

// A content stream that cannot be read stops its part; the other parts are still
// written and the first error is returned.
TEST(MessageWriter, UnreadableContentFailsItsPartOnly) {
  testing_support::ScopedTestHome home;
  auto path = home.root() / "note.wav";
  testing_support::WriteFileBytes(path, std::string(10000, 'w'));
  ComposedMessage composed;
  composed.attachments.push_back({MajorType::kAudio, u"x-wav", {}, path, nullptr});
  composed.attachments.push_back({MajorType::kText, u"csv", u"b.csv", {}, std::make_shared<MemorySource>("a,b\r\n")});
  MimeMessage message;
  ASSERT_EQ(BuildMessage(composed, &message), kMimeOk);
  EXPECT_EQ(message.RootMultiPart()->children()[0]->GetFileName(), u"note.wav");
  std::filesystem::resize_file(path, 10);  // the file shrinks under the open part
  StringSink sink;
  EXPECT_EQ(message.Write(sink, {}), kMimeErrorRead);
  EXPECT_NE(sink.data().find("a,b\r\n"), std::string::npos);
  EXPECT_TRUE(sink.data().ends_with("--\r\n"));

  composed.attachments[0].file = home.root() / "missing.wav";
  EXPECT_EQ(BuildMessage(composed, &message), kMimeErrorOpen);
}

}  // namespace
}  // namespace mime
