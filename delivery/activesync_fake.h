#pragma once
// A scripted messaging system for the failures the Maildir store cannot produce on
// demand: stores with other or unreadable names, rows without an entry
// identifier, attachment streams that refuse to open or to take bytes. Every call
// is recorded by name, in order, in `calls`.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "delivery/activesync_store.h"

namespace delivery {

struct FakeMessagingScript {
  struct Store {
    std::optional<std::string> entry_id;         // the row's column; nullopt: none
    std::optional<std::u16string> display_name;  // nullopt: cannot be read
    bool opens = true;
  };
  std::vector<Store> stores;
  bool logon_fails = false;
  int stream_open_failures = 0;  // OpenDataStream fails this many times first
  bool write_fails = false;
  bool commit_fails = false;

  std::vector<std::string> calls;
  std::vector<std::string> created_in;  // entry ids of stores a message was created in
  std::vector<MessageRecipient> recipients;
  std::optional<std::u16string> subject;
  std::u16string body;
  std::string attachment_data;
  bool committed = false;
  bool submitted = false;
};

class FakeMessagingSession : public MessagingSession {
 public:
  explicit FakeMessagingSession(FakeMessagingScript* script) : script_(script) {}

  MessagingResult OpenStoresTable() override {
    script_->calls.push_back("OpenStoresTable");
    return kMessagingOk;
  }
  bool NextStoreRow(StoreRow* row) override {
    script_->calls.push_back("NextStoreRow");
    if (next_ >= script_->stores.size()) return false;
    row->entry_id = script_->stores[next_++].entry_id;
    return true;
  }
  MessagingResult OpenStore(const std::string& entry_id, std::unique_ptr<MessageStore>* store) override;

 private:
  FakeMessagingScript* script_;
  std::size_t next_ = 0;
};

namespace fake_messaging_internal {

class Attachment : public MessageAttachment {
 public:
  explicit Attachment(FakeMessagingScript* s) : s_(s) {}
  MessagingResult SetProperties(std::u16string_view, std::uint32_t, std::uint32_t) override {
    s_->calls.push_back("Attachment.SetProperties");
    return kMessagingOk;
  }
  MessagingResult OpenDataStream() override {
    s_->calls.push_back("OpenDataStream");
    if (s_->stream_open_failures > 0) {
      --s_->stream_open_failures;
      return kMessagingFail;
    }
    return kMessagingOk;
  }
  MessagingResult WriteData(std::span<const std::uint8_t> bytes) override {
    s_->calls.push_back("WriteData");
    if (s_->write_fails) return kMessagingFail;
    s_->attachment_data.append(bytes.begin(), bytes.end());
    return kMessagingOk;
  }
  MessagingResult CommitData() override {
    s_->calls.push_back("CommitData");
    if (s_->commit_fails) return kMessagingFail;
    s_->committed = true;
    return kMessagingOk;
  }

 private:
  FakeMessagingScript* s_;
};

class Message : public DraftMessage {
 public:
  explicit Message(FakeMessagingScript* s) : s_(s) {}
  MessagingResult AddRecipients(const std::vector<MessageRecipient>& r) override {
    s_->calls.push_back("AddRecipients");
    s_->recipients = r;
    return kMessagingOk;
  }
  MessagingResult SetProperties(std::uint32_t, std::uint32_t, const std::optional<std::u16string>& subject) override {
    s_->calls.push_back("SetProperties");
    s_->subject = subject;
    return kMessagingOk;
  }
  MessagingResult WriteBody(std::u16string_view text) override {
    s_->calls.push_back("WriteBody");
    s_->body = text;
    return kMessagingOk;
  }
  MessagingResult CreateAttachment(std::unique_ptr<MessageAttachment>* a) override {
    s_->calls.push_back("CreateAttachment");
    *a = std::make_unique<Attachment>(s_);
    return kMessagingOk;
  }
  MessagingResult Submit() override {
    s_->calls.push_back("Submit");
    s_->submitted = true;
    return kMessagingOk;
  }

 private:
  FakeMessagingScript* s_;
};

class Folder : public MessageFolder {
 public:
  Folder(FakeMessagingScript* s, std::string store) : s_(s), store_(std::move(store)) {}
  MessagingResult CreateMessage(std::unique_ptr<DraftMessage>* m) override {
    s_->calls.push_back("CreateMessage");
    s_->created_in.push_back(store_);
    *m = std::make_unique<Message>(s_);
    return kMessagingOk;
  }

 private:
  FakeMessagingScript* s_;
  std::string store_;
};

class Store : public MessageStore {
 public:
  Store(FakeMessagingScript* s, const FakeMessagingScript::Store& def) : s_(s), def_(def) {}
  std::optional<std::u16string> DisplayName() override {
    s_->calls.push_back("DisplayName");
    return def_.display_name;
  }
  std::optional<std::string> DraftsFolderId() override { return *def_.entry_id + "/Drafts"; }
  MessagingResult OpenFolder(const std::string&, std::unique_ptr<MessageFolder>* f) override {
    s_->calls.push_back("OpenFolder");
    *f = std::make_unique<Folder>(s_, *def_.entry_id);
    return kMessagingOk;
  }

 private:
  FakeMessagingScript* s_;
  FakeMessagingScript::Store def_;
};

}  // namespace fake_messaging_internal

inline MessagingResult FakeMessagingSession::OpenStore(const std::string& entry_id, std::unique_ptr<MessageStore>* store) {
  script_->calls.push_back("OpenStore " + entry_id);
  for (const auto& def : script_->stores) {
    if (def.entry_id == entry_id) {
      if (!def.opens) return kMessagingNotFound;
      *store = std::make_unique<fake_messaging_internal::Store>(script_, def);
      return kMessagingOk;
    }
  }
  return kMessagingNotFound;
}

// A logon that gives a session on the script (or fails when the script says so).
inline auto FakeMessagingLogon(FakeMessagingScript* script) {
  return [script](std::unique_ptr<MessagingSession>* session) -> MessagingResult {
    script->calls.push_back("Logon");
    if (script->logon_fails) return kMessagingFail;
    *session = std::make_unique<FakeMessagingSession>(script);
    return kMessagingOk;
  };
}

}  // namespace delivery
