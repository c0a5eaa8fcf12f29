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
// A control of several text lines: 15 pixels a line (a line of text at 96 dpi
// with its leading) and a little room around them.
constexpr int LinesHigh(int lines) { return lines * 15 + 6; }

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
  // Below the slider, rows of two lines: a check box whose text does not fit
  // beside its "Settings…" button breaks rather than runs under it; the
  // button, one line high, sits in the middle of its row.
  constexpr int kSwitchTop = kMargin + 4 * kRow;
  constexpr int kSwitchRow = LinesHigh(2) + 2;
  auto check = [](int id, std::u16string text, int row, int right) {
    int top = kSwitchTop + row * kSwitchRow;
    return ControlTemplate{std::u16string(toolkit::kButtonClass), id, std::move(text),
                           RECT{kMargin, top, right, top + LinesHigh(2)}, toolkit::BS_AUTOCHECKBOX | kTab, 0};
  };
  auto settings = [](int id, int row) {
    int middle = kSwitchTop + row * kSwitchRow + kSwitchRow / 2;
    return ControlTemplate{std::u16string(toolkit::kButtonClass), id, u"Settings\u2026",
                           RECT{kSettings, middle - 11, kWidth - kMargin, middle + 11},
                           toolkit::BS_PUSHBUTTON | kTab, 0};
  };
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
      check(kAccountAuthCheck, u"Authentication required", 0, kSettings - 4),
      settings(kAccountAuthSettings, 0),
      check(kAccountSocksCheck, u"Use SOCKS server", 1, kSettings - 4),
      settings(kAccountSocksSettings, 1),
      check(kAccountSslCheck, u"Use secure connection", 2, kSettings - 4),
      settings(kAccountSslSettings, 2),
      check(kAccountSaslCheck, u"Use secure authentication", 3, kWidth - kMargin),
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
// selected tab. Below the tab strip, each group's title has a line of its own
// above the controls it frames, and the long texts get two or three lines.
void AddSslDialog() {
  auto d = Dialog(u"SSL Settings");
  constexpr int kIndent = 3 * kMargin;
  constexpr int kTitle = 18;  // a group box's title line
  auto group = [](int id, std::u16string text, int top, int bottom) {
    return ControlTemplate{std::u16string(toolkit::kButtonClass), id, std::move(text),
                           RECT{kMargin, top, kWidth - kMargin, bottom}, toolkit::BS_GROUPBOX | kShown, 0};
  };
  auto choice = [](int id, std::u16string text, int top, int lines, int left, int right, DWORD type) {
    return ControlTemplate{std::u16string(toolkit::kButtonClass), id, std::move(text),
                           RECT{left, top, right, top + LinesHigh(lines)}, type | kTab, 0};
  };
  constexpr int kTypeTop = kRow + kMargin;
  constexpr int kImplicitTop = kTypeTop + kTitle;
  constexpr int kExplicitTop = kImplicitTop + LinesHigh(2) + 2;
  constexpr int kInsecureTop = kExplicitTop + LinesHigh(2) + 2;
  constexpr int kTypeBottom = kInsecureTop + LinesHigh(3) + kMargin;
  constexpr int kVersionsTop = kTypeBottom + kMargin;
  constexpr int kVersionsRow = kVersionsTop + kTitle;
  constexpr int kVersionsBottom = kVersionsRow + LinesHigh(1) + kMargin;
  constexpr int kStrongTop = kVersionsBottom + kMargin;
  d.controls = {
      {std::u16string(toolkit::kTabControlClass), kSslTabs, u"", RECT{0, 0, kWidth, kRow}, kTab, 0},
      group(kSslTypeGroup, u"Connection Type", kTypeTop, kTypeBottom),
      choice(kSslImplicitRadio, u"Implicit (connects to dedicated port)", kImplicitTop, 2, kIndent, kWidth - kIndent,
             toolkit::BS_AUTORADIOBUTTON | toolkit::WS_GROUP),
      choice(kSslExplicitRadio, u"Explicit (connects to regular port)", kExplicitTop, 2, kIndent, kWidth - kIndent,
             toolkit::BS_AUTORADIOBUTTON),
      choice(kSslInsecureCheck, u"Use insecure connection if secure one cannot be established", kInsecureTop, 3,
             kIndent, kWidth - kIndent, toolkit::BS_AUTOCHECKBOX),
      group(kSslVersionsGroup, u"Protocol Versions", kVersionsTop, kVersionsBottom),
      choice(kSslSsl2Check, u"SSL 2", kVersionsRow, 1, kIndent, 80, toolkit::BS_AUTOCHECKBOX),
      choice(kSslSsl3Check, u"SSL 3", kVersionsRow, 1, 84, 152, toolkit::BS_AUTOCHECKBOX),
      choice(kSslTls1Check, u"TLS 1", kVersionsRow, 1, 156, kWidth - kIndent, toolkit::BS_AUTOCHECKBOX),
      choice(kSslStrongCheck, u"Use ONLY strong encryption algorithms (128 bits and more)", kStrongTop, 2, kMargin,
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

// Each choice as many lines high as its text needs at this width.
void AddConnectionDialog() {
  auto d = Dialog(u"Connection Settings");
  const struct {
    std::u16string text;
    int lines;
  } choices[] = {
      {u"Do not establish a connection (I will connect manually)", 2},
      {u"Connect to \"Work\" (synchronization fails if the connection could not be established)", 4},
      {u"Connect to \"The Internet\" (synchronization fails if the connection could not be established)", 4},
      {u"Connect to \"Work\"; if fails try to connect to \"The Internet\"", 2},
      {u"Connect to \"The Internet\"; if fails try to connect to \"Work\"", 2},
  };
  int top = kMargin;
  for (int k = 0; k < 5; ++k) {
    int bottom = top + LinesHigh(choices[k].lines);
    d.controls.push_back({std::u16string(toolkit::kButtonClass), kConnectionFirstRadio + k, choices[k].text,
                          RECT{kMargin, top, kWidth - kMargin, bottom},
                          toolkit::BS_AUTORADIOBUTTON | kTab | (k == 0 ? toolkit::WS_GROUP : 0), 0});
    top = bottom + kMargin;
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
