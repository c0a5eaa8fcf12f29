#pragma once
// FakeOptionsServices: what a test gives the options screen in place of the
// program's services. It answers from the fields below and records each call,
// so a test can say what the screen asked for and when; `during` runs inside
// a call, while the caller still waits (a dialog the call would show).

#include <functional>
#include <string>
#include <vector>

#include "settings/options/options_services.h"

namespace settings {

class FakeOptionsServices : public OptionsServices {
 public:
  PendingNotesSummary pending;
  std::vector<HotkeyChoice> hotkeys;
  std::vector<CueSoundChoice> sounds;
  bool test_result = true;
  // Calls by name, in order: "Count", "View", "DeleteAll", "Resend", "Test",
  // "Offer:<mode>", "Play:<name>", "Open:<url>".
  std::vector<std::string> calls;
  // What the settings held at the last TestAccount and OfferConversion.
  AppSettings tested;
  AppSettings offered;
  std::function<void(const std::string& call)> during;

  int CountOf(const std::string& name) const {
    int n = 0;
    for (const auto& call : calls) n += call == name;
    return n;
  }

  PendingNotesSummary CountPendingNotes(const AppSettings&) override {
    Record("Count");
    return pending;
  }
  void ViewPendingNotes(platform::HWND, const AppSettings&) override { Record("View"); }
  void DeleteAllPendingNotes(platform::HWND, const AppSettings&) override {
    pending = {};
    Record("DeleteAll");
  }
  void ResendPendingNotes(platform::HWND, const AppSettings&) override { Record("Resend"); }
  bool TestAccount(platform::HWND, const AppSettings& settings) override {
    tested = settings;
    Record("Test");
    return test_result;
  }
  void OfferConversion(platform::HWND, const AppSettings& settings, SendMode mode) override {
    offered = settings;
    Record("Offer:" + std::to_string(static_cast<int>(mode)));
  }
  std::vector<HotkeyChoice> HotkeyChoices() override { return hotkeys; }
  std::vector<CueSoundChoice> CueSounds() override { return sounds; }
  void PlayCueSound(const CueSoundChoice& sound) override {
    Record("Play:" + std::string(sound.name.begin(), sound.name.end()) + (sound.is_midi ? ".mid" : ".wav"));
  }
  void OpenAddress(const std::string& url) override { Record("Open:" + url); }
  bool StartUpdateUtility() override {
    Record("StartUpdateUtility");
    return update_utility_starts;
  }
  bool update_utility_starts = true;

 private:
  void Record(const std::string& call) {
    calls.push_back(call);
    if (during) during(call);
  }
};

}  // namespace settings
