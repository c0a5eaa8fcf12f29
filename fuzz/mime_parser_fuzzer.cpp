// Parses arbitrary bytes as a message, then writes the tree and parses that again:
// neither may crash, and a tree the writer produced must read back the same shape.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mime/message_parser.h"
#include "mime/mime_message.h"

namespace {

std::size_t CountParts(const mime::CElMessagePart& part) {
  std::size_t n = 1;
  auto* multi = dynamic_cast<const mime::CElMultiPartPart*>(&part);
  if (multi && part.ClassName() == u"CElMultiPartPart") {
    for (const auto& child : multi->children()) n += CountParts(*child);
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  mime::MimeMessage message;
  mime::ParseMessage(std::string(reinterpret_cast<const char*>(data), size), &message);
  if (!message.root()) std::abort();

  // Every decoded body and text can be read.
  std::string bytes;
  (void)message.root()->ReadContent(&bytes);
  (void)message.GetSubject();
  (void)message.GetMessageId();
  (void)message.root()->GetFileName();

  mime::StringSink first;
  mime::WriteOptions options;
  options.charset = "utf-8";
  (void)message.Write(first, options);

  mime::MimeMessage again;
  mime::ParseMessage(first.data(), &again);
  mime::StringSink second;
  (void)again.Write(second, options);
  // Written once more from its own output, the tree keeps its shape.
  if (CountParts(*again.root()) != CountParts(*message.root())) std::abort();
  return 0;
}
