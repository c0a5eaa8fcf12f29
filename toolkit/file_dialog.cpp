#include "toolkit/file_dialog.h"

#include <cstdio>
#include <cstdlib>

#include "platform/text.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

constexpr char kAnswersVariable[] = "DICTALO_FILEDIALOG_ANSWERS";

// The script's position; starts over when the variable changes.
std::mutex g_script_mu;
std::string g_script_seen;
std::size_t g_script_next = 0;

// The next scripted answer: nullopt when the script is used up, else the path
// (nullopt inside for "" and "CANCEL").
std::optional<std::optional<std::u16string>> NextScriptedAnswer() {
  std::lock_guard lock(g_script_mu);
  const char* value = std::getenv(kAnswersVariable);
  std::string script = value ? value : "";
  if (script != g_script_seen) {
    g_script_seen = script;
    g_script_next = 0;
  }
  if (script.empty()) return std::nullopt;
  std::size_t start = 0;
  for (std::size_t i = 0; i < g_script_next; ++i) {
    std::size_t comma = script.find(',', start);
    if (comma == std::string::npos) return std::nullopt;
    start = comma + 1;
  }
  if (start > script.size()) return std::nullopt;
  std::size_t comma = script.find(',', start);
  std::string item = script.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
  ++g_script_next;
  if (item.empty() || item == "CANCEL") return std::optional<std::u16string>();
  return std::optional<std::u16string>(platform::Utf8ToUtf16(item));
}

}  // namespace

std::optional<std::u16string> HeadlessFileDialogPresenter::Present(const FileDialogRequest& request) {
  std::optional<std::u16string> answer;
  {
    std::lock_guard lock(mu_);
    requests_.push_back(request);
    if (!answers_.empty()) {
      answer = std::move(answers_.front());
      answers_.pop_front();
    } else if (auto scripted = NextScriptedAnswer()) {
      answer = std::move(*scripted);
    }
  }
  std::fprintf(stderr, "[file dialog] %s \"%s\" initial=\"%s\" -> %s\n", request.save ? "save" : "open",
               platform::Utf16ToUtf8(request.title).c_str(), platform::Utf16ToUtf8(request.initial_name).c_str(),
               answer ? ("\"" + platform::Utf16ToUtf8(*answer) + "\"").c_str() : "cancelled");
  return answer;
}

void HeadlessFileDialogPresenter::SetAnswers(std::vector<std::optional<std::u16string>> answers) {
  std::lock_guard lock(mu_);
  answers_.assign(answers.begin(), answers.end());
}

std::vector<FileDialogRequest> HeadlessFileDialogPresenter::Requests() const {
  std::lock_guard lock(mu_);
  return requests_;
}

std::optional<std::u16string> GetFileName(const FileDialogRequest& request) {
  Renderer* renderer = CurrentRenderer();
  FileDialogPresenter* presenter = renderer ? renderer->FileDialogs() : nullptr;
  if (!presenter) return std::nullopt;
  std::optional<std::u16string> path = presenter->Present(request);
  if (!path || path->empty() || path->size() > request.max_path || path->find(u'\0') != std::u16string::npos)
    return std::nullopt;
  return path;
}

}  // namespace toolkit
