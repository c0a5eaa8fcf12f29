#include "storage/db_mime_message.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "mime/message_parser.h"
#include "mime/names.h"

namespace storage {
namespace {

// Cuts what the message writer produces into Bodies records as it comes, so
// an attachment is never held whole in memory.
class ChunkSink : public mime::ByteSink {
 public:
  ChunkSink(DatabaseVolume& volume, RecordId id)
      : insert_(volume, "INSERT INTO Bodies(f0, f1, f2) VALUES(?, ?, ?)"), id_(id) {
    buffer_.reserve(kBodyChunkSize);
  }
  StorageResult status() const { return status_ != kStorageOk ? status_ : insert_.status(); }
  [[nodiscard]] StorageResult Flush() {
    if (!buffer_.empty()) WriteChunk();
    return status();
  }

 protected:
  mime::MimeResult DoWrite(std::span<const std::uint8_t> bytes) override {
    while (!bytes.empty() && status() == kStorageOk) {
      std::size_t take = std::min(bytes.size(), kBodyChunkSize - buffer_.size());
      buffer_.insert(buffer_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
      bytes = bytes.subspan(take);
      if (buffer_.size() == kBodyChunkSize) WriteChunk();
    }
    return status() == kStorageOk ? mime::kMimeOk : mime::kMimeErrorWrite;
  }

 private:
  void WriteChunk() {
    insert_.Reset();
    insert_.Bind(1, static_cast<std::int64_t>(index_++));
    insert_.Bind(2, static_cast<std::int64_t>(id_));
    insert_.BindBlob(3, buffer_);
    status_ = insert_.Run();
    buffer_.clear();
  }

  Statement insert_;
  RecordId id_;
  std::uint32_t index_ = 0;
  std::vector<std::uint8_t> buffer_;
  StorageResult status_ = kStorageOk;
};

// The stored text read chunk by chunk; the chunk list is taken when opened.
class ChunkSource : public mime::ByteSource {
 public:
  ChunkSource(DatabaseVolume& volume, RecordId id, std::vector<std::uint64_t> starts, std::uint64_t size)
      : volume_(volume), id_(id), starts_(std::move(starts)), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  mime::MimeResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t* got) const override {
    *got = 0;
    while (!out.empty() && offset < size_) {
      auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
      std::uint32_t index = static_cast<std::uint32_t>(it - starts_.begin() - 1);
      if (index != cached_index_) {
        Statement s(volume_, "SELECT f2 FROM Bodies WHERE f0 = ? AND f1 = ?");
        s.Bind(1, static_cast<std::int64_t>(index));
        s.Bind(2, static_cast<std::int64_t>(id_));
        if (!s.Step()) return mime::kMimeErrorRead;
        auto blob = s.Blob(0);
        cached_.assign(blob.begin(), blob.end());
        cached_index_ = index;
      }
      std::uint64_t within = offset - starts_[index];
      if (within >= cached_.size()) return mime::kMimeErrorRead;
      std::size_t n = std::min<std::size_t>(out.size(), cached_.size() - static_cast<std::size_t>(within));
      std::memcpy(out.data(), cached_.data() + within, n);
      out = out.subspan(n);
      offset += n;
      *got += n;
    }
    return mime::kMimeOk;
  }

 private:
  DatabaseVolume& volume_;
  RecordId id_;
  std::vector<std::uint64_t> starts_;
  std::uint64_t size_;
  mutable std::uint32_t cached_index_ = UINT32_MAX;
  mutable std::vector<std::uint8_t> cached_;
};

std::u16string AddressField(const mime::HeaderList& headers, std::u16string_view name) {
  const mime::AddressHeader* header = headers.FindAddressHeader(name);
  return header ? AddressListText(header->entries) : std::u16string();
}

}  // namespace

CElDBMimeMessage::CElDBMimeMessage(MailStorage* storage, MessageRecord record)
    : storage_(storage), record_(std::move(record)), mime_(std::make_unique<mime::MimeMessage>()) {}

CElDBMimeMessage::~CElDBMimeMessage() = default;

StorageResult CElDBMimeMessage::Save(const mime::WriteOptions& options) {
  DatabaseVolume* volume = storage_->volume();
  if (!volume) return kStorageFailure;
  if (!mime_->root()) return kStorageInvalidData;
  MessageRecord* cached = storage_->FindRecord(record_.id);
  if (!cached) return kStorageNotFound;
  Transaction transaction(*volume);
  if (transaction.status() != kStorageOk) return transaction.status();
  Statement drop(*volume, "DELETE FROM Bodies WHERE f1 = ?");
  drop.Bind(1, static_cast<std::int64_t>(record_.id));
  StorageResult result = drop.Run();
  if (result != kStorageOk) return result;
  ChunkSink sink(*volume, record_.id);
  mime::MimeResult written = mime_->Write(sink, options);
  result = sink.Flush();
  if (result != kStorageOk) return result;
  if (mime::Failed(written)) return written;  // the content could not be read: nothing is kept

  MessageRecord updated = *cached;
  const mime::HeaderList& headers = mime_->headers();
  updated.subject = mime_->GetSubject();
  updated.from = AddressField(headers, mime::names::kFrom);
  updated.to = AddressField(headers, mime::names::kTo);
  updated.cc = AddressField(headers, mime::names::kCc);
  updated.bcc = AddressField(headers, mime::names::kBcc);
  updated.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(sink.written(), UINT32_MAX));
  updated.saved = FileTimeNow();
  updated.text11 = mime_->GetMessageId();
  Statement s(*volume, "UPDATE Messages SET f2 = ?, f3 = ?, f4 = ?, f5 = ?, f6 = ?, f7 = ?, f9 = ?, f11 = ? WHERE id = ?");
  s.Bind(1, updated.subject);
  s.Bind(2, updated.from);
  s.Bind(3, updated.to);
  s.Bind(4, updated.cc);
  s.Bind(5, updated.bcc);
  s.Bind(6, static_cast<std::int64_t>(updated.size));
  s.Bind(7, static_cast<std::int64_t>(updated.saved));
  s.Bind(8, updated.text11);
  s.Bind(9, static_cast<std::int64_t>(record_.id));
  result = s.Run();
  if (result == kStorageOk) result = transaction.Commit();
  if (result != kStorageOk) return result;
  *cached = updated;
  record_ = std::move(updated);
  return kStorageOk;
}

StorageResult CElDBMimeMessage::OpenContent(std::shared_ptr<const mime::ByteSource>* out) const {
  out->reset();
  DatabaseVolume* volume = storage_->volume();
  if (!volume) return kStorageFailure;
  Statement s(*volume, "SELECT f0, length(f2) FROM Bodies WHERE f1 = ? ORDER BY f0");
  s.Bind(1, static_cast<std::int64_t>(record_.id));
  std::vector<std::uint64_t> starts;
  std::uint64_t size = 0;
  while (s.Step()) {
    if (static_cast<std::uint64_t>(s.Int(0)) != starts.size()) break;  // the walk ends at the first gap
    starts.push_back(size);
    size += static_cast<std::uint64_t>(s.Int(1));
  }
  if (s.status() != kStorageOk) return s.status();
  *out = std::make_shared<ChunkSource>(*volume, record_.id, std::move(starts), size);
  return kStorageOk;
}

StorageResult CElDBMimeMessage::LoadContent() {
  std::shared_ptr<const mime::ByteSource> source;
  StorageResult result = OpenContent(&source);
  if (result != kStorageOk) return result;
  return mime::ParseMessage(*source, mime_.get());
}

}  // namespace storage
