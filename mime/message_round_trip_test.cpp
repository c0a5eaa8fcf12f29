// Random part trees written and read back: nested mixed, related and alternative
// containers, text in several charsets, binary attachments of awkward sizes, random
// header values, addresses and file names. The tree read back must be the tree
// written (shape, types, parameters, headers, decoded bytes, names), and every line
// written must fit what mail transports carry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "mime/charset.h"
#include "mime/header_list.h"
#include "mime/message_builder.h"
#include "mime/message_ids.h"
#include "mime/message_parser.h"
#include "mime/mime_message.h"
#include "mime/names.h"
#include "mime/note_message.h"
#include "platform/text.h"
#include "tests/support/test_environment.h"

namespace mime {
namespace {

using Rng = std::mt19937;

std::size_t Pick(Rng& rng, std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }
bool Chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }
template <typename T, std::size_t N>
const T& OneOf(Rng& rng, const T (&items)[N]) {
  return items[Pick(rng, N)];
}

std::string Utf8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

// Boundaries and Message-IDs draw from rand(); a fixed seed keeps a run repeatable.
void SeedIdentifiers(unsigned seed) {
  (void)DrawRandom();  // the library seeds rand() once, on its first draw
  std::srand(seed);
}

// ---- text

enum Script : unsigned { kLatin = 1, kCyrillic = 2, kCjk = 4, kEmoji = 8 };
constexpr unsigned kAllScripts = kLatin | kCyrillic | kCjk | kEmoji;

// The scripts each charset carries besides ASCII: text drawn from them reads back
// unchanged. Shift_JIS is left out on purpose: its 0x5C and 0x7E are not "\" and "~".
struct CharsetInfo {
  const char* name;
  unsigned scripts;
};
// Charsets of a whole write: bodies and header words.
constexpr CharsetInfo kCharsets[] = {
    {"utf-8", kAllScripts}, {"iso-8859-1", kLatin}, {"koi8-r", kCyrillic},
    {"windows-1251", kCyrillic}, {"euc-jp", kCjk}, {"us-ascii", 0},
};
// Charsets a text part labels its own bytes with. Not used for header words: their Q
// encoding leaves bytes such as "," ";" "(" as they are, and in these charsets
// such bytes stand for parts of other characters, which splits an address list.
constexpr CharsetInfo kBodyOnlyCharsets[] = {{"utf-16", kAllScripts}, {"iso-2022-jp", kCjk}};

const CharsetInfo& BodyCharset(Rng& rng) {
  const std::size_t n = std::size(kCharsets) + std::size(kBodyOnlyCharsets);
  const std::size_t i = Pick(rng, n);
  return i < std::size(kCharsets) ? kCharsets[i] : kBodyOnlyCharsets[i - std::size(kCharsets)];
}

constexpr std::u16string_view kAsciiLetters = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr std::u16string_view kLatinLetters = u"àáâãäåæçèéêëìíîïñòóôõöøùúûüýÿßÀÉÖÜ";
constexpr std::u16string_view kKanji = u"日本語文字漢字東京音声録";

void AppendLetter(Rng& rng, unsigned scripts, std::u16string& out) {
  unsigned pool[5] = {0};
  std::size_t n = 1;
  for (unsigned s : {kLatin, kCyrillic, kCjk, kEmoji}) {
    if (scripts & s) pool[n++] = s;
  }
  // Half ASCII, so that words mix scripts the way real names and subjects do.
  const unsigned script = Chance(rng, 0.5) ? 0 : pool[Pick(rng, n)];
  switch (script) {
    case kLatin: out += kLatinLetters[Pick(rng, kLatinLetters.size())]; break;
    case kCyrillic: out += static_cast<char16_t>(0x0410 + Pick(rng, 64)); break;
    case kCjk:
      out += Chance(rng, 0.5) ? static_cast<char16_t>(0x3041 + Pick(rng, 83)) : kKanji[Pick(rng, kKanji.size())];
      break;
    case kEmoji: {
      const char32_t cp = 0x1F600 + static_cast<char32_t>(Pick(rng, 0x50));
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      break;
    }
    default: out += kAsciiLetters[Pick(rng, kAsciiLetters.size())]; break;
  }
}

std::u16string Word(Rng& rng, unsigned scripts, std::size_t max_letters, std::u16string_view punctuation = {}) {
  std::u16string w;
  const std::size_t n = 1 + Pick(rng, max_letters);
  for (std::size_t i = 0; i < n; ++i) {
    if (!punctuation.empty() && Chance(rng, 0.1)) {
      w += punctuation[Pick(rng, punctuation.size())];
    } else {
      AppendLetter(rng, scripts, w);
    }
  }
  return w;
}

// Words joined by single spaces (the header writer folds runs of white space to one).
std::u16string Phrase(Rng& rng, unsigned scripts, std::size_t min_words, std::size_t max_words,
                      std::u16string_view punctuation = {}) {
  std::u16string out;
  const std::size_t n = min_words + Pick(rng, max_words - min_words + 1);
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) out += u' ';
    out += Word(rng, scripts, 10, punctuation);
  }
  return out;
}

// Unstructured header text. No "=": an ASCII "=?...?=" would read back as an encoded word.
constexpr std::u16string_view kHeaderPunctuation = u".,:;!?()'-/&+#*";
// Quoted parameter values and file names, quotes and backslashes included.
constexpr std::u16string_view kQuotedPunctuation = u"-_.,;()[]'&+!#~\"\\@";

