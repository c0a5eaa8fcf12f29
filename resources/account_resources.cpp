#include "resources/account_resources.h"

#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/resources.h"

namespace resources {
namespace {

using platform::DWORD;
using platform::RECT;
using platform::WS_POPUP;
using platform::WS_VISIBLE;
using toolkit::ControlTemplate;

constexpr int kWidth = platform::kDefaultScreenWidth;
constexpr int kHeight = platform::kDefaultScreenHeight - 26;  // above the soft-key bar
constexpr int kMargin = 4;
constexpr int kRow = 24;

constexpr UINT kOkCommand = 1;      // IDOK
constexpr UINT kCancelCommand = 2;  // IDCANCEL
constexpr DWORD kShown = WS_VISIBLE;
constexpr DWORD kTab = toolkit::WS_TABSTOP | WS_VISIBLE;

ControlTemplate Label(int id, std::u16string text, int row, int left = kMargin, int right = kWidth - kMargin) {
  return {std::u16string(toolkit::kStaticClass), id, std::move(text),
          RECT{left, kMargin + row * kRow + 3, right, kMargin + row * kRow + kRow - 3}, toolkit::SS_LEFT | kShown, 0};
}

ControlTemplate Edit(int id, int row, int left, int right, DWORD extra = 0) {
  return {std::u16string(toolkit::kEditClass), id, u"",
          RECT{left, kMargin + row * kRow + 1, right, kMargin + row * kRow + kRow - 1},
          toolkit::ES_LEFT | toolkit::ES_AUTOHSCROLL | kTab | extra, 0};
}

ControlTemplate Button(int id, std::u16string text, int row, int left, int right, DWORD type) {
  return {std::u16string(toolkit::kButtonClass), id, std::move(text),
          RECT{left, kMargin + row * kRow + 1, right, kMargin + row * kRow + kRow - 1}, type | kTab, 0};
}

toolkit::DialogTemplate Dialog(std::u16string title) {
  toolkit::DialogTemplate d;
  d.title = std::move(title);
  d.width = kWidth;
  d.height = kHeight;
  d.style = WS_POPUP;
  return d;
}

void AddAccountDialog() {
  constexpr int kField = 96;
  constexpr int kSettings = kWidth - kMargin - 68;
  auto d = Dialog(u"Account Settings");
  d.controls = {
      Label(2001, u"Host Address:", 0, kMargin, kField),
      Edit(kAccountHostEdit, 0, kField, kWidth - kMargin),
      Label(2003, u"Port:", 1, kMargin, kField),
      Edit(kAccountPortEdit, 1, kField, kField + 56),
      Button(kAccountDefaultsButton, u"Use Defaults", 1, kField + 62, kWidth - kMargin, toolkit::BS_PUSHBUTTON),
      Label(2006, u"Time-out:", 2, kMargin, kField),
      Label(kAccountTimeoutLabel, u"", 2, kField, kWidth - kMargin),
      {std::u16string(toolkit::kTrackbarClass), kAccountTimeoutSlider, u"",
       RECT{kMargin, kMargin + 3 * kRow, kWidth - kMargin, kMargin + 4 * kRow}, toolkit::TBS_HORZ | kTab, 0},
      Button(kAccountAuthCheck, u"Authentication required", 4, kMargin, kSettings - 4, toolkit::BS_AUTOCHECKBOX),
      Button(kAccountAuthSettings, u"Settings\u2026", 4, kSettings, kWidth - kMargin, toolkit::BS_PUSHBUTTON),
      Button(kAccountSocksCheck, u"Use SOCKS server", 5, kMargin, kSettings - 4, toolkit::BS_AUTOCHECKBOX),
      Button(kAccountSocksSettings, u"Settings\u2026", 5, kSettings, kWidth - kMargin, toolkit::BS_PUSHBUTTON),
      Button(kAccountSslCheck, u"Use secure connection", 6, kMargin, kSettings - 4, toolkit::BS_AUTOCHECKBOX),
      Button(kAccountSslSettings, u"Settings\u2026", 6, kSettings, kWidth - kMargin, toolkit::BS_PUSHBUTTON),
      Button(kAccountSaslCheck, u"Use secure authentication", 7, kMargin, kWidth - kMargin, toolkit::BS_AUTOCHECKBOX),
  };
  toolkit::AddDialogTemplate(kAccountDialog, std::move(d));
}

void AddAuthenticationDialog() {
  constexpr int kField = 84;
  auto d = Dialog(u"SMTP Authentication Settings");
  d.controls = {
      Label(2020, u"User Name:", 0, kMargin, kField),
      Edit(kAuthUserEdit, 0, kField, kWidth - kMargin),
      Label(2022, u"Password:", 1, kMargin, kField),
      Edit(kAuthPasswordEdit, 1, kField, kWidth - kMargin, toolkit::ES_PASSWORD),
      Button(kAuthCheckMailCheck, u"Check mail before sending", 2, kMargin, kWidth - kMargin,
             toolkit::BS_AUTOCHECKBOX),
  };
  toolkit::AddDialogTemplate(kAuthenticationDialog, std::move(d));
}

void AddSocksDialog() {
  constexpr int kField = 96;
  auto d = Dialog(u"Socks Settings");
  d.controls = {
      Label(2030, u"Host Address:", 0, kMargin, kField),
      Edit(kSocksHostEdit, 0, kField, kWidth - kMargin),
      Label(2032, u"Port:", 1, kMargin, kField),
      Edit(kSocksPortEdit, 1, kField, kField + 56),
      Label(2034, u"Version:", 2, kMargin, kField),
      {std::u16string(toolkit::kComboBoxClass), kSocksVersionCombo, u"",
       RECT{kField, kMargin + 2 * kRow + 1, kWidth - kMargin, kMargin + 3 * kRow - 1},
       toolkit::CBS_DROPDOWNLIST | kTab, 0},
      Button(kSocksAuthCheck, u"Use Authentication", 3, kMargin, kWidth - kMargin, toolkit::BS_AUTOCHECKBOX),
      Label(2037, u"User ID:", 4, kMargin, kField),
      Edit(kSocksUserEdit, 4, kField, kWidth - kMargin),
      Label(2039, u"Password:", 5, kMargin, kField),
      Edit(kSocksPasswordEdit, 5, kField, kWidth - kMargin, toolkit::ES_PASSWORD),
  };
  toolkit::AddDialogTemplate(kSocksDialog, std::move(d));
}

// Both tabs' controls live in the one template; the dialog shows those of the
// selected tab. Rows start below the tab strip.
void AddSslDialog() {
  auto d = Dialog(u"SSL Settings");
  auto group = [](int id, std::u16string text, int row, int rows) {
    return ControlTemplate{std::u16string(toolkit::kButtonClass), id, std::move(text),
                           RECT{kMargin, kMargin + row * kRow, kWidth - kMargin, kMargin + (row + rows) * kRow},
                           toolkit::BS_GROUPBOX | kShown, 0};
  };
  constexpr int kIndent = 3 * kMargin;
  d.controls = {
      {std::u16string(toolkit::kTabControlClass), kSslTabs, u"", RECT{0, 0, kWidth, kRow}, kTab, 0},
      group(kSslTypeGroup, u"Connection Type", 1, 3),
      Button(kSslImplicitRadio, u"Implicit (connects to dedicated port)", 1, kIndent, kWidth - kIndent,
             toolkit::BS_AUTORADIOBUTTON | toolkit::WS_GROUP),
      Button(kSslExplicitRadio, u"Explicit (connects to regular port)", 2, kIndent, kWidth - kIndent,
             toolkit::BS_AUTORADIOBUTTON),
      Button(kSslInsecureCheck, u"Use insecure connection if secure one cannot be established", 3, kIndent,
             kWidth - kIndent, toolkit::BS_AUTOCHECKBOX),
      group(kSslVersionsGroup, u"Protocol Versions", 4, 2),
      Button(kSslSsl2Check, u"SSL 2", 5, kIndent, 80, toolkit::BS_AUTOCHECKBOX),
      Button(kSslSsl3Check, u"SSL 3", 5, 84, 152, toolkit::BS_AUTOCHECKBOX),
      Button(kSslTls1Check, u"TLS 1", 5, 156, kWidth - kIndent, toolkit::BS_AUTOCHECKBOX),
      Button(kSslStrongCheck, u"Use ONLY strong encryption algorithms (128 bits and more)", 6, kMargin,
             kWidth - kMargin, toolkit::BS_AUTOCHECKBOX),
      // "Certificates", hidden until its tab is chosen.
      {std::u16string(toolkit::kStaticClass), kSslCertLabel, u"Trusted root certificates:",
       RECT{kMargin, kMargin + kRow + 3, kWidth - kMargin, kMargin + 2 * kRow - 3}, toolkit::SS_LEFT, 0},
      {std::u16string(toolkit::kListBoxClass), kSslCertList, u"",
       RECT{kMargin, kMargin + 2 * kRow, kWidth - kMargin, kMargin + 9 * kRow},
       toolkit::LBS_NOTIFY | toolkit::WS_TABSTOP, 0},
      {std::u16string(toolkit::kButtonClass), kSslCertImport, u"Import\u2026",
       RECT{kMargin, kMargin + 9 * kRow + 2, kWidth / 2 - 2, kMargin + 10 * kRow},
       toolkit::BS_PUSHBUTTON | toolkit::WS_TABSTOP, 0},
      {std::u16string(toolkit::kButtonClass), kSslCertRemove, u"Remove",
       RECT{kWidth / 2 + 2, kMargin + 9 * kRow + 2, kWidth - kMargin, kMargin + 10 * kRow},
       toolkit::BS_PUSHBUTTON | toolkit::WS_TABSTOP, 0},
  };
  toolkit::AddDialogTemplate(kSslDialog, std::move(d));
}

void AddConnectionDialog() {
  auto d = Dialog(u"Connection Settings");
  const std::u16string texts[] = {
      u"Do not establish a connection (I will connect manually)",
      u"Connect to \"Work\" (synchronization fails if the connection could not be established)",
      u"Connect to \"The Internet\" (synchronization fails if the connection could not be established)",
      u"Connect to \"Work\"; if fails try to connect to \"The Internet\"",
      u"Connect to \"The Internet\"; if fails try to connect to \"Work\"",
  };
  for (int k = 0; k < 5; ++k) {
    d.controls.push_back({std::u16string(toolkit::kButtonClass), kConnectionFirstRadio + k, texts[k],
                          RECT{kMargin, kMargin + 2 * k * kRow, kWidth - kMargin, kMargin + (2 * k + 2) * kRow - 2},
                          toolkit::BS_AUTORADIOBUTTON | kTab | (k == 0 ? toolkit::WS_GROUP : 0), 0});
  }
  toolkit::AddDialogTemplate(kConnectionDialog, std::move(d));
}

void AddMailhavenAccountsDialog() {
  auto d = Dialog(u"Account Import");
  d.controls = {
      {std::u16string(toolkit::kStaticClass), kMailhavenPrompt,
       u"Please select Mailhaven account to import outgoing mail server data from.",
       RECT{kMargin, kMargin, kWidth - kMargin, kMargin + 2 * kRow}, toolkit::SS_LEFT | kShown, 0},
      {std::u16string(toolkit::kListBoxClass), kMailhavenList, u"",
       RECT{kMargin, kMargin + 2 * kRow, kWidth - kMargin, kHeight - kMargin}, toolkit::LBS_NOTIFY | kTab, 0},
  };
  toolkit::AddDialogTemplate(kMailhavenAccountsDialog, std::move(d));
}

void AddMenuBars() {
  toolkit::MenuBarResource ok_cancel;
  ok_cancel.keys = {toolkit::SoftKeyResource{u"OK", kOkCommand, 0, {}},
                    toolkit::SoftKeyResource{u"Cancel", kCancelCommand, 0, {}}};
  toolkit::AddMenuBar(kOkCancelMenuBar, std::move(ok_cancel));

  toolkit::MenuBarResource account;
  account.keys = {toolkit::SoftKeyResource{u"OK", kOkCommand, 0, {}},
                  toolkit::SoftKeyResource{u"Menu",
                                           0,
                                           kAccountMenuPopup,
                                           {{u"Save && Test", kSaveAndTestCommand},
                                            {u"Import from Mailhaven\u2026", kImportMailhavenCommand},
                                            {u"", 0},
                                            {u"Cancel", kCancelCommand}}}};
  toolkit::AddMenuBar(kAccountMenuBar, std::move(account));
}

}  // namespace

void RegisterAccountResources() {
  AddAccountDialog();
  AddAuthenticationDialog();
  AddSocksDialog();
  AddSslDialog();
  AddConnectionDialog();
  AddMailhavenAccountsDialog();
  AddMenuBars();
}

}  // namespace resources
