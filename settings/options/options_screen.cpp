#include "settings/options/options_screen.h"

#include <algorithm>
#include <cstdio>

#include "base/program_messages.h"
#include "platform/text.h"
#include "resources/options_resources.h"
#include "settings/options/mode_pages.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/display.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_box.h"

#ifndef DICTALO_VERSION
#define DICTALO_VERSION "0"
#endif

namespace settings {

namespace pw = platform;
namespace rs = resources;
using base::UM_NOTES_CHANGED;

namespace {

struct ModeItem {
  const char16_t* text;
  SendMode mode;
};
constexpr ModeItem kModes[] = {
    {u"Sent via mail server", SendMode::MailServer},
    {u"Sent via Corvane service", SendMode::WebService},
    {u"Saved as file", SendMode::SaveAsFile},
    {u"Sent via ActiveSync", SendMode::ActiveSync},
};

struct EncodingItem {
  const char16_t* text;
  int value;
};
constexpr EncodingItem kEncodings[] = {{u"Ogg", 1}, {u"Wav", 0}};

// Hotkey buttons: two to a row under the "Hotkey:" label.
constexpr int kHotkeyColumns = 2;
constexpr int kHotkeyRowHeight = 20;
constexpr int kMargin = 4;

bool ConvertsNotes(SendMode mode) { return mode == SendMode::SaveAsFile || mode == SendMode::ActiveSync; }

int AddItem(pw::HWND list, std::u16string_view text, pw::LPARAM data) {
  std::u16string copy(text);
  auto index = pw::SendMessage(list, toolkit::CB_ADDSTRING, 0, reinterpret_cast<pw::LPARAM>(copy.c_str()));
  if (index >= 0) pw::SendMessage(list, toolkit::CB_SETITEMDATA, static_cast<pw::WPARAM>(index), data);
  return static_cast<int>(index);
}

std::optional<pw::LPARAM> SelectedData(pw::HWND list) {
  auto index = pw::SendMessage(list, toolkit::CB_GETCURSEL, 0, 0);
  if (index == toolkit::CB_ERR || index < 0) return std::nullopt;
  return pw::SendMessage(list, toolkit::CB_GETITEMDATA, static_cast<pw::WPARAM>(index), 0);
}

std::u16string ItemText(pw::HWND list, pw::LRESULT index) {
  auto length = pw::SendMessage(list, toolkit::CB_GETLBTEXTLEN, static_cast<pw::WPARAM>(index), 0);
  if (length <= 0) return {};
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  pw::SendMessage(list, toolkit::CB_GETLBTEXT, static_cast<pw::WPARAM>(index), reinterpret_cast<pw::LPARAM>(text.data()));
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return text;
}

bool IsChecked(pw::HWND button) {
  return button && pw::SendMessage(button, toolkit::BM_GETCHECK, 0, 0) == toolkit::BST_CHECKED;
}

}  // namespace

OptionsScreen::OptionsScreen(AppSettings& settings, OptionsServices* services)
    : settings_(settings), services_(services) {}

OptionsScreen::~OptionsScreen() {
  // A page still open over a screen that goes is ended; its loop returns into
  // OpenDetails, which sees the screen is gone.
  if (open_page_) open_page_->EndDialog(toolkit::IDCANCEL);
}

pw::HWND OptionsScreen::CreateScreen(pw::HWND parent) { return Create(rs::kOptionsScreenDialog, parent); }

std::u16string OptionsScreen::UnsentLine(const PendingNotesSummary& pending) {
  std::uint64_t kb = std::max<std::uint64_t>(1, pending.size / 1024);
  char line[96];
  std::snprintf(line, sizeof line, "%u unsent note(s), size %lluKB", static_cast<unsigned>(pending.count),
                static_cast<unsigned long long>(kb));
  return pw::Utf8ToUtf16(line);
}

pw::LRESULT OptionsScreen::OnInitDialog(pw::HWND focus, pw::LPARAM param, bool& handled) {
  pw::LRESULT result = CeBaseDialog::OnInitDialog(focus, param, handled);
  FillModeList();
  FillEncodingList();
  pw::SendMessage(Item(rs::kPlaySoundCheck), toolkit::BM_SETCHECK,
                  settings_.play_sound ? toolkit::BST_CHECKED : toolkit::BST_UNCHECKED, 0);
  FillSoundList();
  MakeHotkeyButtons();
  if (!services_) {
    pw::EnableWindow(Item(rs::kPlayButton), false);
    pw::EnableWindow(Item(rs::kSoundList), false);
  }
  Refresh();
  // The count comes once the screen is up: reading the outbox may take a moment.
  PostMessageW(UM_NOTES_CHANGED, 0, 0);
  return result;
}

void OptionsScreen::FillModeList() {
  pw::HWND list = Item(rs::kModeList);
  for (const ModeItem& item : kModes) {
    int index = AddItem(list, item.text, static_cast<pw::LPARAM>(item.mode));
    if (item.mode == settings_.notes_send_mode)
      pw::SendMessage(list, toolkit::CB_SETCURSEL, static_cast<pw::WPARAM>(index), 0);
  }
}

void OptionsScreen::FillEncodingList() {
  pw::HWND list = Item(rs::kEncodingList);
  for (const EncodingItem& item : kEncodings) {
    int index = AddItem(list, item.text, item.value);
    if (item.value == settings_.encoding_type)
      pw::SendMessage(list, toolkit::CB_SETCURSEL, static_cast<pw::WPARAM>(index), 0);
  }
}

void OptionsScreen::FillSoundList() {
  if (!services_) return;
  pw::HWND list = Item(rs::kSoundList);
  for (const CueSoundChoice& sound : services_->CueSounds()) {
    int index = AddItem(list, sound.name, sound.is_midi ? 1 : 0);
    if (sound.name == settings_.sound_name && sound.is_midi == settings_.is_midi)
      pw::SendMessage(list, toolkit::CB_SETCURSEL, static_cast<pw::WPARAM>(index), 0);
  }
}

void OptionsScreen::MakeHotkeyButtons() {
  if (services_) hotkeys_ = services_->HotkeyChoices();
  // No choices to offer: no label over an empty row.
  if (hotkeys_.empty()) pw::ShowWindow(Item(rs::kHotkeyLabel), pw::SW_HIDE);
  pw::RECT screen{}, label{};
  pw::GetWindowRect(GetSafeHwnd(), &screen);
  pw::GetWindowRect(Item(rs::kHotkeyLabel), &label);
  const int top = label.bottom - screen.top + 2;
  const int width = (label.right - label.left - (kHotkeyColumns - 1) * kMargin) / kHotkeyColumns;
  const int left = label.left - screen.left;
  for (std::size_t i = 0; i < hotkeys_.size(); ++i) {
    const HotkeyChoice& choice = hotkeys_[i];
    int column = static_cast<int>(i % kHotkeyColumns);
    int row = static_cast<int>(i / kHotkeyColumns);
    pw::DWORD style = pw::WS_CHILD | pw::WS_VISIBLE | toolkit::BS_AUTORADIOBUTTON | toolkit::WS_TABSTOP;
    if (i == 0) style |= toolkit::WS_GROUP;
    pw::HWND button = pw::CreateWindowEx(0, toolkit::kButtonClass, choice.label, style,
                                         left + column * (width + kMargin), top + row * kHotkeyRowHeight, width,
                                         kHotkeyRowHeight - 2, GetSafeHwnd(), static_cast<pw::UINT>(choice.control_id),
                                         nullptr);
    hotkey_buttons_.push_back(button);
    if (button && choice.key_name == settings_.launch_hotkey)
      pw::SendMessage(button, toolkit::BM_SETCHECK, toolkit::BST_CHECKED, 0);
  }
  // What follows the buttons moves down by their rows.
  int rows = static_cast<int>((hotkeys_.size() + kHotkeyColumns - 1) / kHotkeyColumns);
  int shift = rows * kHotkeyRowHeight;
  if (shift == 0) return;
  for (int id : {rs::kUnsentLine, rs::kViewNotesButton, rs::kDeleteAllButton, rs::kResendAllButton}) {
    pw::HWND control = Item(id);
    pw::RECT r{};
    if (!control || !pw::GetWindowRect(control, &r)) continue;
    pw::MoveWindow(control, r.left - screen.left, r.top - screen.top + shift, r.right - r.left, r.bottom - r.top, true);
  }
}

SendMode OptionsScreen::SelectedMode() const {
  auto data = SelectedData(Item(rs::kModeList));
  return data ? static_cast<SendMode>(*data) : settings_.notes_send_mode;
}

void OptionsScreen::Recount() {
  pending_ = services_ ? services_->CountPendingNotes(settings_) : PendingNotesSummary{};
  Refresh();
}

void OptionsScreen::Refresh() {
  // Files and ActiveSync send nothing themselves: their notes wait for a
  // conversion, not for a resend.
  PendingNotesSummary shown = pending_;
  if (ConvertsNotes(SelectedMode())) shown.count = 0;
  const bool any = shown.count != 0;
  const toolkit::DisplayMetrics display = toolkit::GetDisplayMetrics();
  const bool square = display.screen_width == display.screen_height;
  pw::SetWindowText(Item(rs::kUnsentLine), UnsentLine(shown));
  pw::ShowWindow(Item(rs::kUnsentLine), any ? pw::SW_SHOW : pw::SW_HIDE);
  for (int id : {rs::kViewNotesButton, rs::kDeleteAllButton, rs::kResendAllButton})
    pw::ShowWindow(Item(id), any && !square ? pw::SW_SHOW : pw::SW_HIDE);
  notes_entries_enabled_ = any;
  ShowNotesEntries();
}

void OptionsScreen::set_menu_bar(toolkit::CMenuBar* bar) {
  menu_bar_ = bar;
  ShowNotesEntries();
}

void OptionsScreen::ShowNotesEntries() {
  if (!menu_bar_) return;
  for (pw::UINT command : {rs::kViewNotesCommand, rs::kDeleteNotesCommand, rs::kResendNotesCommand})
    menu_bar_->EnableItem(command, notes_entries_enabled_);
}

void OptionsScreen::Apply() {
  settings_.play_sound = IsChecked(Item(rs::kPlaySoundCheck));
  pw::HWND sounds = Item(rs::kSoundList);
  auto sound = pw::SendMessage(sounds, toolkit::CB_GETCURSEL, 0, 0);
  // No sound chosen (none offered): the one set stays.
  if (sound != toolkit::CB_ERR && sound >= 0) {
    settings_.sound_name = ItemText(sounds, sound);
    settings_.is_midi = pw::SendMessage(sounds, toolkit::CB_GETITEMDATA, static_cast<pw::WPARAM>(sound), 0) != 0;
  }
  if (auto encoding = SelectedData(Item(rs::kEncodingList))) settings_.encoding_type = static_cast<std::int32_t>(*encoding);
  if (auto mode = SelectedData(Item(rs::kModeList))) settings_.notes_send_mode = static_cast<SendMode>(*mode);
  for (std::size_t i = 0; i < hotkey_buttons_.size(); ++i)
    if (IsChecked(hotkey_buttons_[i])) settings_.launch_hotkey = hotkeys_[i].key_name;

  // Counted afresh: the screen shows no notes in these modes, yet they wait.
  if (services_ && ConvertsNotes(settings_.notes_send_mode) && services_->CountPendingNotes(settings_).count != 0)
    services_->OfferConversion(GetSafeHwnd(), settings_, settings_.notes_send_mode);
}

bool OptionsScreen::IsHotkeyButton(pw::HWND hwnd) const {
  return hwnd && std::find(hotkey_buttons_.begin(), hotkey_buttons_.end(), hwnd) != hotkey_buttons_.end();
}

pw::HWND OptionsScreen::open_dialog() const { return open_page_ ? open_page_->GetSafeHwnd() : nullptr; }

pw::LRESULT OptionsScreen::OnMessage(pw::UINT msg, pw::WPARAM, pw::LPARAM, bool& handled) {
  if (msg != UM_NOTES_CHANGED) return 0;
  handled = true;
  // A count while a notes action runs comes again when it ends.
  if (!busy_) Recount();
  return 0;
}

void OptionsScreen::OnDestroy(bool& handled) {
  if (open_page_) open_page_->EndDialog(toolkit::IDCANCEL);
  hotkey_buttons_.clear();
  handled = false;
}

pw::LRESULT OptionsScreen::OnCommand(pw::WPARAM wparam, pw::LPARAM, bool& handled) {
  const pw::UINT id = pw::LOWORD(wparam);
  const pw::UINT code = pw::HIWORD(wparam);
  switch (id) {
    case rs::kModeList:
      if (code == toolkit::CBN_SELCHANGE) Refresh();
      break;
    case rs::kDetailsButton:
      if (code == toolkit::BN_CLICKED) OpenDetails();
      break;
    case rs::kPlayButton:
      if (code == toolkit::BN_CLICKED) PlaySelectedSound();
      break;
    case rs::kViewNotesButton:
    case rs::kViewNotesCommand:
      NotesAction([this] { services_->ViewPendingNotes(GetSafeHwnd(), settings_); });
      break;
    case rs::kDeleteAllButton:
    case rs::kDeleteNotesCommand:
      NotesAction([this] { services_->DeleteAllPendingNotes(GetSafeHwnd(), settings_); });
      break;
    case rs::kResendAllButton:
    case rs::kResendNotesCommand:
      NotesAction([this] { services_->ResendPendingNotes(GetSafeHwnd(), settings_); });
      break;
    case rs::kAboutCommand:
      ShowAbout();
      break;
    default:
      return 0;
  }
  handled = true;
  return 0;
}

template <typename Fn>
void OptionsScreen::NotesAction(Fn&& fn) {
  if (!services_ || busy_ || !notes_entries_enabled_) return;
  busy_ = true;
  auto alive = AliveToken();
  fn();
  if (alive.expired()) return;
  busy_ = false;
  if (IsWindow()) Recount();
}

void OptionsScreen::OpenDetails() {
  if (busy_) return;
  auto page = MakeModePage(SelectedMode(), settings_, services_);
  if (!page) return;
  busy_ = true;
  open_page_ = page.get();
  auto alive = AliveToken();
  (void)page->Run(pw::GetTopLevelWindow(GetSafeHwnd()));
  if (alive.expired()) return;
  open_page_ = nullptr;
  busy_ = false;
}

void OptionsScreen::PlaySelectedSound() {
  if (!services_) return;
  pw::HWND sounds = Item(rs::kSoundList);
  auto index = pw::SendMessage(sounds, toolkit::CB_GETCURSEL, 0, 0);
  if (index == toolkit::CB_ERR || index < 0) return;
  CueSoundChoice sound{ItemText(sounds, index),
                       pw::SendMessage(sounds, toolkit::CB_GETITEMDATA, static_cast<pw::WPARAM>(index), 0) != 0};
  services_->PlayCueSound(sound);
}

void OptionsScreen::ShowAbout() {
  if (busy_) return;
  busy_ = true;
  auto alive = AliveToken();
  // The About box is where the user looks for newer versions: Yes starts the
  // update utility, which lists them.
  int answer = toolkit::MessageBoxW(GetSafeHwnd(),
                                    u"Dictalo\nVersion " + pw::Utf8ToUtf16(DICTALO_VERSION) +
                                        u"\nVoice notes to your mailbox\n\nLook for newer versions now?",
                                    u"About Dictalo", toolkit::MB_YESNO | toolkit::MB_ICONINFORMATION);
  if (alive.expired()) return;
  busy_ = false;
  if (answer == toolkit::IDYES && services_ && !services_->StartUpdateUtility())
    toolkit::MessageBoxW(GetSafeHwnd(), u"The update utility (corvane-update) could not be started.", u"About Dictalo",
                         toolkit::MB_OK | toolkit::MB_ICONERROR);
}

}  // namespace settings