// A body text: lines of words with CR LF (now and then a bare LF or a lone CR),
// some of them around the 998-byte limit, trailing spaces, "=" and tabs.
std::u16string BodyText(Rng& rng, unsigned scripts, bool long_lines) {
  std::u16string out;
  const std::size_t lines = Pick(rng, 14);
  for (std::size_t i = 0; i < lines; ++i) {
    if (i > 0) out += Chance(rng, 0.03) ? u"\n" : Chance(rng, 0.02) ? u"\r" : u"\r\n";
    if (long_lines && Chance(rng, 0.15)) {
      constexpr std::size_t kLengths[] = {76, 77, 997, 998, 999, 1500};
      const std::size_t line_start = out.empty() ? 0 : out.find_last_of(u"\r\n") + 1;
      const std::size_t length = OneOf(rng, kLengths);
      while (out.size() < line_start + length) out += kAsciiLetters[Pick(rng, kAsciiLetters.size())];
      continue;
    }
    out += Phrase(rng, scripts, 0, 14, u".,;:!?=-\t'\"");
    if (Chance(rng, 0.1)) out += u"  ";
  }
  if (Chance(rng, 0.3)) out += u"\r\n";
  return out;
}

// ---- binary content

// Sizes around the base64 line (57 bytes make one 76-character line) and the QP
// line, multiples of both, and around the writer's 4096-byte read blocks.
constexpr std::size_t kEdgeSizes[] = {0,   1,   2,   3,   56,  57,   58,   59,   60,   61,   75,   76,   77,
                                      113, 114, 115, 151, 152, 153,  171,  227,  228,  229,  455,  456,  570,
                                      759, 760, 761, 4095, 4096, 4097, 4103, 4104, 4105, 7600, 8191, 8192};

std::size_t ContentSize(Rng& rng, bool large) {
  if (Chance(rng, 0.6)) return OneOf(rng, kEdgeSizes);
  return Pick(rng, large ? 40000 : 6000);
}

// Random bytes (base64), CR LF text (7bit), text with a few 8-bit bytes
// (quoted-printable), bare LF text, or a run of spaces, tabs and "=".
std::string Content(Rng& rng, std::size_t size) {
  std::string out;
  out.reserve(size);
  switch (Pick(rng, 5)) {
    case 0:
      while (out.size() < size) out.push_back(static_cast<char>(rng()));
      break;
    case 1:
    case 2: {
      const bool eight_bit = Chance(rng, 0.5);
      while (out.size() < size) {
        if (out.size() + 2 <= size && Chance(rng, 0.02)) {
          out += "\r\n";
        } else if (eight_bit && Chance(rng, 0.04)) {
          out.push_back(static_cast<char>(0x80 + Pick(rng, 0x80)));
        } else {
          out.push_back(static_cast<char>(0x20 + Pick(rng, 0x5F)));
        }
      }
      break;
    }
    case 3:
      while (out.size() < size) out.push_back(Chance(rng, 0.05) ? '\n' : static_cast<char>('a' + Pick(rng, 26)));
      break;
    default:
      while (out.size() < size) out.push_back(" \t=a\xE9"[Pick(rng, 5)]);
      break;
  }
  return out;
}

// ---- addresses

std::u16string Address(Rng& rng) {
  // A dot may not start or end the local part.
  const std::u16string local = u"n" + Word(rng, 0, 12, u".-+_") + u"0";
  return local + u"@" + Word(rng, 0, 10) + u".example." + (Chance(rng, 0.5) ? u"org" : u"com");
}

Mailbox RandomMailbox(Rng& rng, unsigned scripts) {
  Mailbox m;
  if (Chance(rng, 0.7)) m.displayName = DisplayNameForStorage(Phrase(rng, scripts, 1, 3, u".,()@:\"'-"));
  m.address = Address(rng);
  return m;
}

std::vector<AddressEntry> AddressList(Rng& rng, unsigned scripts, std::size_t max_entries) {
  std::vector<AddressEntry> entries;
  const std::size_t n = 1 + Pick(rng, max_entries);
  for (std::size_t i = 0; i < n; ++i) {
    if (Chance(rng, 0.15)) {
      AddressGroup group{DisplayNameForStorage(Phrase(rng, scripts, 1, 2, u",.")), {}};
      for (std::size_t k = Pick(rng, 4); k > 0; --k) group.mailboxes.push_back(RandomMailbox(rng, scripts));
      entries.emplace_back(std::move(group));
    } else {
      entries.emplace_back(RandomMailbox(rng, scripts));
    }
  }
  return entries;
}

// ---- what a part must read back as

struct Expected {
  enum Kind { kContainer, kText, kAttachment } kind = kAttachment;
  std::u16string type;                     // "major/sub" as set
  std::vector<HeaderParam> params;         // parameters set on Content-Type (boundary and charset aside)
  bool no_preamble = false;                // containers
  std::u16string text;                     // text parts: the text
  std::string charset;                     // text parts: the charset label
  std::optional<std::string> bytes;        // the decoded body, when known as bytes
  std::optional<std::u16string> file_name;
  std::u16string disposition;
  std::vector<Expected> children;
};

struct TreeOptions {
  const CharsetInfo* write_charset;
  bool stress = false;  // long lines and header values, more and larger attachments
};

