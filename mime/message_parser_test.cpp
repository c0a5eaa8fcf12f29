#include "mime/message_parser.h"

#include <gtest/gtest.h>

#include "mime/header_writer.h"
#include "mime/message_builder.h"
#include "mime/names.h"

namespace mime {
namespace {

std::string Narrow(std::u16string_view s) { return std::string(s.begin(), s.end()); }

// A readable dump, so that a mismatch shows where the trees differ.
std::string Describe(const HeaderList& headers) {
  std::string out;
  for (const auto& h : headers.address_headers()) {
    out += Narrow(h.name) + ":";
    for (const auto& e : h.entries) {
      if (auto* m = std::get_if<Mailbox>(&e)) {
        out += " [" + Narrow(m->displayName) + "|" + Narrow(m->address) + "]";
      } else {
        const auto& g = std::get<AddressGroup>(e);
        out += " {" + Narrow(g.displayName) + ":";
        for (const auto& m : g.mailboxes) out += " [" + Narrow(m.displayName) + "|" + Narrow(m.address) + "]";
        out += "}";
      }
    }
    out += "\n";
  }
  if (auto* v = headers.Find(u"MIME-Version")) out += "MIME-Version: " + Narrow(v->rawValue) + "\n";
  for (const auto& f : headers.fields()) {
    if (f.name == u"MIME-Version") continue;
    out += Narrow(f.name) + " raw=" + Narrow(f.rawValue) + " value=" + Narrow(f.value) + " comment=" + Narrow(f.comment);
    for (const auto& p : f.params) out += " " + Narrow(p.name) + "=" + Narrow(p.value);
    out += "\n";
  }
  return out;
}

std::string ContentOf(const CElMessagePart& part) {
  std::string bytes;
  EXPECT_EQ(part.ReadContent(&bytes), kMimeOk);
  return bytes;
}

// Same classes, headers, preamble flags and decoded bodies, all the way down.
void ExpectSameTree(const CElMessagePart& a, const CElMessagePart& b, const std::string& where = "root") {
  SCOPED_TRACE(where);
  EXPECT_EQ(a.ClassName(), b.ClassName());
  EXPECT_EQ(Describe(a.headers()), Describe(b.headers()));
  EXPECT_TRUE(a.headers() == b.headers());
  auto* ma = dynamic_cast<const CElMultiPartPart*>(&a);
  auto* mb = dynamic_cast<const CElMultiPartPart*>(&b);
  if (a.ClassName() == u"CElMultiPartPart" && ma && mb) {
    EXPECT_EQ(ma->no_preamble(), mb->no_preamble());
    ASSERT_EQ(ma->children().size(), mb->children().size());
    for (std::size_t i = 0; i < ma->children().size(); ++i) {
      ExpectSameTree(*ma->children()[i], *mb->children()[i], where + "/" + std::to_string(i));
    }
  } else {
    EXPECT_EQ(ContentOf(a), ContentOf(b));
  }
}

std::unique_ptr<MimeMessage> Parse(std::string text) {
  auto message = std::make_unique<MimeMessage>();
  ParseMessage(std::move(text), message.get());
  return message;
}

CElMultiPartPart* Multi(const MimeMessage& m) { return dynamic_cast<CElMultiPartPart*>(m.root()); }

// The note message (text part and audio attachment) read back is the tree written.
TEST(MessageParser, NoteMessageReadsBackIntoTheSameTree) {
  std::string audio;
  for (int i = 0; i < 20000; ++i) audio.push_back(static_cast<char>((i * 31) ^ (i >> 3)));
  ComposedMessage composed;
  composed.bodies.push_back({u"This voice note is saved in OGG format. Gr\u00fc\u00dfe \u20ac", false});
  composed.attachments.push_back({MajorType::kAudio, u"x-wav", u"Notiz vom 7. M\u00e4rz.ogg", {}, std::make_shared<MemorySource>(audio)});
  composed.address_headers.push_back({u"From", {Mailbox{u"\"Doe, Jane\"", u"jane@example.org"}}});
  composed.address_headers.push_back({u"To", {Mailbox{{}, u"me@example.org"}, AddressGroup{u"Team", {Mailbox{u"B\u00f6b", u"bob@example.org"}}}}});
  composed.fields.push_back({u"X-Priority", u"3 (normal)", {}, {}, {}});
  composed.subject = u"Sprachnotiz \u00fcber etwas sehr Langes, das die Zeile sicher \u00fcber f\u00fcnfundsiebzig Zeichen treibt";
  for (HeaderEncodingMode mode : {HeaderEncodingMode::kShorterOfQAndB, HeaderEncodingMode::kQOnly, HeaderEncodingMode::kBOnly}) {
    MimeMessage written;
    ASSERT_EQ(BuildMessage(composed, &written), kMimeOk);
    ASSERT_EQ(written.Save({"utf-8", mode, {}, {}, false}), kMimeOk);
    const std::string& wire = static_cast<const StoredStream&>(*written.stored()).data();
    auto read = Parse(wire);
    ExpectSameTree(*written.root(), *read->root());
    EXPECT_EQ(read->GetSubject(), composed.subject);
    EXPECT_EQ(Multi(*read)->children()[1]->GetFileName(), u"Notiz vom 7. M\u00e4rz.ogg");
    EXPECT_EQ(ContentOf(*Multi(*read)->children()[1]), audio);
    // Written again, the parsed tree gives the same bytes.
    StringSink again;
    ASSERT_EQ(read->Write(again, {"utf-8", mode, {}, {}, false}), kMimeOk);
    EXPECT_EQ(again.data(), wire);
  }
}

TEST(MessageParser, NestedContainersAndPreambleFlagReadBack) {
  ComposedMessage composed;
  composed.bodies.push_back({u"plain\r\nline two\r\n", false});
  composed.bodies.push_back({u"<p>caf\u00e9</p>", true});
  composed.inline_items.push_back({MajorType::kImage, u"png", u"logo.png", {}, std::make_shared<MemorySource>("\x89PNG\r\n")});
  composed.attachments.push_back({MajorType::kText, u"plain", u"notes.txt", {}, std::make_shared<MemorySource>("a\nb\n")});
  MimeMessage written;
  ASSERT_EQ(BuildMessage(composed, &written), kMimeOk);
  Multi(written)->set_no_preamble(true);
  StringSink wire;
  ASSERT_EQ(written.Write(wire, {"iso-8859-1", {}, {}, {}, false}), kMimeOk);
  auto read = Parse(wire.data());
  ExpectSameTree(*written.root(), *read->root());
  auto* related = dynamic_cast<CElMultiPartPart*>(Multi(*read)->children()[0].get());
  auto* alternative = dynamic_cast<CElMultiPartPart*>(related->children()[0].get());
  std::u16string html;
  ASSERT_EQ(static_cast<CElPlainTextPart*>(alternative->children()[1].get())->GetText(&html), kMimeOk);
  EXPECT_EQ(html, u"<p>caf\u00e9</p>");
  EXPECT_EQ(Multi(*read)->children()[1]->ClassName(), u"CElMessagePart");  // a text attachment stays an attachment
}

struct RealWorldCase {
  const char* name;
  std::string wire;
  std::vector<std::string> leaf_contents;  // decoded, in tree order
};

void CollectLeaves(const CElMessagePart& part, std::vector<std::string>* out) {
  auto* multi = dynamic_cast<const CElMultiPartPart*>(&part);
  if (multi && part.ClassName() == u"CElMultiPartPart") {
    for (const auto& c : multi->children()) CollectLeaves(*c, out);
  } else {
    out->push_back(ContentOf(part));
  }
}

TEST(MessageParser, ToleratesRealWorldMail) {
  const RealWorldCase cases[] = {
      {"bare LF everywhere",
       "From: a@x\nContent-Type: multipart/mixed; boundary=XX\n\npre\n--XX\nContent-Type: text/plain\n\nhello\n--XX\n"
       "Content-Transfer-Encoding: base64\n\naGk=\n--XX--\nepilogue\n",
       {"hello", "hi"}},
      {"unterminated last part",
       "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n\r\none\r\n--b\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nt=\r\nwo=3D",
       {"one", "two="}},
      {"boundary never appears: read as a leaf",
       "Content-Type: multipart/mixed; boundary=zz\r\n\r\njust text\r\n", {"just text\r\n"}},
      {"multipart without boundary parameter", "Content-Type: multipart/mixed\r\n\r\nbody", {"body"}},
      {"unknown transfer encoding keeps the bytes", "Content-Transfer-Encoding: x-uuencode\r\n\r\nbegin 644 x\r\n", {"begin 644 x\r\n"}},
      {"mbox separator and no blank line", "From someone Mon Dec  7 09:05:03 2026\nSubject: s\nbody line\n", {"body line\n"}},
      {"headers only", "Subject: nothing else", {""}},
      {"empty", "", {""}},
      {"delimiter with transport padding and a look-alike",
       "Content-Type: multipart/alternative; boundary=b\r\n\r\n--b  \r\n\r\nx\r\n--bb\r\ny\r\n--b--\r\n", {"x\r\n--bb\r\ny"}},
      {"a parameter name that is no token is not a boundary",
       "Content-Type: multipart/mixed; \xE2oundary=q\r\n\r\n--q\r\n\r\nz\r\n--q--", {"--q\r\n\r\nz\r\n--q--"}},
      {"delimiter right at the body start", "Content-Type: multipart/mixed; boundary=q\r\n\r\n--q\r\n\r\nz\r\n--q--", {"z"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto read = Parse(c.wire);
    ASSERT_NE(read->root(), nullptr);
    std::vector<std::string> leaves;
    CollectLeaves(*read->root(), &leaves);
    EXPECT_EQ(leaves, c.leaf_contents);
  }
  auto lf = Parse(cases[0].wire);
  EXPECT_FALSE(Multi(*lf)->no_preamble());
  EXPECT_EQ(lf->headers().FindAddressHeader(u"from")->entries.size(), 1u);
}

// Junk after the type (a header run into it, bytes that are no text) is not
// part of it: kept, it came back encoded and the rewritten message read as a
// single part.
TEST(MessageParser, JunkAfterTheContentTypeIsDropped) {
  auto read = Parse(
      "Content-Type: multipart/alterna\x9b From: a@x.org\rTo: \"Doe, J\" x; boundary=b\r\n\r\n"
      "--b\r\n\r\none\r\n--b\r\n\r\ntwo\r\n--b--\r\n");
  ASSERT_NE(Multi(*read), nullptr);
  EXPECT_EQ(read->root()->headers().Find(u"content-type")->value, u"multipart/alterna");
  StringSink wire;
  ASSERT_EQ(read->Write(wire, {"utf-8", {}, {}, {}, false}), kMimeOk);
  EXPECT_NE(wire.data().find("Content-Type: multipart/alterna; boundary=b\r\n"), std::string::npos) << wire.data();
  auto again = Parse(wire.data());
  ASSERT_NE(Multi(*again), nullptr) << wire.data();
  EXPECT_EQ(Multi(*again)->children().size(), 2u);
  // A bare parameter value that is no token is kept as quoted text and
  // written back as a quoted string; the parameters after it stay apart.
  auto bare = Parse("Content-Type: application/octet-stream; name=my \"note\" 1.ogg; x-rate=8000\r\n\r\nz");
  const HeaderField* type = bare->root()->headers().Find(u"content-type");
  EXPECT_EQ(type->ParamText(u"name"), u"my \"note\" 1.ogg");
  StringSink bare_wire;
  ASSERT_EQ(bare->Write(bare_wire, {"utf-8", {}, {}, {}, false}), kMimeOk);
  EXPECT_NE(bare_wire.data().find("name=\"my \\\"note\\\" 1.ogg\";"), std::string::npos)
      << bare_wire.data();
  auto bare_again = Parse(bare_wire.data());
  EXPECT_EQ(bare_again->root()->headers().Find(u"content-type")->ParamText(u"x-rate"), u"8000");
  // A comment keeps its text; the parentheses and escapes inside it go.
  const HeaderField nested = ParseStructuredField(u"Content-Type", "text/plain (a (nested) b\\) c); charset=x");
  EXPECT_EQ(nested.comment, u"a nested b c");
  EXPECT_EQ(nested.ParamText(u"charset"), u"x");
  // Space inside the type is tolerated as before.
  EXPECT_EQ(Multi(*Parse("Content-Type: multipart / mixed; boundary=q\r\n\r\n--q\r\n\r\nz\r\n--q--"))->SubType(),
            u"mixed");
}

// A comment that needs encoding keeps its closing parenthesis outside the
// encoded word, so the type and the parameters after it read back.
TEST(MessageParser, EncodedCommentKeepsTheParametersAfterIt) {
  for (HeaderEncodingMode mode : {HeaderEncodingMode::kQOnly, HeaderEncodingMode::kBOnly}) {
    HeaderField field{u"Content-Type", {}, u"text/plain", u"note; gr\u00fc\u00dfe", {{u"charset", u"utf-8"}}};
    std::string text = HeaderFieldText(field, "utf-8", mode);
    text = text.substr(text.find(':') + 1);
    for (std::size_t crlf; (crlf = text.find("\r\n")) != std::string::npos;) text.erase(crlf, 2);
    const HeaderField back = ParseStructuredField(u"Content-Type", text);
    EXPECT_EQ(back.value, u"text/plain") << text;
    EXPECT_EQ(back.ParamText(u"charset"), u"utf-8") << text;
  }
}

TEST(MessageParser, HeaderValuesAreDecoded) {
  auto read = Parse(
      "Subject: =?iso-8859-1?Q?Caf=E9?=\r\n =?utf-8?B?IOKCrA==?= and\r\n\tmore\r\n"
      "To: \"Doe, John\" <john@x.org>, =?utf-8?Q?J=C3=BCrgen?= <j@x.org>, plain@x.org (comment),\r\n"
      "  Friends: a@x.org, \"B\" <b@x.org>;, <route@x.org>\r\n"
      "Content-Type: text/plain (just text); charset=\"iso-8859-1\"; format=flowed\r\n"
      "Content-Disposition: attachment; filename*0*=utf-8''%E2%82%AC; filename*1=\".txt\"; filename=\"fallback\"\r\n"
      "\r\n\xE9t\xE9");
  EXPECT_EQ(read->GetSubject(), u"Caf\u00e9 \u20ac and\tmore");
  const AddressHeader* to = read->headers().FindAddressHeader(u"To");
  ASSERT_NE(to, nullptr);
  ASSERT_EQ(to->entries.size(), 5u);
  EXPECT_EQ(std::get<Mailbox>(to->entries[0]), (Mailbox{u"\"Doe, John\"", u"john@x.org"}));
  EXPECT_EQ(std::get<Mailbox>(to->entries[1]), (Mailbox{u"J\u00fcrgen", u"j@x.org"}));
  EXPECT_EQ(std::get<Mailbox>(to->entries[2]), (Mailbox{u"", u"plain@x.org"}));
  const auto& group = std::get<AddressGroup>(to->entries[3]);
  EXPECT_EQ(group.displayName, u"Friends");
  ASSERT_EQ(group.mailboxes.size(), 2u);
  EXPECT_EQ(group.mailboxes[1], (Mailbox{u"\"B\"", u"b@x.org"}));
  EXPECT_EQ(std::get<Mailbox>(to->entries[4]).address, u"route@x.org");
  const HeaderField* ct = read->headers().Find(u"content-type");
  EXPECT_EQ(ct->value, u"text/plain");
  EXPECT_EQ(ct->comment, u"just text");
  EXPECT_EQ(ct->ParamText(u"charset"), u"iso-8859-1");
  EXPECT_EQ(ct->FindParam(u"format")->value, u"flowed");
  EXPECT_EQ(read->root()->GetFileName(), u"\u20ac.txt");
  EXPECT_EQ(read->root()->ClassName(), u"CElMessagePart");  // an attachment, even as text/plain
}

TEST(MessageParser, TextBodiesDecodeByTheirCharset) {
  auto read = Parse("Content-Type: text/plain; charset=windows-1252\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n=80 caf=E9");
  ASSERT_EQ(read->root()->ClassName(), u"CElPlainTextPart");
  std::u16string text;
  ASSERT_EQ(static_cast<CElPlainTextPart*>(read->root())->GetText(&text), kMimeOk);
  EXPECT_EQ(text, u"\u20ac caf\u00e9");
  auto untyped = Parse("Subject: x\r\n\r\nGr\xC3\xBC\xC3\x9F" "e");
  ASSERT_EQ(untyped->root()->ClassName(), u"CElPlainTextPart");
  ASSERT_EQ(static_cast<CElPlainTextPart*>(untyped->root())->GetText(&text), kMimeOk);
  EXPECT_EQ(text, u"Gr\u00fc\u00df" "e");
}

TEST(MessageParser, DeepNestingStopsAtALimitWithoutCrashing) {
  std::string wire;
  for (int i = 0; i < 200; ++i) wire += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" + std::to_string(i) + "\r\n";
  wire += "\r\ninnermost";
  auto read = Parse(wire);
  int depth = 0;
  for (const CElMessagePart* p = read->root(); p && p->ClassName() == u"CElMultiPartPart";
       p = static_cast<const CElMultiPartPart*>(p)->children().empty() ? nullptr : static_cast<const CElMultiPartPart*>(p)->children()[0].get()) {
    ++depth;
  }
  EXPECT_GT(depth, 10);
  EXPECT_LT(depth, 200);
}

}  // namespace
}  // namespace mime
