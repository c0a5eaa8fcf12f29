#include "toolkit/message_box.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/text.h"

namespace toolkit {
namespace {

constexpr char kAnswersVariable[] = "DICTALO_MESSAGEBOX_ANSWERS";

struct AnswerName {
  int id;
  const char* name;
};
constexpr AnswerName kAnswerNames[] = {{IDOK, "OK"},         {IDCANCEL, "Cancel"}, {IDABORT, "Abort"},
                                       {IDRETRY, "Retry"},   {IDIGNORE, "Ignore"}, {IDYES, "Yes"},
                                       {IDNO, "No"}};

HeadlessMessageBoxPresenter& Headless() {
  static HeadlessMessageBoxPresenter* headless = new HeadlessMessageBoxPresenter;
  return *headless;
}

std::atomic<MessageBoxPresenter*> g_presenter{nullptr};

// The script's position; starts over when the variable changes.
std::mutex g_script_mu;
std::string g_script_seen;
std::size_t g_script_next = 0;

std::optional<std::string> NextScriptedAnswer() {
  std::lock_guard lock(g_script_mu);
  const char* value = std::getenv(kAnswersVariable);
  std::string script = value ? value : "";
  if (script != g_script_seen) {
    g_script_seen = script;
    g_script_next = 0;
  }
  std::vector<std::string> answers;
  std::size_t start = 0;
  while (!script.empty() && start <= script.size()) {
    std::size_t comma = script.find(',', start);
    if (comma == std::string::npos) comma = script.size();
    std::string item = script.substr(start, comma - start);
    auto first = item.find_first_not_of(" \t");
    auto last = item.find_last_not_of(" \t");
    answers.push_back(first == std::string::npos ? std::string() : item.substr(first, last - first + 1));
    start = comma + 1;
  }
  if (g_script_next >= answers.size()) return std::nullopt;
  return answers[g_script_next++];
}

void PrintIndented(std::string_view text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::fprintf(stderr, "  %.*s\n", static_cast<int>(line.size()), line.data());
    start = end + 1;
  }
}

}  // namespace

std::vector<int> MessageBoxButtons(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
      return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
      return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
      return {IDYES, IDNO};
    case MB_RETRYCANCEL:
      return {IDRETRY, IDCANCEL};
    default:
      return {IDOK};
  }
}

int MessageBoxDefaultButton(UINT type) {
  auto buttons = MessageBoxButtons(type);
  std::size_t index = (type & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

std::optional<int> ParseMessageBoxAnswer(std::string_view answer) {
  std::string lowered = platform::AsciiLower(answer);
  if (lowered.rfind("id", 0) == 0) lowered.erase(0, 2);
  for (const auto& a : kAnswerNames) {
    if (lowered == platform::AsciiLower(std::string_view(a.name))) return a.id;
    if (lowered == std::to_string(a.id)) return a.id;
  }
  return std::nullopt;
}

std::string MessageBoxButtonName(int id) {
  for (const auto& a : kAnswerNames)
    if (a.id == id) return a.name;
  return std::to_string(id);
}

ScriptedAnswer ParseScriptedAnswer(std::string_view answer) {
  ScriptedAnswer parsed;
  std::string_view button = answer;
  if (auto colon = answer.find(':'); colon != std::string_view::npos) {
    button = answer.substr(0, colon);
    std::string state = platform::AsciiLower(answer.substr(colon + 1));
    if (state == "checked")
      parsed.checked = true;
    else if (state == "unchecked")
      parsed.checked = false;
    else
      parsed.check_suffix_valid = false;
  }
  parsed.button = ParseMessageBoxAnswer(button);
  return parsed;
}

MessageBoxAnswer HeadlessMessageBoxPresenter::Present(const MessageBoxRequest& request) {
  std::string caption = platform::Utf16ToUtf8(request.caption);
  std::fprintf(stderr, "[message box] %s\n", caption.c_str());
  PrintIndented(platform::Utf16ToUtf8(request.text));
  if (request.has_check)
    std::fprintf(stderr, "  [%c] %s\n", request.checked ? 'x' : ' ',
                 platform::Utf16ToUtf8(request.check_label).c_str());
  std::string buttons;
  for (int id : request.buttons) {
    if (!buttons.empty()) buttons += ' ';
    buttons += id == request.default_button ? "[" + MessageBoxButtonName(id) + "]" : MessageBoxButtonName(id);
  }
  std::fprintf(stderr, "  buttons: %s\n", buttons.c_str());

  MessageBoxAnswer answer{request.default_button, request.checked};
  if (auto scripted = NextScriptedAnswer()) {
    ScriptedAnswer parsed = ParseScriptedAnswer(*scripted);
    bool offered = parsed.button &&
                   std::find(request.buttons.begin(), request.buttons.end(), *parsed.button) != request.buttons.end();
    if (offered)
      answer.button = *parsed.button;
    else
      std::fprintf(stderr, "  warning: scripted answer \"%s\" is not a button of this box\n", scripted->c_str());
    if (!parsed.check_suffix_valid)
      std::fprintf(stderr, "  warning: scripted answer \"%s\" sets no known check state\n", scripted->c_str());
    else if (parsed.checked && !request.has_check)
      std::fprintf(stderr, "  warning: scripted answer \"%s\" sets a check box this box does not have\n",
                   scripted->c_str());
    else if (parsed.checked)
      answer.checked = *parsed.checked;
  }
  if (request.has_check)
    std::fprintf(stderr, "  answer: %s, %s\n", MessageBoxButtonName(answer.button).c_str(),
                 answer.checked ? "checked" : "unchecked");
  else
    std::fprintf(stderr, "  answer: %s\n", MessageBoxButtonName(answer.button).c_str());
  std::fflush(stderr);
  return answer;
}

MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
  return g_presenter.exchange(presenter);
}

namespace {

MessageBoxAnswer Show(const MessageBoxRequest& request) {
  MessageBoxPresenter* presenter = g_presenter.load();
  return (presenter ? *presenter : static_cast<MessageBoxPresenter&>(Headless())).Present(request);
}

MessageBoxRequest MakeRequest(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type) {
  MessageBoxRequest request;
  request.owner = owner;
  request.text = text;
  request.caption = caption;
  request.type = type;
  request.buttons = MessageBoxButtons(type);
  request.default_button = MessageBoxDefaultButton(type);
  return request;
}

}  // namespace

int MessageBoxW(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type) {
  return Show(MakeRequest(owner, text, caption, type)).button;
}

int CheckedNoticeBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type,
                     std::u16string_view check_label, bool& checked) {
  MessageBoxRequest request = MakeRequest(owner, text, caption, type);
  request.has_check = true;
  request.check_label = check_label;
  request.checked = checked;
  MessageBoxAnswer answer = Show(request);
  checked = answer.checked;
  return answer.button;
}

}  // namespace toolkit