// Builds a random tree with the part model, recording what each part must read back as.
class TreeMaker {
 public:
  TreeMaker(Rng& rng, MimeMessage* message, TreeOptions options)
      : rng_(rng), message_(message), options_(options), scripts_(options.write_charset->scripts) {}

  Expected Build() {
    Expected root;
    switch (Pick(rng_, 8)) {
      case 0:
        root = Text(nullptr, Chance(rng_, 0.8) ? u"plain" : u"html");
        break;
      case 1:
        root = Attachment(nullptr, false);
        break;
      default: {
        constexpr const char16_t* kSubs[] = {u"mixed", u"mixed", u"related", u"alternative"};
        root = Container(nullptr, OneOf(rng_, kSubs), 0);
        break;
      }
    }
    RootHeaders();
    return root;
  }

 private:
  void RootHeaders() {
    message_->InitializeNew();
    message_->AddMailbox(u"From", RandomMailbox(rng_, scripts_));
    const char16_t* kListHeaders[] = {u"To", u"Cc", u"Reply-To"};
    for (const char16_t* name : kListHeaders) {
      if (name == std::u16string_view(u"To") || Chance(rng_, 0.4)) {
        for (AddressEntry& e : AddressList(rng_, scripts_, options_.stress ? 12 : 4)) {
          if (auto* m = std::get_if<Mailbox>(&e)) {
            message_->AddMailbox(name, std::move(*m));
          } else {
            message_->AddGroup(name, std::get<AddressGroup>(std::move(e)));
          }
        }
      }
    }
    message_->SetSubject(Phrase(rng_, scripts_, 0, options_.stress ? 60 : 12, kHeaderPunctuation));
    if (Chance(rng_, 0.5)) message_->headers().Add({u"X-Priority", u"3 (normal)", {}, {}, {}});
    for (std::size_t i = Pick(rng_, 4); i > 0; --i) {
      std::u16string name = u"X-Dictalo-" + Word(rng_, 0, 8);
      message_->headers().Add({name, Phrase(rng_, scripts_, 1, options_.stress ? 80 : 10, kHeaderPunctuation), {}, {}, {}});
    }
    if (Chance(rng_, 0.3)) {
      std::u16string refs;
      for (std::size_t i = 1 + Pick(rng_, options_.stress ? 30 : 4); i > 0; --i) {
        refs += (refs.empty() ? u"<" : u" <") + Word(rng_, 0, 20) + u"@" + Word(rng_, 0, 8) + u">";
      }
      message_->headers().Add({std::u16string(names::kReferences), refs, {}, {}, {}});
    }
  }

  // A part created under `parent`, or as the root when there is none.
  template <typename Part>
  Part* NewPart(CElMultiPartPart* parent) {
    if (!parent) return message_->CreateRoot<Part>();
    auto part = std::make_unique<Part>(message_, parent);
    Part* raw = part.get();
    parent->AppendChild(std::move(part));
    return raw;
  }

  Expected Container(CElMultiPartPart* parent, std::u16string_view sub, int depth) {
    auto* part = NewPart<CElMultiPartPart>(parent);
    part->SetContentType(names::kMultipart, sub);
    Expected e;
    e.kind = Expected::kContainer;
    e.type = u"multipart/" + std::u16string(sub);
    if (sub == names::kRelated && Chance(rng_, 0.5)) {
      e.params.push_back({u"type", u"\"text/html\""});
      part->headers().Find(names::kContentType)->params.push_back(e.params.back());
    }
    e.no_preamble = Chance(rng_, 0.3);
    part->set_no_preamble(e.no_preamble);
    const bool deeper = depth < 3;
    if (sub == names::kAlternative) {
      e.children.push_back(Text(part, u"plain"));
      e.children.push_back(deeper && Chance(rng_, 0.3) ? Container(part, names::kRelated, depth + 1)
                                                       : Text(part, u"html"));
      if (Chance(rng_, 0.2)) e.children.push_back(Text(part, u"html"));
    } else if (sub == names::kRelated) {
      e.children.push_back(deeper && Chance(rng_, 0.4) ? Container(part, names::kAlternative, depth + 1)
                                                       : Text(part, u"html"));
      for (std::size_t i = 1 + Pick(rng_, 3); i > 0; --i) e.children.push_back(Attachment(part, true));
    } else if (!Chance(rng_, 0.05)) {  // now and then an empty container
      const std::size_t lead = Pick(rng_, 4);
      if (lead == 1) e.children.push_back(Text(part, u"plain"));
      if (lead == 2 && deeper) e.children.push_back(Container(part, names::kAlternative, depth + 1));
      if (lead == 3 && deeper) e.children.push_back(Container(part, names::kRelated, depth + 1));
      for (std::size_t i = Pick(rng_, options_.stress ? 8 : 5); i > 0; --i) {
        if (deeper && Chance(rng_, 0.12)) {
          e.children.push_back(Container(part, names::kMixed, depth + 1));
        } else if (Chance(rng_, 0.15)) {
          e.children.push_back(Text(part, u"plain"));
        } else {
          e.children.push_back(Attachment(part, false));
        }
      }
    }
    return e;
  }

