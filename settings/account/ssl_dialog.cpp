// "SSL Settings": tab "General" holds the connection type and protocol options,
// tab "Certificates" the root certificates the user trusts beyond the system's.

#include "platform/text.h"
#include "resources/account_resources.h"
#include "settings/account/account_dialogs_internal.h"
#include "settings/account/dialog_support.h"
#include "settings/account/trusted_roots.h"
#include "settings/settings_validation.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/file_dialog.h"
#include "toolkit/message_box.h"

namespace settings {
namespace {

using namespace resources;
using namespace dialog_support;
using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

constexpr std::u16string_view kTitle = u"SSL Settings";
constexpr std::uint32_t kSsl2 = 1, kSsl3 = 2, kTls1 = 4;

constexpr int kGeneralControls[] = {kSslTypeGroup,     kSslImplicitRadio, kSslExplicitRadio, kSslInsecureCheck,
                                    kSslVersionsGroup, kSslSsl2Check,     kSslSsl3Check,     kSslTls1Check,
                                    kSslStrongCheck};
constexpr int kCertificateControls[] = {kSslCertLabel, kSslCertList, kSslCertImport, kSslCertRemove};

class SslDialog : public SoftKeyDialog {
 public:
  explicit SslDialog(AccountValues& values) : SoftKeyDialog(kOkCancelMenuBar), values_(values) {}

 protected:
  void Init() override {
    platform::HWND tabs = GetDlgItem(kSslTabs);
    for (const char16_t* name : {u"General", u"Certificates"}) {
      toolkit::TCITEMW item;
      item.mask = toolkit::TCIF_TEXT;
      item.pszText = const_cast<char16_t*>(name);
      const LRESULT count = platform::SendMessage(tabs, toolkit::TCM_GETITEMCOUNT, 0, 0);
      platform::SendMessage(tabs, toolkit::TCM_INSERTITEMW, count, reinterpret_cast<LPARAM>(&item));
    }
    platform::SendMessage(tabs, toolkit::TCM_SETCURSEL, 0, 0);

    SetChecked(Hwnd(), kSslImplicitRadio, !values_.ssl_explicit);
    SetChecked(Hwnd(), kSslExplicitRadio, values_.ssl_explicit);
    SetChecked(Hwnd(), kSslInsecureCheck, values_.ssl_allow_insecure);
    SetChecked(Hwnd(), kSslSsl2Check, values_.ssl_versions & kSsl2);
    SetChecked(Hwnd(), kSslSsl3Check, values_.ssl_versions & kSsl3);
    SetChecked(Hwnd(), kSslTls1Check, values_.ssl_versions & kTls1);
    SetChecked(Hwnd(), kSslStrongCheck, values_.ssl_strong_encryption);
    EnableItem(Hwnd(), kSslInsecureCheck, values_.ssl_explicit);
    FillCertificates();
    ShowPage(0);
  }

  LRESULT OnCommand(WPARAM wparam, LPARAM, bool& handled) override {
    if (platform::HIWORD(wparam) != toolkit::BN_CLICKED) return 0;
    switch (platform::LOWORD(wparam)) {
      case kSslImplicitRadio:
      case kSslExplicitRadio:
        EnableItem(Hwnd(), kSslInsecureCheck, IsChecked(Hwnd(), kSslExplicitRadio));
        break;
      case kSslCertImport:
        ImportCertificates();
        break;
      case kSslCertRemove:
        RemoveCertificate();
        break;
      default:
        return 0;
    }
    handled = true;
    return 0;
  }

  LRESULT OnNotify(int id, toolkit::NMHDR* header, bool& handled) override {
    if (id != kSslTabs || header->code != toolkit::TCN_SELCHANGE) return 0;
    ShowPage(static_cast<int>(platform::SendMessage(GetDlgItem(kSslTabs), toolkit::TCM_GETCURSEL, 0, 0)));
    handled = true;
    return 0;
  }

