#pragma once
// One message: the root of its part tree, the message-level header operations (which
// act on the root's HeaderList), and the stored stream its committed bodies live in.
//
// The message owns its root part and shares the stored stream with whoever keeps
// the stored form (the mail storage).

#include <memory>
#include <string>
#include <string_view>

#include "mime/byte_stream.h"
#include "mime/header_list.h"
#include "mime/message_part.h"
#include "mime/result.h"

namespace mime {

class MimeMessage {
 public:
  MimeMessage();
  ~MimeMessage();
  MimeMessage(const MimeMessage&) = delete;
  MimeMessage& operator=(const MimeMessage&) = delete;

  CElMessagePart* root() const { return root_.get(); }
  // Creates the root of the given class (CElMultiPartPart, CElPlainTextPart, ...).
  template <typename Part>
  Part* CreateRoot() {
    auto part = std::make_unique<Part>(this, nullptr);
    Part* raw = part.get();
    SetRoot(std::move(part));
    return raw;
  }
  // Installs a root made for this message; the previous root is destroyed.
  void SetRoot(std::unique_ptr<CElMessagePart> root);
  // The root as a multipart part, or null.
  CElMultiPartPart* RootMultiPart() const;

  // The fields of a new outgoing message on the root: Date (now), Message-ID, and
  // MIME-Version "1.0". Needs a root.
  void InitializeNew();

  // The stored value always carries one pair of angle brackets.
  void SetMessageId(std::u16string_view id);
  // Without the brackets when the stored value is a balanced "<...>".
  std::u16string GetMessageId() const;
  void SetSubject(std::u16string_view subject);
  std::u16string GetSubject() const;
  void SetDate(std::u16string_view date_text);
  void AddMailbox(std::u16string_view header_name, Mailbox mailbox);
  void AddGroup(std::u16string_view header_name, AddressGroup group);
  HeaderList& headers();

  // Serialises the whole tree.
  [[nodiscard]] MimeResult Write(ByteSink& out, const WriteOptions& options);
  // The commit write into a new stored stream; afterwards every leaf refers to its
  // body in it and the message keeps the stream. Returns the write's first error.
  [[nodiscard]] MimeResult Save(const WriteOptions& options);

  // The stream committed bodies refer to: the saved or parsed form of the message.
  const std::shared_ptr<const ByteSource>& stored() const { return stored_; }
  void SetStored(std::shared_ptr<const ByteSource> stored) { stored_ = std::move(stored); }

 private:
  std::unique_ptr<CElMessagePart> root_;
  std::shared_ptr<const ByteSource> stored_;
};

}  // namespace mime