  // A text body: most hold wide text written in the charset of the write; the others
  // hold bytes in a charset of their own, labelled on the part.
  Expected Text(CElMultiPartPart* parent, std::u16string_view sub) {
    Expected e;
    e.kind = Expected::kText;
    e.type = u"text/" + std::u16string(sub);
    if (Chance(rng_, 0.7)) {
      e.text = BodyText(rng_, scripts_, options_.stress);
      if (sub == names::kHtml) e.text = u"<p>" + e.text + u"</p>";
      e.charset = options_.write_charset->name;
      auto* part = NewPart<CElPlainTextPart>(parent);
      part->SetContentType(names::kText, sub);
      part->SetText(e.text);
      return e;
    }
    const CharsetInfo& own = BodyCharset(rng_);
    e.text = BodyText(rng_, own.scripts, options_.stress);
    e.charset = own.name;
    e.bytes = EncodeText(e.text, own.name);
    auto* part = NewPart<CElPlainTextPart>(parent);
    part->SetContentType(names::kText, sub);
    std::u16string label = platform::Latin1ToUtf16(own.name);
    part->headers().Find(names::kContentType)->SetParam(names::kCharset, Chance(rng_, 0.3) ? Quoted(label) : label);
    part->SetContent(std::make_shared<MemorySource>(*e.bytes));
    return e;
  }

  Expected Attachment(CElMultiPartPart* parent, bool inline_item) {
    struct Type {
      const char16_t* major;
      const char16_t* sub;
    };
    constexpr Type kTypes[] = {{u"audio", u"x-wav"},    {u"audio", u"ogg"},   {u"image", u"png"},
                               {u"image", u"jpeg"},     {u"application", u"pdf"},
                               {u"application", u"octet-stream"},             {u"text", u"csv"},
                               {u"text", u"plain"},     {u"text", u"html"},   {u"video", u"mp4"}};
    const Type& type = inline_item ? kTypes[2 + Pick(rng_, 2)] : OneOf(rng_, kTypes);
    Expected e;
    e.type = std::u16string(type.major) + u"/" + type.sub;
    e.bytes = Content(rng_, ContentSize(rng_, options_.stress));
    auto* part = NewPart<CElMessagePart>(parent);
    part->SetContentType(type.major, type.sub);
    part->SetContent(std::make_shared<MemorySource>(*e.bytes));
    // Found again each time: adding a field may move the others.
    auto ct = [part] { return part->headers().Find(names::kContentType); };
    // ASCII only: a non-ASCII comment is written with its parentheses inside the
    // encoded word, and does not read back as a comment.
    if (Chance(rng_, 0.3)) ct()->comment = Phrase(rng_, 0, 1, 4, u".,:-");
    if (Chance(rng_, 0.3)) {
      e.params.push_back({u"x-rate", std::u16string(Word(rng_, 0, 6, u"-."))});
      ct()->params.push_back(e.params.back());
    }
    // A text/plain or text/html part without a disposition is a body, not an attachment.
    const bool named = Chance(rng_, inline_item ? 0.5 : 0.85);
    if (named || type.major == std::u16string_view(u"text")) {
      std::u16string name = Phrase(rng_, scripts_, 1, options_.stress ? 8 : 3, kQuotedPunctuation) + u"." +
                            Word(rng_, 0, 4);
      if (Chance(rng_, 0.1)) name = u"  " + name + u" ";  // trimmed by the part
      if (Chance(rng_, 0.05)) name.clear();
      part->SetFileName(name);
      e.file_name = Trimmed(name);
      if (Chance(rng_, 0.2)) {
        e.params.push_back({std::u16string(names::kName), Quoted(*e.file_name)});
        ct()->params.push_back(e.params.back());
      }
    }
    e.disposition = inline_item ? names::kInline : names::kAttachment;
    if (inline_item || Chance(rng_, 0.5)) part->SetDisposition(e.disposition);
    if (!part->headers().Find(names::kContentDisposition)) e.disposition.clear();
    if (inline_item) {
      part->headers().Add({std::u16string(names::kContentId), u"<" + Word(rng_, 0, 16) + u"@dictalo>", {}, {}, {}});
    }
    if (Chance(rng_, 0.2)) {
      part->headers().Add({std::u16string(names::kContentDescription), Phrase(rng_, scripts_, 1, 6, kHeaderPunctuation), {}, {}, {}});
    }
    return e;
  }

  Rng& rng_;
  MimeMessage* message_;
  TreeOptions options_;
  unsigned scripts_;
};

// ---- comparing

std::string ContentOf(const CElMessagePart& part) {
  std::string bytes;
  EXPECT_EQ(part.ReadContent(&bytes), kMimeOk);
  return bytes;
}

bool IsContainer(const CElMessagePart& part) { return part.ClassName() == u"CElMultiPartPart"; }

// One line a field, to show where two header lists differ.
std::string Dump(const HeaderList& headers) {
  std::string out;
  for (const AddressHeader& h : headers.address_headers()) {
    out += Utf8(h.name) + ":";
    for (const AddressEntry& entry : h.entries) {
      if (const auto* m = std::get_if<Mailbox>(&entry)) {
        out += " [" + Utf8(m->displayName) + "|" + Utf8(m->address) + "]";
      } else {
        const auto& g = std::get<AddressGroup>(entry);
        out += " {" + Utf8(g.displayName) + ":";
        for (const Mailbox& m : g.mailboxes) out += " [" + Utf8(m.displayName) + "|" + Utf8(m.address) + "]";
        out += "}";
      }
    }
    out += "\n";
  }
  for (const HeaderField& f : headers.fields()) {
    out += Utf8(f.name) + " raw=[" + Utf8(f.rawValue) + "] value=[" + Utf8(f.value) + "] comment=[" +
           Utf8(f.comment) + "]";
    for (const HeaderParam& p : f.params) out += " " + Utf8(p.name) + "=[" + Utf8(p.value) + "]";
    out += "\n";
  }
  return out;
}

