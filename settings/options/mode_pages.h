#pragma once
// The settings page of each delivery mode, opened by "Details…" on the options
// screen. Each shows its part of the settings record and writes it back on OK
// after its checks; Cancel writes nothing.
//
//   "Save As File Settings"            File Name → MessageSubject, Save To → NoteFilePath
//                                      ("…" opens the folder chooser)
//   "Send Via SMTP Settings"           Send From, Send To, Subject, Send Immediately;
//                                      Account…, Test…, Connection…
//   "Send Via ActiveSync Settings"     Send To, Subject
//   "Send Via Corvane Service Settings" as the SMTP page, plus Use SMTP protocol;
//                                      Signup…, Connection…
//
// services may be null (the program has none to give yet): the actions that
// need it (Account…, Test…, the sign-up link) are then disabled.

#include <memory>

#include "settings/app_settings.h"
#include "settings/options/options_dialog.h"
#include "settings/options/options_services.h"

namespace settings {

class FilePage : public OptionsDialog {
 public:
  explicit FilePage(AppSettings& settings);

 protected:
  void Load() override;
  bool Validate() override;
  void Store() override;
  platform::LRESULT OnCommand(platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;

 private:
  AppSettings& settings_;
  bool choosing_ = false;  // the folder chooser is open
};

class ActiveSyncPage : public OptionsDialog {
 public:
  explicit ActiveSyncPage(AppSettings& settings);

 protected:
  void Load() override;
  bool Validate() override;
  void Store() override;

 private:
  AppSettings& settings_;
};

// The SMTP page, or with web_service the Corvane service page.
class MailPage : public OptionsDialog {
 public:
  MailPage(AppSettings& settings, OptionsServices* services, bool web_service);

 protected:
  void Load() override;
  bool Validate() override;
  void Store() override;
  platform::LRESULT OnCommand(platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;

 private:
  void OpenAccount();
  void OnFromLeft();

  AppSettings& settings_;
  OptionsServices* services_;
  bool web_service_;
  // A dialog of this page is open: commands that would open another wait.
  bool busy_ = false;
};

// The page of a mode (an unknown mode has none: nullptr).
std::unique_ptr<OptionsDialog> MakeModePage(SendMode mode, AppSettings& settings, OptionsServices* services);

}  // namespace settings
