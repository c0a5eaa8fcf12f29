#include "settings/account/mailhaven_accounts.h"

#include <cstdio>
#include <memory>

#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/config_store.h"
#include "settings/stored_password_cipher.h"

namespace settings {
namespace {

constexpr std::u16string_view kMailhavenKey = u"Software\\Corvane\\Mail2";
constexpr std::u16string_view kServicesKey = u"Software\\Corvane\\Mail2\\Services";
constexpr std::string_view kServicePrefix = "Service.{";
// The longest InstallDir value Mailhaven's readers accept, in bytes of UTF-16
// with the terminator.
constexpr std::size_t kMaxInstallDirBytes = 260;
// Mailhaven never stores a longer enciphered password.
constexpr std::size_t kMaxStoredPasswordBytes = 128;

// One account's values, wherever they are kept.
class AccountReader {
 public:
  virtual ~AccountReader() = default;
  virtual std::optional<std::string> Text(std::string_view key) const = 0;
  virtual std::optional<std::u16string> WideText(std::string_view key) const = 0;
  virtual std::optional<std::int32_t> Int(std::string_view key) const = 0;
  virtual std::optional<bool> Bool(std::string_view key) const = 0;
  virtual std::optional<std::vector<std::uint8_t>> Binary(std::string_view key) const = 0;

  std::string TextOr(std::string_view key) const { return Text(key).value_or(""); }
  std::int32_t IntOr(std::string_view key, std::int32_t def) const { return Int(key).value_or(def); }
  bool BoolOr(std::string_view key, bool def) const { return Bool(key).value_or(def); }
};

class FileAccountReader : public AccountReader {
 public:
  // The store with the account's node selected.
  explicit FileAccountReader(const ConfigStore& store) : store_(store) {}
  std::optional<std::string> Text(std::string_view key) const override {
    if (!store_.HasKey(key)) return std::nullopt;
    return store_.ReadText(key, "");
  }
  std::optional<std::u16string> WideText(std::string_view key) const override {
    if (!store_.HasKey(key)) return std::nullopt;
    return store_.ReadWideText(key, u"");
  }
  std::optional<std::int32_t> Int(std::string_view key) const override {
    // Two reads with different defaults tell a missing or bad value from a stored one.
    std::int32_t a = store_.ReadInt(key, 0), b = store_.ReadInt(key, 1);
    if (a != b) return std::nullopt;
    return a;
  }
  std::optional<bool> Bool(std::string_view key) const override {
    bool a = store_.ReadBool(key, false), b = store_.ReadBool(key, true);
    if (a != b) return std::nullopt;
    return a;
  }
  std::optional<std::vector<std::uint8_t>> Binary(std::string_view key) const override {
    return store_.ReadBinary(key);
  }

 private:
  const ConfigStore& store_;
};

class RegistryAccountReader : public AccountReader {
 public:
  explicit RegistryAccountReader(platform::RegistryKey key) : key_(std::move(key)) {}
  std::optional<std::string> Text(std::string_view key) const override {
    auto text = WideText(key);
    if (!text) return std::nullopt;
    return platform::Utf16ToUtf8(*text);
  }
  std::optional<std::u16string> WideText(std::string_view key) const override {
    auto value = key_.ReadValue(platform::Utf8ToUtf16(key));
    if (!value || value->type != platform::RegistryType::String) return std::nullopt;
    return value->text;
  }
  std::optional<std::int32_t> Int(std::string_view key) const override {
    auto value = key_.ReadValue(platform::Utf8ToUtf16(key));
    if (!value || value->type != platform::RegistryType::Dword) return std::nullopt;
    return static_cast<std::int32_t>(value->dword);
  }
  std::optional<bool> Bool(std::string_view key) const override {
    auto value = Int(key);
    if (!value) return std::nullopt;
    return *value != 0;
  }
  std::optional<std::vector<std::uint8_t>> Binary(std::string_view key) const override {
    auto value = key_.ReadValue(platform::Utf8ToUtf16(key));
    if (!value || value->type != platform::RegistryType::Binary) return std::nullopt;
    return value->bytes;
  }

