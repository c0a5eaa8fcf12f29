// The user's side of the Mailhaven import: the list of accounts to choose from
// and the messages when there is nothing to import.

#include "resources/account_resources.h"
#include "settings/account/dialog_support.h"
#include "settings/account/mailhaven_accounts.h"
#include "toolkit/common_controls.h"
#include "toolkit/message_box.h"

namespace settings {
namespace {

using namespace resources;
using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

constexpr std::u16string_view kTitle = u"Account Import";
constexpr std::u16string_view kNotFound = u"Mailhaven not found. Import failed.";
constexpr std::u16string_view kNoAccounts = u"No POP3/IMAP4 accounts defined in Mailhaven. Import failed.";
// A name is shown up to this many characters; the list is for picking, not reading.
constexpr std::size_t kMaxShownName = 256;

void Fail(platform::HWND owner, std::u16string_view text) {
  toolkit::MessageBoxW(owner, text, kTitle, toolkit::MB_OK | toolkit::MB_ICONERROR);
}

class MailhavenAccountsDialog : public dialog_support::SoftKeyDialog {
 public:
  explicit MailhavenAccountsDialog(const MailAccountList& list)
      : SoftKeyDialog(kOkCancelMenuBar), list_(list) {}

  std::optional<MailAccountChoice> choice;

 protected:
  void Init() override {
    platform::HWND box = GetDlgItem(kMailhavenList);
    for (const MailAccount& account : list_.accounts) {
      std::u16string name = account.service_name.substr(0, kMaxShownName);
      platform::SendMessage(box, toolkit::LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    platform::SendMessage(box, toolkit::LB_SETCURSEL, 0, 0);
  }

  LRESULT OnCommand(WPARAM wparam, LPARAM, bool& handled) override {
    // A double click on an entry takes it as OK would.
    if (platform::LOWORD(wparam) != kMailhavenList || platform::HIWORD(wparam) != toolkit::LBN_DBLCLK) return 0;
    bool ok_handled = false;
    OnOK(ok_handled);
    handled = true;
    return 0;
  }

  void OnOK(bool& handled) override {
    handled = true;
    const LRESULT index = platform::SendMessage(GetDlgItem(kMailhavenList), toolkit::LB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= list_.accounts.size()) return;
    choice = MailAccountChoice{list_.accounts[index].guid, list_.source};
    EndDialog(toolkit::IDOK);
  }

 private:
  const MailAccountList& list_;
};

}  // namespace

std::optional<MailAccountChoice> ChooseMailhavenAccount(platform::HWND owner) {
  const MailAccountList list = ListMailhavenAccounts();
  if (!list.mailhaven_found) {
    Fail(owner, kNotFound);
    return std::nullopt;
  }
  if (list.accounts.empty()) {
    Fail(owner, kNoAccounts);
    return std::nullopt;
  }
  MailhavenAccountsDialog dialog(list);
  if (dialog.DoModal(kMailhavenAccountsDialog, owner) != toolkit::IDOK) return std::nullopt;
  return dialog.choice;
}

bool ImportMailhavenAccount(platform::HWND owner, const MailAccountChoice& choice, AccountValues& values) {
  switch (ReadMailhavenAccount(choice.guid, choice.source, values)) {
    case ImportResult::Imported:
      return true;
    case ImportResult::MailhavenNotFound:
      Fail(owner, kNotFound);
      return false;
    case ImportResult::NoSuchAccount:
      return false;
  }
  return false;
}

}  // namespace settings