  void OnOK(bool& handled) override {
    handled = true;
    std::uint32_t versions = (IsChecked(Hwnd(), kSslSsl2Check) ? kSsl2 : 0) |
                             (IsChecked(Hwnd(), kSslSsl3Check) ? kSsl3 : 0) |
                             (IsChecked(Hwnd(), kSslTls1Check) ? kTls1 : 0);
    if (auto problem = CheckSslVersions(versions)) {
      toolkit::MessageBoxW(Hwnd(), *problem, kTitle, toolkit::MB_OK | toolkit::MB_ICONERROR | toolkit::MB_TOPMOST);
      return;
    }
    values_.ssl_explicit = IsChecked(Hwnd(), kSslExplicitRadio);
    values_.ssl_allow_insecure = IsChecked(Hwnd(), kSslInsecureCheck);
    values_.ssl_versions = static_cast<std::int32_t>(versions);
    values_.ssl_strong_encryption = IsChecked(Hwnd(), kSslStrongCheck);
    EndDialog(toolkit::IDOK);
  }

 private:
  void ShowPage(int page) {
    for (int id : kGeneralControls) platform::ShowWindow(GetDlgItem(id), page == 0 ? platform::SW_SHOW : platform::SW_HIDE);
    for (int id : kCertificateControls)
      platform::ShowWindow(GetDlgItem(id), page == 1 ? platform::SW_SHOW : platform::SW_HIDE);
  }

  void FillCertificates() {
    platform::HWND list = GetDlgItem(kSslCertList);
    platform::SendMessage(list, toolkit::LB_RESETCONTENT, 0, 0);
    for (const std::u16string& line : ListTrustedRoots())
      platform::SendMessage(list, toolkit::LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    EnableItem(Hwnd(), kSslCertRemove, platform::SendMessage(list, toolkit::LB_GETCOUNT, 0, 0) > 0);
  }

  void ImportCertificates() {
    toolkit::FileDialogRequest request;
    request.owner = Hwnd();
    request.save = false;
    request.title = u"Import Certificate";
    request.filter = u"Certificates (*.cer;*.crt;*.der;*.pem;*.p7b)|*.cer;*.crt;*.der;*.pem;*.p7b|All Files (*.*)|*.*||";
    std::optional<std::u16string> file = toolkit::GetFileName(request);
    if (!file) return;
    RootImport outcome = ImportTrustedRoots(std::filesystem::path(platform::Utf16ToUtf8(*file)));
    FillCertificates();
    if (outcome.problems.empty()) return;
    std::u16string text;
    for (const auto& line : outcome.problems) text += (text.empty() ? u"" : u"\n") + line;
    toolkit::MessageBoxW(Hwnd(), text, kTitle, toolkit::MB_OK | toolkit::MB_ICONERROR);
  }

  void RemoveCertificate() {
    platform::HWND list = GetDlgItem(kSslCertList);
    const LRESULT index = platform::SendMessage(list, toolkit::LB_GETCURSEL, 0, 0);
    if (index < 0) {
      toolkit::MessageBoxW(Hwnd(), u"Please select a certificate to remove.", kTitle,
                           toolkit::MB_OK | toolkit::MB_ICONINFORMATION);
      return;
    }
    const std::vector<std::u16string> roots = ListTrustedRoots();
    if (static_cast<std::size_t>(index) >= roots.size() || roots[index] != ListText(list, index)) {
      // `dictaloctl cert` changed the store meanwhile: show it as it is now
      // rather than remove another certificate than the one chosen.
      FillCertificates();
      return;
    }
    const std::u16string question =
        u"Remove \"" + roots[index] + u"\" from the trusted root certificates?";
    if (toolkit::MessageBoxW(Hwnd(), question, kTitle, toolkit::MB_YESNO | toolkit::MB_ICONWARNING) != toolkit::IDYES)
      return;
    if (!RemoveTrustedRoot(static_cast<int>(index)))
      toolkit::MessageBoxW(Hwnd(), u"The certificate could not be removed.", kTitle, toolkit::MB_OK | toolkit::MB_ICONERROR);
    FillCertificates();
  }

  static std::u16string ListText(platform::HWND list, LRESULT index) {
    const LRESULT length = platform::SendMessage(list, toolkit::LB_GETTEXTLEN, index, 0);
    if (length < 0) return {};
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    platform::SendMessage(list, toolkit::LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
  }

  AccountValues& values_;
};

}  // namespace

int ShowSslDialog(platform::HWND owner, AccountValues& values) {
  SslDialog dialog(values);
  return dialog.DoModal(kSslDialog, owner) == toolkit::IDOK ? toolkit::IDOK : toolkit::IDCANCEL;
}

}  // namespace settings