 private:
  platform::RegistryKey key_;
};

bool IsOfferedClass(std::string_view account_class) { return account_class == "POP3" || account_class == "IMAP4"; }

std::string NodeOf(const MailAccountGuid& guid) { return "\\Service." + MailAccountGuidText(guid); }

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The password of one server's credentials: the plain key when set, else the
// enciphered one.
std::string ReadPassword(const AccountReader& reader, std::string_view plain_key, std::string_view stored_key,
                         std::string_view host, std::int32_t port, std::u16string_view service_name,
                         const MailAccountGuid& guid) {
  std::string plain = reader.TextOr(plain_key);
  if (!plain.empty()) return plain;
  auto stored = reader.Binary(stored_key);
  if (!stored) return {};
  return DecipherMailhavenPassword(*stored, host, port, service_name, guid);
}

void ReadValues(const AccountReader& reader, const MailAccountGuid& guid, AccountValues& v) {
  const std::string account_class = reader.TextOr("Class");
  const std::u16string service_name = reader.WideText("ServiceName").value_or(u"");

  v.host = reader.TextOr("SMTPHost");
  v.port = reader.IntOr("SMTPPort", 25);

  std::int32_t stored_mode = reader.IntOr("SMTPAuthentication", 0);
  // A mode Mailhaven does not define is taken as none rather than guessed at.
  if (stored_mode < 0 || stored_mode > 3) stored_mode = 0;
  // We keep no incoming account, so "same as incoming" becomes own credentials.
  v.authentication = stored_mode == 2 ? 3 : stored_mode;
  if (stored_mode == 0) {
    v.user_name.clear();
    v.password.clear();
  } else if (stored_mode == 2) {
    const bool pop3 = account_class == "POP3";
    const std::string prefix = pop3 ? "POP3" : "IMAP4";
    const std::string host = reader.TextOr(prefix + "Host");
    const std::int32_t port = reader.IntOr(prefix + "Port", pop3 ? 110 : 143);
    v.user_name = reader.TextOr(prefix + "UserName");
    v.password = ReadPassword(reader, prefix + "Password", prefix + "Psswd", host, port, service_name, guid);
  } else {
    v.user_name = reader.TextOr("SMTPUserName");
    v.password = ReadPassword(reader, "SMTPPassword", "SMTPPsswd", v.host, v.port, service_name, guid);
  }

  v.timeout = reader.IntOr("SMTPTimeout", 60);
  v.socks_address = reader.TextOr("SMTPSocksAddress");
  v.socks_port = reader.IntOr("SMTPSocksPort", 1028);
  v.socks_version = reader.IntOr("SMTPSocksVersion", 0);
  if (v.socks_version < 0 || v.socks_version > 3) v.socks_version = 0;
  v.socks_auth = reader.BoolOr("SMTPSocksAuth", false);
  v.socks_user_id = reader.TextOr("SMTPSocksUserID");
  v.socks_password = reader.TextOr("SMTPSocksPassword");
  v.use_ssl = reader.BoolOr("SMTPUseSSL", false);
  v.use_sasl = reader.BoolOr("SMTPUseSASL", false);
  v.ssl_explicit = reader.BoolOr("SMTPSSLExplicit", true);
  v.ssl_allow_insecure = reader.BoolOr("SMTPSSLAllowInsecure", false);
  v.ssl_versions = reader.IntOr("SMTPSSLVersions", 7) & 7;
  v.ssl_strong_encryption = reader.BoolOr("SMTPSSLStrongEncryption", false);
}

std::filesystem::path MailhavenInstallDir() {
  if (auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kMailhavenKey)) {
    if (auto dir = key->ReadString(u"InstallDir")) {
      if (!dir->empty() && (dir->size() + 1) * 2 <= kMaxInstallDirBytes) {
        std::string path = platform::Utf16ToUtf8(*dir);
        if (!path.ends_with('/')) path += '/';
        return path;
      }
    }
  }
  std::filesystem::path own = platform::folders::InstallDir();
  if (!own.has_filename()) own = own.parent_path();
  return own.parent_path() / "mailhaven" / "";
}

}  // namespace