void ExpectSameHeaders(const HeaderList& read, const HeaderList& written) {
  if (!(read == written)) ADD_FAILURE() << "headers differ\nread:\n" << Dump(read) << "written:\n" << Dump(written);
}

// The part read back against the part written and against what it was made from.
// `boundaries` are the enclosing parts' boundaries, which a nested one must not repeat.
void ExpectReadBack(const CElMessagePart& read, const CElMessagePart& written, const Expected& e,
                    std::vector<std::u16string>& boundaries, const std::string& where) {
  SCOPED_TRACE(where);
  ExpectSameHeaders(read.headers(), written.headers());
  EXPECT_EQ(read.MajorType() + u"/" + read.SubType(), e.type);
  const HeaderField* ct = read.headers().Find(names::kContentType);
  ASSERT_NE(ct, nullptr);
  for (const HeaderParam& p : e.params) {
    const HeaderParam* got = ct->FindParam(p.name);
    ASSERT_NE(got, nullptr) << Utf8(p.name);
    EXPECT_EQ(got->value, p.value);
  }
  if (e.kind == Expected::kContainer) {
    ASSERT_TRUE(IsContainer(read)) << Utf8(read.ClassName());
    const auto& r = static_cast<const CElMultiPartPart&>(read);
    const auto& w = static_cast<const CElMultiPartPart&>(written);
    EXPECT_EQ(r.no_preamble(), e.no_preamble);
    const std::u16string boundary = r.Boundary();
    EXPECT_FALSE(boundary.empty());
    EXPECT_EQ(std::count(boundaries.begin(), boundaries.end(), boundary), 0) << "repeats an enclosing boundary";
    ASSERT_EQ(r.children().size(), e.children.size());
    ASSERT_EQ(w.children().size(), e.children.size());
    boundaries.push_back(boundary);
    for (std::size_t i = 0; i < e.children.size(); ++i) {
      ExpectReadBack(*r.children()[i], *w.children()[i], e.children[i], boundaries, where + "/" + std::to_string(i));
    }
    boundaries.pop_back();
    return;
  }
  if (e.kind == Expected::kText) {
    ASSERT_EQ(read.ClassName(), u"CElPlainTextPart");
    EXPECT_EQ(Utf8(ct->ParamText(names::kCharset)), e.charset);
    std::u16string text;
    ASSERT_EQ(static_cast<const CElPlainTextPart&>(read).GetText(&text), kMimeOk);
    EXPECT_EQ(text, e.text);
  } else {
    EXPECT_EQ(read.ClassName(), u"CElMessagePart");
  }
  if (e.bytes) {
    EXPECT_EQ(ContentOf(read), *e.bytes);
  }
  if (e.file_name) {
    EXPECT_EQ(read.GetFileName(), *e.file_name);
  }
  const HeaderField* disposition = read.headers().Find(names::kContentDisposition);
  EXPECT_EQ(disposition ? disposition->value : u"", e.disposition);
}

// ---- transport limits

constexpr std::size_t kMaxLine = 998;
constexpr std::size_t kMaxEncodedLine = 76;

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t from = 0;
  for (;;) {
    std::size_t crlf = text.find("\r\n", from);
    lines.push_back(text.substr(from, (crlf == std::string_view::npos ? text.size() : crlf) - from));
    if (crlf == std::string_view::npos) return lines;
    from = crlf + 2;
  }
}

// The whole message: CR LF line ends only, no line longer than SMTP carries.
void ExpectFitsTransport(const std::string& wire) {
  std::size_t n = 0;
  for (std::string_view line : Lines(wire)) {
    ++n;
    EXPECT_LE(line.size(), kMaxLine) << "line " << n << ": " << line.substr(0, 80);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string_view::npos) << "bare line break in line " << n;
  }
}

// One encoded body as the writer committed it.
void ExpectBodyLines(std::string_view body, std::u16string_view encoding, const std::string& where) {
  SCOPED_TRACE(where + " " + Utf8(encoding));
  if (body.empty()) return;
  const std::vector<std::string_view> lines = Lines(body);
  if (encoding == names::kBase64) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::string_view line = lines[i];
      EXPECT_LE(line.size(), kMaxEncodedLine);
      EXPECT_FALSE(line.empty()) << "empty line " << i;
      const std::size_t pad = line.find('=');
      if (pad != std::string_view::npos) {
        EXPECT_EQ(i, lines.size() - 1) << "padding before the last line";
        EXPECT_EQ(line.find_first_not_of('=', pad), std::string_view::npos);
      }
      EXPECT_EQ(line.substr(0, pad).find_first_not_of(
                    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"),
                std::string_view::npos)
          << line;
      chars += line.size();
    }
    EXPECT_EQ(chars % 4, 0u);
  } else if (encoding == names::kQuotedPrintable) {
    for (std::string_view line : lines) {
      EXPECT_LE(line.size(), kMaxEncodedLine) << line;
      // Transports may strip white space at a line end.
      EXPECT_TRUE(line.empty() || (line.back() != ' ' && line.back() != '\t')) << line;
      for (std::size_t k = 0; k < line.size(); ++k) {
        const auto c = static_cast<unsigned char>(line[k]);
        ASSERT_TRUE(c == ' ' || (c >= 33 && c <= 126)) << "byte " << int(c) << " in " << line;
        if (c != '=') continue;
        const bool soft_break = k + 1 == line.size();
        const bool escape = k + 2 < line.size() && std::isxdigit(static_cast<unsigned char>(line[k + 1])) &&
                            std::isxdigit(static_cast<unsigned char>(line[k + 2]));
        EXPECT_TRUE(soft_break || escape) << line;
      }
    }
  } else {
    EXPECT_EQ(encoding, names::k7Bit);
    for (unsigned char c : body) {
      ASSERT_TRUE(c != 0 && c < 128) << "byte " << int(c) << " in a 7bit body";
    }
  }
}

