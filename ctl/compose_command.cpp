#include "ctl/compose_command.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "mime/charset.h"
#include "mime/mime_message.h"
#include "mime/note_message.h"
#include "platform/mime_types.h"
#include "platform/text.h"

namespace {

constexpr char kUsage[] =
    "usage: dictaloctl compose --from ADDR --to ADDR [--cc ADDR] --subject TEXT [--text TEXT] "
    "[--charset NAME] FILE...";

int Fail(std::ostream& err, const std::string& message) {
  err << "dictaloctl compose: " << message << "\n";
  return 2;
}

}  // namespace

int RunComposeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  static const char* const kOptions[] = {"from", "to", "cc", "subject", "text", "charset"};
  std::map<std::string, std::string> options;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (!arg.starts_with("--")) {
      files.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2), value;
    if (std::size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return Fail(err, "option --" + name + " needs a value; " + kUsage);
    }
    if (std::find(std::begin(kOptions), std::end(kOptions), name) == std::end(kOptions)) {
      return Fail(err, "unknown option --" + name + "; " + kUsage);
    }
    options[name] = value;
  }
  for (const char* required : {"from", "to", "subject"}) {
    if (options[required].empty()) return Fail(err, std::string("--") + required + " is missing; " + kUsage);
  }
  if (files.empty()) return Fail(err, std::string("no note file given; ") + kUsage);
  const std::string charset = options.count("charset") ? options["charset"] : "utf-8";
  if (!mime::IsSupportedCharset(charset)) return Fail(err, "unknown charset \"" + charset + "\"");

  mime::NoteMessageRequest request;
  request.from = platform::Utf8ToUtf16(options["from"]);
  request.to = platform::Utf8ToUtf16(options["to"]);
  request.cc = platform::Utf8ToUtf16(options["cc"]);
  request.subject = platform::Utf8ToUtf16(options["subject"]);
  request.body_text = platform::Utf8ToUtf16(options["text"]);
  for (const std::string& file : files) {
    std::filesystem::path path(file);
    std::ifstream probe(path, std::ios::binary);
    std::error_code ec;
    if (!probe || !std::filesystem::is_regular_file(path, ec)) return Fail(err, "cannot read " + file);
    std::string type = platform::ContentTypeForExtension(path.extension().string()).value_or("application/octet-stream");
    request.attachments.push_back({path, type});
  }

  mime::MimeMessage message;
  if (mime::BuildMessage(mime::ComposeNoteMessage(request), &message) != mime::kMimeOk) {
    return Fail(err, "cannot read the note files");
  }
  mime::MimeResult r = message.Save(mime::NoteWriteOptions(charset));
  if (r != mime::kMimeOk) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", r);
    return Fail(err, std::string("the message could not be written (") + code + ")");
  }
  std::string stored;
  if (mime::ReadAll(*message.stored(), &stored) != mime::kMimeOk) return Fail(err, "the message could not be read back");
  out.write(stored.data(), static_cast<std::streamsize>(stored.size()));
  out.flush();
  return out ? 0 : 2;
}
