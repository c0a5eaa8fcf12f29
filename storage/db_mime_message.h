#pragma once
// CElDBMimeMessage: one message of the mail storage, its header record and its
// MIME text kept in "Bodies" chunks of 2048 bytes. The message model (mime())
// is built by the caller and written by Save, or read back by LoadContent;
// OpenContent streams the stored text chunk by chunk without loading it whole.

#include <memory>

#include "mime/byte_stream.h"
#include "mime/mime_message.h"
#include "storage/mail_storage.h"

namespace storage {

class CElDBMimeMessage {
 public:
  ~CElDBMimeMessage();
  CElDBMimeMessage(const CElDBMimeMessage&) = delete;
  CElDBMimeMessage& operator=(const CElDBMimeMessage&) = delete;

  RecordId id() const { return record_.id; }
  // The header record as last read or saved.
  const MessageRecord& record() const { return record_; }
  mime::MimeMessage& mime() { return *mime_; }

  // Writes the MIME text of mime() into Bodies and the header record (address
  // lists, subject, size, save time) from its headers, in one transaction.
  // kStorageInvalidData when the message has no root; MIME write errors
  // (mime/result.h) when the content cannot be read.
  [[nodiscard]] StorageResult Save(const mime::WriteOptions& options);
  // Reads the stored MIME text back into mime().
  [[nodiscard]] StorageResult LoadContent();
  // The stored MIME text: chunks 0, 1, 2, ... up to the first missing one.
  // The source reads the volume and must not outlive the storage.
  [[nodiscard]] StorageResult OpenContent(std::shared_ptr<const mime::ByteSource>* out) const;

 private:
  friend class MailFolder;
  CElDBMimeMessage(MailStorage* storage, MessageRecord record);

  MailStorage* storage_;
  MessageRecord record_;
  std::unique_ptr<mime::MimeMessage> mime_;
};

}  // namespace storage
