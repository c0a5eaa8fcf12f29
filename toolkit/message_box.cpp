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

int HeadlessMessageBoxPresenter::Present(const MessageBoxRequest& request) {
  std::string caption = platform::Utf16ToUtf8(request.caption);
  std::fprintf(stderr, "[message box] %s\n", caption.c_str());
  PrintIndented(platform::Utf16ToUtf8(request.text));
  std::string buttons;
  for (int id : request.buttons) {
    if (!buttons.empty()) buttons += ' ';
    buttons += id == request.default_button ? "[" + MessageBoxButtonName(id) + "]" : MessageBoxButtonName(id);
  }
  std::fprintf(stderr, "  buttons: %s\n", buttons.c_str());

  int answer = request.default_button;
  if (auto scripted = NextScriptedAnswer()) {
    auto id = ParseMessageBoxAnswer(*scripted);
    bool offered = id && std::find(request.buttons.begin(), request.buttons.end(), *id) != request.buttons.end();
    if (offered)
      answer = *id;
    else
      std::fprintf(stderr, "  warning: scripted answer \"%s\" is not a button of this box\n", scripted->c_str());
  }
  std::fprintf(stderr, "  answer: %s\n", MessageBoxButtonName(answer).c_str());
  std::fflush(stderr);
  return answer;
}

MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
  return g_presenter.exchange(presenter);
}

int MessageBoxW(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type) {
  MessageBoxRequest request;
  request.owner = owner;
  request.text = text;
  request.caption = caption;
  request.type = type;
  request.buttons = MessageBoxButtons(type);
  request.default_button = MessageBoxDefaultButton(type);
  MessageBoxPresenter* presenter = g_presenter.load();
  return (presenter ? *presenter : static_cast<MessageBoxPresenter&>(Headless())).Present(request);
}

}  // namespace toolkit
