#include "settings/options/mode_pages.h"

#include "resources/options_resources.h"
#include "settings/account/account_dialogs.h"
#include "settings/options/folder_chooser.h"
#include "settings/options/signup_dialog.h"
#include "settings/settings_validation.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/message_box.h"

namespace settings {

namespace pw = platform;
namespace rs = resources;

namespace {

constexpr std::u16string_view kInvalidAddress = u"Please enter a valid email address.";
constexpr std::u16string_view kNoSubject = u"Please enter a subject.";
constexpr std::u16string_view kNoFileName = u"Please enter a file name.";

// Runs fn with flag raised, so a second tap on the same button, dispatched by
// the nested dialog's loop, does not open a second dialog over the first.
template <typename Fn>
void Exclusively(bool& flag, Fn&& fn) {
  if (flag) return;
  flag = true;
  fn();
  flag = false;
}

}  // namespace

// ---- Save As File ----

FilePage::FilePage(AppSettings& settings) : OptionsDialog(rs::kFilePageDialog, rs::kOptionsOkCancelMenuBar), settings_(settings) {}

void FilePage::Load() {
  SetText(rs::kFileNameEdit, settings_.message_subject);
  SetText(rs::kSaveToEdit, settings_.note_file_path);
}

bool FilePage::Validate() {
  if (Text(rs::kFileNameEdit).empty()) {
    Refuse(rs::kFileNameEdit, kNoFileName);
    return false;
  }
  return true;
}

void FilePage::Store() {
  settings_.message_subject = Text(rs::kFileNameEdit);
  settings_.note_file_path = Text(rs::kSaveToEdit);
}

pw::LRESULT FilePage::OnCommand(pw::WPARAM wparam, pw::LPARAM, bool& handled) {
  if (pw::LOWORD(wparam) != rs::kBrowseButton || pw::HIWORD(wparam) != toolkit::BN_CLICKED) return 0;
  handled = true;
  Exclusively(choosing_, [&] {
    FolderChooser chooser(Text(rs::kSaveToEdit));
    if (chooser.Run(GetSafeHwnd()) == toolkit::IDOK && IsWindow())
      SetText(rs::kSaveToEdit, chooser.chosen_folder());
  });
  return 0;
}

// ---- ActiveSync ----

ActiveSyncPage::ActiveSyncPage(AppSettings& settings)
    : OptionsDialog(rs::kActiveSyncPageDialog, rs::kOptionsOkCancelMenuBar), settings_(settings) {}

void ActiveSyncPage::Load() {
  SetText(rs::kToEdit, settings_.send_to_address);
  SetText(rs::kSubjectEdit, settings_.message_subject);
}

bool ActiveSyncPage::Validate() {
  if (!IsValidAddress(Text(rs::kToEdit))) {
    Refuse(rs::kToEdit, kInvalidAddress);
    return false;
  }
  if (Text(rs::kSubjectEdit).empty()) {
    Refuse(rs::kSubjectEdit, kNoSubject);
    return false;
  }
  return true;
}

void ActiveSyncPage::Store() {
  settings_.send_to_address = Text(rs::kToEdit);
  settings_.message_subject = Text(rs::kSubjectEdit);
}

// ---- SMTP and the Corvane service ----

MailPage::MailPage(AppSettings& settings, OptionsServices* services, bool web_service)
    : OptionsDialog(web_service ? rs::kWebPageDialog : rs::kSmtpPageDialog,
                    web_service ? rs::kWebPageMenuBar : rs::kSmtpPageMenuBar),
      settings_(settings),
      services_(services),
      web_service_(web_service) {}

void MailPage::Load() {
  SetText(rs::kFromEdit, settings_.send_from_address);
  SetText(rs::kToEdit, settings_.send_to_address);
  SetText(rs::kSubjectEdit, settings_.message_subject);
  SetChecked(rs::kSendImmediatelyCheck, settings_.send_immediately);
  if (web_service_) SetChecked(rs::kUseSmtpCheck, settings_.use_smtp_for_web);
  if (!services_) {
    if (pw::HWND account = GetDlgItem(rs::kAccountButton)) pw::EnableWindow(account, false);
    if (pw::HWND test = GetDlgItem(rs::kTestButton)) pw::EnableWindow(test, false);
  }
}

bool MailPage::Validate() {
  if (!IsValidAddress(Text(rs::kFromEdit))) {
    Refuse(rs::kFromEdit, kInvalidAddress);
    return false;
  }
  if (!IsValidAddress(Text(rs::kToEdit))) {
    Refuse(rs::kToEdit, kInvalidAddress);
    return false;
  }
  if (Text(rs::kSubjectEdit).empty()) {
    Refuse(rs::kSubjectEdit, kNoSubject);
    return false;
  }
  return true;
}

void MailPage::Store() {
  settings_.send_from_address = Text(rs::kFromEdit);
  settings_.send_to_address = Text(rs::kToEdit);
  settings_.message_subject = Text(rs::kSubjectEdit);
  settings_.send_immediately = Checked(rs::kSendImmediatelyCheck);
  if (web_service_) settings_.use_smtp_for_web = Checked(rs::kUseSmtpCheck);
}

void MailPage::OnFromLeft() {
  // A Send To still at the placeholder was never set by the user: the sender's
  // own address is the likelier recipient.
  if (Text(rs::kToEdit) == kPlaceholderOwnerEmail) SetText(rs::kToEdit, Text(rs::kFromEdit));
}

void MailPage::OpenAccount() {
  // The preset is tried on a copy, so an account dialog that is cancelled
  // leaves no trace of it in the settings.
  AppSettings edited = settings_;
  bool preset_applied = ApplyProviderPreset(edited, Text(rs::kFromEdit));
  if (ShowAccountDialog(GetSafeHwnd(), edited, *services_, preset_applied) == toolkit::IDOK) settings_ = edited;
}

pw::LRESULT MailPage::OnCommand(pw::WPARAM wparam, pw::LPARAM, bool& handled) {
  const int id = pw::LOWORD(wparam);
  const unsigned code = pw::HIWORD(wparam);
  if (id == rs::kFromEdit) {
    if (code == toolkit::EN_KILLFOCUS && web_service_) OnFromLeft();
    return 0;
  }
  if (code != toolkit::BN_CLICKED) return 0;
  // Menu entries stand for the buttons; a disabled button's entry does nothing.
  pw::HWND button = GetDlgItem(id);
  auto usable = [&] { return button && pw::IsWindowEnabled(button); };
  switch (id) {
    case rs::kAccountButton:
      handled = true;
      if (!web_service_ && services_ && usable()) Exclusively(busy_, [&] { OpenAccount(); });
      break;
    case rs::kTestButton:
      handled = true;
      if (!web_service_ && services_ && usable())
        Exclusively(busy_, [&] { (void)services_->TestAccount(GetSafeHwnd(), settings_); });
      break;
    case rs::kConnectionButton:
      handled = true;
      Exclusively(busy_, [&] { (void)ShowConnectionDialog(GetSafeHwnd(), settings_); });
      break;
    case rs::kSignupButton:
      handled = true;
      if (web_service_)
        Exclusively(busy_, [&] {
          SignupDialog signup(settings_, services_);
          (void)signup.Run(GetSafeHwnd());
        });
      break;
    default:
      break;
  }
  return 0;
}

std::unique_ptr<OptionsDialog> MakeModePage(SendMode mode, AppSettings& settings, OptionsServices* services) {
  switch (mode) {
    case SendMode::MailServer:
      return std::make_unique<MailPage>(settings, services, false);
    case SendMode::WebService:
      return std::make_unique<MailPage>(settings, services, true);
    case SendMode::SaveAsFile:
      return std::make_unique<FilePage>(settings);
    case SendMode::ActiveSync:
      return std::make_unique<ActiveSyncPage>(settings);
  }
  return nullptr;
}

}  // namespace settings
