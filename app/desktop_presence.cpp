#include "app/desktop_presence.h"

#include <string>

#include "platform/text.h"
#include "resources/desktop_resources.h"
#include "toolkit/renderer.h"
#include "toolkit/resources.h"
#include "toolkit/tray.h"

namespace app {

namespace {

bool IsClick(platform::LPARAM mouse_message) {
  return mouse_message == platform::WM_LBUTTONUP || mouse_message == platform::WM_LBUTTONDBLCLK;
}

}  // namespace

DesktopPresence::DesktopPresence(platform::HWND owner, bool interactive) : owner_(owner), interactive_(interactive) {
  resources::RegisterDesktopResources();
}

DesktopPresence::~DesktopPresence() {
  if (shown_) toolkit::TrayIconDelete(owner_, kTrayIconId);
}

void DesktopPresence::OnRecordingStarted() {
  recording_ = true;
  Update();
}

void DesktopPresence::OnRecordingStopped() {
  recording_ = false;
  Update();
}

void DesktopPresence::OnPendingCount(std::size_t count) {
  pending_ = count;
  Update();
}

std::u16string DesktopPresence::Tooltip() const {
  std::u16string parts;
  if (recording_) parts = toolkit::LoadStringW(resources::kTrayRecordingString);
  if (pending_ > 0) {
    std::u16string waiting = toolkit::LoadStringW(
        pending_ == 1 ? resources::kTrayOnePendingString : resources::kTrayManyPendingString);
    if (auto at = waiting.find(u"%d"); at != std::u16string::npos) waiting.replace(at, 2, platform::Utf8ToUtf16(std::to_string(pending_)));
    if (!parts.empty()) parts += u", ";
    parts += waiting;
  }
  return toolkit::LoadStringW(resources::kTrayAppString) + u": " + parts;
}

void DesktopPresence::Update() {
  const bool want = recording_ || pending_ > 0;
  if (!want) {
    if (shown_) toolkit::TrayIconDelete(owner_, kTrayIconId);
    shown_ = false;
    icon_ = {};
    tooltip_.clear();
    return;
  }
  // A recording is what the user most needs to see; waiting notes otherwise.
  std::u16string_view icon = recording_ ? resources::kRecordingIcon : resources::kPendingIcon;
  std::u16string tooltip = Tooltip();
  if (shown_ && icon == icon_ && tooltip == tooltip_) return;
  // An icon that went away meanwhile is added afresh; one that cannot be added
  // now is tried again at the next change.
  bool ok = shown_ && toolkit::TrayIconModify(owner_, kTrayIconId, icon, tooltip);
  if (!ok) ok = toolkit::TrayIconAdd(owner_, kTrayIconId, kTrayMessage, icon, tooltip);
  if (!ok) {
    shown_ = false;
    return;
  }
  shown_ = true;
  icon_ = icon;
  tooltip_ = std::move(tooltip);
}

std::u16string DesktopPresence::FirstLine(std::u16string_view text, std::size_t max) {
  std::u16string line(text.substr(0, text.find_first_of(u"\r\n")));
  // A server's reply ends up in here: no control characters reach the desktop.
  for (char16_t& c : line)
    if (c < 0x20 || c == 0x7F) c = u' ';
  while (!line.empty() && line.back() == u' ') line.pop_back();
  if (line.size() > max) {
    std::size_t keep = max > 0 ? max - 1 : 0;
    // Never cut between the two halves of a surrogate pair.
    if (keep > 0 && line[keep - 1] >= 0xD800 && line[keep - 1] <= 0xDBFF) --keep;
    line.resize(keep);
    line += u'\u2026';
  }
  return line;
}

void DesktopPresence::OnNoteOutcome(NoteOutcomeKind kind, std::u16string_view detail) {
  platform::UINT title = resources::kNoteSentTitleString;
  platform::UINT usual = resources::kNoteSentTextString;
  if (kind == NoteOutcomeKind::kSaved) {
    title = resources::kNoteSavedTitleString;
    usual = resources::kNoteSavedTextString;
  } else if (kind == NoteOutcomeKind::kNotSent) {
    title = resources::kNoteNotSentTitleString;
    usual = resources::kNoteNotSentTextString;
  }
  std::u16string text = FirstLine(detail);
  if (text.empty()) text = toolkit::LoadStringW(usual);
  if (toolkit::Renderer* renderer = toolkit::CurrentRenderer())
    renderer->ShowNotification(toolkit::LoadStringW(title), text);
}

bool DesktopPresence::HandleMessage(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam) {
  if (msg != kTrayMessage || wparam != kTrayIconId) return false;
  if (interactive_ && IsClick(lparam)) {
    platform::ShowWindow(owner_, platform::SW_SHOW);
    platform::SetForegroundWindow(owner_);
  }
  return true;
}

}  // namespace app