// Every leaf of a committed tree: its stored body checked by its transfer encoding.
void ExpectCommittedBodies(const CElMessagePart& part, const std::string& stored, const std::string& where) {
  if (IsContainer(part)) {
    const auto& multi = static_cast<const CElMultiPartPart&>(part);
    for (std::size_t i = 0; i < multi.children().size(); ++i) {
      ExpectCommittedBodies(*multi.children()[i], stored, where + "/" + std::to_string(i));
    }
    return;
  }
  ASSERT_EQ(part.holding(), BodyHolding::kStored) << where;
  ASSERT_LE(part.stored_offset() + part.stored_length(), stored.size()) << where;
  const HeaderField* cte = part.headers().Find(names::kContentTransferEncoding);
  ASSERT_NE(cte, nullptr) << where;
  ExpectBodyLines(std::string_view(stored).substr(part.stored_offset(), part.stored_length()), cte->rawValue, where);
}

// ---- write options

WriteOptions RandomWriteOptions(Rng& rng, const CharsetInfo& charset, bool any_preference) {
  WriteOptions options;
  options.charset = charset.name;
  if (options.charset == "us-ascii" && Chance(rng, 0.5)) options.charset.clear();  // the same, unnamed
  constexpr HeaderEncodingMode kModes[] = {HeaderEncodingMode::kShorterOfQAndB, HeaderEncodingMode::kQOnly,
                                           HeaderEncodingMode::kBOnly};
  options.mode = OneOf(rng, kModes);
  // Raw 8-bit headers read back as UTF-8 only.
  if (options.charset == "utf-8" && Chance(rng, 0.15)) options.mode = HeaderEncodingMode::kRaw;
  // Mostly the content decides; the raw encodings keep any byte, so they round-trip too.
  constexpr const char* kSafe[] = {"", "", "", "", "base64", "quoted-printable", "QUOTED-PRINTABLE", "x-unknown"};
  constexpr const char* kAny[] = {"", "", "", "base64", "quoted-printable", "8bit", "7bit", "Binary"};
  options.text_encoding = any_preference ? OneOf(rng, kAny) : OneOf(rng, kSafe);
  options.other_encoding = any_preference ? OneOf(rng, kAny) : OneOf(rng, kSafe);
  return options;
}

std::string Shortened(const std::string& wire) {
  return wire.size() <= 6000 ? wire : wire.substr(0, 6000) + "\n[... " + std::to_string(wire.size()) + " bytes]";
}

// Written, parsed, compared with the tree written and with what it was built from;
// the tree read back then writes the same bytes again.
TEST(MessageRoundTrip, RandomTreesReadBackUnchanged) {
  SeedIdentifiers(1234);
  Rng rng(20261207);
  for (int iteration = 0; iteration < 300; ++iteration) {
    SCOPED_TRACE("iteration " + std::to_string(iteration));
    const CharsetInfo& charset = OneOf(rng, kCharsets);
    MimeMessage written;
    const Expected expected = TreeMaker(rng, &written, {&charset, false}).Build();
    const WriteOptions options = RandomWriteOptions(rng, charset, true);
    StringSink sink;
    ASSERT_EQ(written.Write(sink, options), kMimeOk);
    const std::string wire = sink.Take();

    MimeMessage read;
    ParseMessage(wire, &read);
    ASSERT_NE(read.root(), nullptr);
    std::vector<std::u16string> boundaries;
    ExpectReadBack(*read.root(), *written.root(), expected, boundaries, "root");
    EXPECT_EQ(read.GetSubject(), written.GetSubject());
    EXPECT_EQ(read.GetMessageId(), written.GetMessageId());

    StringSink again;
    ASSERT_EQ(read.Write(again, options), kMimeOk);
    EXPECT_EQ(again.data(), wire);
    if (HasFailure()) {
      ADD_FAILURE() << "charset \"" << options.charset << "\", mode " << static_cast<int>(options.mode)
                    << ", preferences \"" << options.text_encoding << "\" / \"" << options.other_encoding
                    << "\"\n" << Shortened(wire);
      break;
    }
  }
}