std::string MailAccountGuidText(const MailAccountGuid& g) {
  const std::uint32_t data1 = g[0] | (g[1] << 8) | (g[2] << 16) | (static_cast<std::uint32_t>(g[3]) << 24);
  const unsigned data2 = g[4] | (g[5] << 8);
  const unsigned data3 = g[6] | (g[7] << 8);
  char text[39];
  std::snprintf(text, sizeof text, "{%.8x-%.4x-%.4x-%.2x%.2x-%.2x%.2x%.2x%.2x%.2x%.2x}", data1, data2, data3, g[8],
                g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return std::string(text, 38);
}

std::optional<MailAccountGuid> ParseMailAccountGuid(std::u16string_view text) {
  // Positions of the hex pairs in the text, in the order they are written.
  constexpr std::string_view kForm = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (text.size() != kForm.size()) return std::nullopt;
  std::uint8_t written[16];
  std::size_t count = 0;
  for (std::size_t i = 0; i < kForm.size(); ++i) {
    if (kForm[i] != 'x') {
      if (text[i] != kForm[i]) return std::nullopt;
      continue;
    }
    int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    written[count++] = static_cast<std::uint8_t>(high << 4 | low);
    ++i;
  }
  // The first three groups are numbers written most significant byte first.
  constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  MailAccountGuid guid{};
  for (int k = 0; k < 16; ++k) guid[kOrder[k]] = written[k];
  return guid;
}

std::filesystem::path MailhavenSettingsFile() { return MailhavenInstallDir() / "Data" / "Settings.ini"; }

std::string DecipherMailhavenPassword(std::span<const std::uint8_t> stored, std::string_view host, std::int32_t port,
                                      std::u16string_view service_name, const MailAccountGuid& guid) {
  if (stored.size() > kMaxStoredPasswordBytes) return {};
  std::vector<std::uint8_t> tail_source = platform::Utf16ToLeBytes(service_name);
  tail_source.insert(tail_source.end(), guid.begin(), guid.end());
  return StoredPasswordCipher(host, port, tail_source).Decipher(stored);
}

MailAccountList ListMailhavenAccounts() {
  MailAccountList list;
  ConfigStore store;
  if (store.LoadFile(MailhavenSettingsFile())) {
    list.mailhaven_found = true;
    list.source = MailAccountSource::SettingsFile;
    for (const std::string& name : store.ChildNodeNames("\\")) {
      if (!name.starts_with(kServicePrefix)) continue;
      if (!store.SelectNode("\\" + name)) continue;
      if (!IsOfferedClass(store.ReadText("Class", ""))) continue;
      auto guid_bytes = store.ReadBinary("GUID");
      if (!guid_bytes || guid_bytes->size() != 16) continue;  // not an account we could open again
      MailAccount account;
      std::copy(guid_bytes->begin(), guid_bytes->end(), account.guid.begin());
      account.service_name = store.ReadWideText("ServiceName", u"");
      list.accounts.push_back(std::move(account));
    }
    return list;
  }

  list.source = MailAccountSource::Registry;
  auto services = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kServicesKey);
  if (!services) return list;
  const std::vector<std::u16string> names = services->SubkeyNames();
  if (names.empty()) return list;
  list.mailhaven_found = true;
  for (const std::u16string& name : names) {
    auto guid = ParseMailAccountGuid(name);
    if (!guid) continue;
    auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser,
                                           std::u16string(kServicesKey) + u"\\" + name);
    if (!key) continue;
    RegistryAccountReader reader(std::move(*key));
    if (!IsOfferedClass(reader.TextOr("Class"))) continue;
    list.accounts.push_back(MailAccount{*guid, reader.WideText("ServiceName").value_or(u"")});
  }
  return list;
}

ImportResult ReadMailhavenAccount(const MailAccountGuid& guid, MailAccountSource source, AccountValues& values) {
  std::unique_ptr<AccountReader> reader;
  ConfigStore store;
  if (source == MailAccountSource::SettingsFile) {
    if (!store.LoadFile(MailhavenSettingsFile())) return ImportResult::MailhavenNotFound;
    if (!store.SelectNode(NodeOf(guid))) return ImportResult::NoSuchAccount;
    reader = std::make_unique<FileAccountReader>(store);
  } else {
    auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser,
                                           std::u16string(kServicesKey) + u"\\" +
                                               platform::Utf8ToUtf16(MailAccountGuidText(guid)));
    if (!key) return ImportResult::NoSuchAccount;
    reader = std::make_unique<RegistryAccountReader>(std::move(*key));
  }
  if (!IsOfferedClass(reader->TextOr("Class"))) return ImportResult::NoSuchAccount;
  AccountValues imported = values;
  ReadValues(*reader, guid, imported);
  values = std::move(imported);
  return ImportResult::Imported;
}

}  // namespace settings