// Long text lines around 998 bytes, long header values, long address lists, many
// attachments at edge sizes: the commit write keeps every line within the limits,
// and a later plain write gives the same bytes.
TEST(MessageRoundTrip, WrittenLinesFitTransportLimits) {
  SeedIdentifiers(4321);
  Rng rng(998);
  for (int iteration = 0; iteration < 200; ++iteration) {
    SCOPED_TRACE("iteration " + std::to_string(iteration));
    const CharsetInfo& charset = OneOf(rng, kCharsets);
    MimeMessage message;
    const Expected expected = TreeMaker(rng, &message, {&charset, true}).Build();
    const WriteOptions options = RandomWriteOptions(rng, charset, false);
    ASSERT_EQ(message.Save(options), kMimeOk);
    const std::string& stored = static_cast<const StoredStream&>(*message.stored()).data();
    ExpectFitsTransport(stored);
    ExpectCommittedBodies(*message.root(), stored, "root");

    StringSink again;
    ASSERT_EQ(message.Write(again, options), kMimeOk);
    EXPECT_EQ(again.data(), stored);
    MimeMessage read;
    ParseMessage(stored, &read);
    std::vector<std::u16string> boundaries;
    ExpectReadBack(*read.root(), *message.root(), expected, boundaries, "root");
    if (HasFailure()) {
      ADD_FAILURE() << "charset \"" << options.charset << "\", mode " << static_cast<int>(options.mode) << "\n"
                    << Shortened(stored);
      break;
    }
  }
}

// ---- composed note messages

// One attachment or inline item as the composed message lists it.
using Item = decltype(ComposedMessage::attachments)::value_type;

struct ComposedCase {
  ComposedMessage composed;
  std::vector<std::string> inline_bytes, attachment_bytes;
  std::vector<std::u16string> inline_names, attachment_names;
};

ComposedCase RandomComposed(Rng& rng, const CharsetInfo& charset, const std::filesystem::path& dir, int serial) {
  ComposedCase c;
  for (std::size_t i = Pick(rng, 4); i > 0; --i) {
    c.composed.bodies.push_back({BodyText(rng, charset.scripts, false), Chance(rng, 0.4)});
  }
  auto make_item = [&](bool inline_item, std::vector<std::string>& bytes, std::vector<std::u16string>& names) {
    Item item;
    constexpr MajorType kMajors[] = {MajorType::kAudio, MajorType::kImage, MajorType::kApplication,
                                     MajorType{} /* taken as application */, MajorType::kVideo, MajorType::kText};
    item.major = inline_item ? MajorType::kImage : OneOf(rng, kMajors);
    item.subtype = inline_item ? u"png" : Word(rng, 0, 8, u"-.+");
    std::string content = Content(rng, ContentSize(rng, false));
    std::u16string name = Phrase(rng, charset.scripts, 1, 3, u"-_.,()[]'&+!#~") + u"." + Word(rng, 0, 3);
    if (Chance(rng, 0.6)) {
      // On disk under its own name (the part takes that name unless another is given).
      std::u16string disk_name = u"n" + std::u16string(platform::Latin1ToUtf16(std::to_string(serial))) + u" " + name;
      item.file = dir / Utf8(disk_name);
      testing_support::WriteFileBytes(item.file, content);
      if (Chance(rng, 0.5)) {
        item.file_name = name;
        names.push_back(name);
      } else {
        names.push_back(disk_name);
      }
    } else {
      item.stream = std::make_shared<MemorySource>(content);
      if (Chance(rng, 0.8)) item.file_name = name;
      names.push_back(item.file_name);
    }
    bytes.push_back(std::move(content));
    ++serial;
    return item;
  };
  for (std::size_t i = Chance(rng, 0.3) ? 1 + Pick(rng, 2) : 0; i > 0; --i) {
    c.composed.inline_items.push_back(make_item(true, c.inline_bytes, c.inline_names));
  }
  for (std::size_t i = Pick(rng, 4); i > 0; --i) {
    c.composed.attachments.push_back(make_item(false, c.attachment_bytes, c.attachment_names));
  }
  c.composed.fields.push_back({u"X-Priority", u"1 (highest)", {}, {}, {}});
  c.composed.fields.push_back({u"Disposition-Notification-To", Address(rng), {}, {}, {}});
  c.composed.fields.push_back({u"X-Not-Carried", u"dropped", {}, {}, {}});
  c.composed.address_headers.push_back({u"From", {RandomMailbox(rng, charset.scripts)}});
  c.composed.address_headers.push_back({u"To", AddressList(rng, charset.scripts, 5)});
  c.composed.subject = Phrase(rng, charset.scripts, 1, 10, kHeaderPunctuation);
  return c;
}

const CElMultiPartPart* AsContainer(const CElMessagePart* part, std::u16string_view sub) {
  if (!part || !IsContainer(*part)) return nullptr;
  return part->SubType() == sub ? static_cast<const CElMultiPartPart*>(part) : nullptr;
}

void ExpectBody(const CElMessagePart* part, const BodyAlternative& body, const std::string& charset) {
  ASSERT_NE(part, nullptr);
  ASSERT_EQ(part->ClassName(), u"CElPlainTextPart");
  EXPECT_EQ(part->SubType(), body.html ? u"html" : u"plain");
  const HeaderField* ct = part->headers().Find(names::kContentType);
  ASSERT_NE(ct, nullptr);
  EXPECT_EQ(Utf8(ct->ParamText(names::kCharset)), charset);
  std::u16string text;
  ASSERT_EQ(static_cast<const CElPlainTextPart*>(part)->GetText(&text), kMimeOk);
  EXPECT_EQ(text, body.text);
}

void ExpectItem(const CElMessagePart* part, const Item& item, const std::string& bytes,
                const std::u16string& name, std::u16string_view disposition) {
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->ClassName(), u"CElMessagePart");
  EXPECT_EQ(part->MajorType(), MajorTypeName(item.major));
  EXPECT_EQ(part->SubType(), item.subtype);
  const HeaderField* field = part->headers().Find(names::kContentDisposition);
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(field->value, disposition);
  EXPECT_EQ(part->GetFileName(), name);
  EXPECT_EQ(ContentOf(*part), bytes);
}

// Note messages as the delivery and `dictaloctl compose` make them: built from a
// composed message (files on disk and streams), committed with the note write
// options, read back into the nesting the builder promises: mixed around related
// around alternative, each only when needed, and a single body as the root.
TEST(MessageRoundTrip, ComposedMessagesReadBackIntoTheBuiltNesting) {
  testing_support::ScopedTestHome home;
  SeedIdentifiers(77);
  Rng rng(57);
  int serial = 0;
  for (int iteration = 0; iteration < 150; ++iteration) {
    SCOPED_TRACE("iteration " + std::to_string(iteration));
    const CharsetInfo& charset = OneOf(rng, kCharsets);
    const std::filesystem::path dir = home.root() / std::to_string(iteration);
    std::filesystem::create_directories(dir);
    const ComposedCase c = RandomComposed(rng, charset, dir, serial);
    serial += 10;
    const ComposedMessage& composed = c.composed;

    MimeMessage written;
    ASSERT_EQ(BuildMessage(composed, &written), kMimeOk);
    ASSERT_EQ(written.Save(NoteWriteOptions(charset.name)), kMimeOk);
    const std::string stored = static_cast<const StoredStream&>(*written.stored()).data();
    std::filesystem::remove_all(dir);  // the committed message no longer needs the files
    ExpectFitsTransport(stored);
    ExpectCommittedBodies(*written.root(), stored, "root");

    MimeMessage read;
    ParseMessage(stored, &read);
    const CElMessagePart* root = read.root();
    ASSERT_NE(root, nullptr);
    ExpectSameHeaders(root->headers(), written.root()->headers());
    EXPECT_EQ(read.GetSubject(), composed.subject);
    EXPECT_NE(read.headers().Find(u"X-Priority"), nullptr);
    EXPECT_NE(read.headers().Find(u"Disposition-Notification-To"), nullptr);
    EXPECT_EQ(read.headers().Find(u"X-Not-Carried"), nullptr);
    ASSERT_NE(read.headers().Find(u"MIME-Version"), nullptr);
    EXPECT_EQ(read.headers().Find(u"MIME-Version")->rawValue, u"1.0");
    const AddressHeader* to = read.headers().FindAddressHeader(u"To");
    ASSERT_NE(to, nullptr);
    EXPECT_EQ(to->entries, composed.address_headers[1].entries);

    // Walk down the containers the builder had to make.
    const CElMessagePart* cursor = root;
    const CElMultiPartPart* mixed = nullptr;
    const CElMultiPartPart* related = nullptr;
    const CElMultiPartPart* alternative = nullptr;
    const CElMultiPartPart* innermost = nullptr;
    if (!composed.attachments.empty()) {
      innermost = mixed = AsContainer(cursor, names::kMixed);
      ASSERT_NE(mixed, nullptr) << "no mixed container";
      ASSERT_EQ(mixed->children().size(), composed.attachments.size() +
                                              (composed.inline_items.empty() && composed.bodies.size() <= 1
                                                   ? composed.bodies.size()
                                                   : 1));
      cursor = mixed->children()[0].get();
    }
    if (!composed.inline_items.empty()) {
      innermost = related = AsContainer(cursor, names::kRelated);
      ASSERT_NE(related, nullptr) << "no related container";
      ASSERT_EQ(related->children().size(),
                composed.inline_items.size() + (composed.bodies.size() <= 1 ? composed.bodies.size() : 1));
      cursor = related->children()[0].get();
    }
    if (composed.bodies.size() > 1) {
      innermost = alternative = AsContainer(cursor, names::kAlternative);
      ASSERT_NE(alternative, nullptr) << "no alternative container";
      ASSERT_EQ(alternative->children().size(), composed.bodies.size());
    }
    for (std::size_t i = 0; i < composed.bodies.size(); ++i) {
      ExpectBody(innermost ? innermost->children()[i].get() : root, composed.bodies[i], charset.name);
    }
    if (composed.bodies.empty() && !innermost) {
      ExpectBody(root, BodyAlternative{}, charset.name);  // nothing at all: an empty text
    }
    const std::size_t inline_first = related ? related->children().size() - composed.inline_items.size() : 0;
    for (std::size_t i = 0; i < composed.inline_items.size(); ++i) {
      ExpectItem(related->children()[inline_first + i].get(), composed.inline_items[i], c.inline_bytes[i],
                 c.inline_names[i], names::kInline);
    }
    const std::size_t attachment_first = mixed ? mixed->children().size() - composed.attachments.size() : 0;
    for (std::size_t i = 0; i < composed.attachments.size(); ++i) {
      ExpectItem(mixed->children()[attachment_first + i].get(), composed.attachments[i], c.attachment_bytes[i],
                 c.attachment_names[i], names::kAttachment);
    }
    if (HasFailure()) {
      ADD_FAILURE() << "charset " << charset.name << "\n" << Shortened(stored);
      break;
    }
  }
}

}  // namespace
}  // namespace mime
