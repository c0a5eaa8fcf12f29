#pragma once
// What the click-through tests use to drive the real program on a virtual X
// display as a user would: an Xvfb server of their own, the program's UI dump
// (DICTALO_UI_DUMP) read back to learn where each control sits, xdotool to find
// windows by title and to click and type, `import` for screenshots, and a real
// exim to receive the notes.
//
// Positions: the dump gives every window's rect in the program's own pixels; the
// X window of a top-level window is found by its title, and a control's place
// inside it is scaled by the ratio of the X window's size to the dumped one, so
// the clicks land where the control is drawn whatever the renderer's scale.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace desktop_harness {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::WaitUntil;

inline bool HaveProgram(const std::string& name) {
  auto r = platform::RunProcess("sh", {"-c", "command -v " + name});
  return r && r->exit_status == 0;
}

// ---- the UI dump ----

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

struct DumpNode {
  bool top_level = false;
  int depth = 0;  // 0 for a top-level window
  std::string hwnd;
  int id = 0;
  std::string class_name;
  std::string text;  // a window's title or a control's text
  bool visible = false;
  bool enabled = false;
  int checked = 0;
  std::optional<Rect> rect;
};

// One top-level window with its descendants in dump order.
struct DumpWindow {
  DumpNode window;
  std::vector<DumpNode> controls;

  // The first control whose text is `text` (&& counts as &, and a trailing
  // "..." or "…" is optional on both sides), or whose id is `id` when text is empty.
  const DumpNode* Find(const std::string& text, int id = 0) const;
  // The field a label names: the first control after the label `label` (in
  // creation order) of the class `class_name` (case-insensitive), or of any
  // class but a static text when class_name is empty.
  const DumpNode* FieldAfter(const std::string& label, const std::string& class_name = "EDIT") const;
  // Every control's text, for failure messages.
  std::string Texts() const;
};

// Reads a quoted value at s[pos] (pos at the opening quote), undoing the
// escapes; pos ends after the closing quote.
inline std::string ReadQuoted(const std::string& s, std::size_t& pos) {
  std::string out;
  ++pos;
  while (pos < s.size() && s[pos] != '"') {
    char c = s[pos++];
    if (c != '\\' || pos >= s.size()) {
      out += c;
      continue;
    }
    char e = s[pos++];
    switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x':
        if (pos + 2 <= s.size()) out += static_cast<char>(std::stoi(s.substr(pos, 2), nullptr, 16));
        pos += 2;
        break;
      default: out += e;
    }
  }
  ++pos;
  return out;
}

inline DumpNode ParseDumpLine(const std::string& line) {
  DumpNode node;
  std::size_t pos = line.find_first_not_of(' ');
  node.depth = static_cast<int>(pos / 2);
  node.top_level = line.compare(pos, 7, "window ") == 0;
  pos = line.find(' ', pos);
  while (pos != std::string::npos && pos < line.size()) {
    pos = line.find_first_not_of(' ', pos);
    if (pos == std::string::npos) break;
    std::size_t eq = line.find('=', pos);
    if (eq == std::string::npos) break;
    std::string key = line.substr(pos, eq - pos);
    pos = eq + 1;
    std::string value;
    if (pos < line.size() && line[pos] == '"') {
      value = ReadQuoted(line, pos);
    } else {
      std::size_t end = line.find(' ', pos);
      value = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
      pos = end;
    }
    if (key == "hwnd") node.hwnd = value;
    else if (key == "id") node.id = std::atoi(value.c_str());
    else if (key == "class") node.class_name = value;
    else if (key == "title" || key == "text") node.text = value;
    else if (key == "visible") node.visible = value == "1";
    else if (key == "enabled") node.enabled = value == "1";
    else if (key == "checked") node.checked = std::atoi(value.c_str());
    else if (key == "rect") {
      Rect r;
      if (std::sscanf(value.c_str(), "%d,%d,%d,%d", &r.left, &r.top, &r.right, &r.bottom) == 4) node.rect = r;
    }
  }
  return node;
}

inline std::vector<DumpWindow> ParseDump(const std::string& dump) {
  std::vector<DumpWindow> windows;
  std::istringstream in(dump);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(' ') == std::string::npos) continue;
    DumpNode node = ParseDumpLine(line);
    if (node.top_level)
      windows.push_back(DumpWindow{node, {}});
    else if (!windows.empty())
      windows.back().controls.push_back(node);
  }
  return windows;
}

// "Stop && Send" → "Stop & Send"; "Details…" and "Details..." → "Details".
inline std::string NormaliseLabel(std::string text) {
  for (std::size_t p; (p = text.find("&&")) != std::string::npos;) text.replace(p, 2, "\x01");
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  std::replace(text.begin(), text.end(), '\x01', '&');
  for (const char* tail : {"\xE2\x80\xA6", "..."}) {
    std::string t = tail;
    if (text.size() >= t.size() && text.compare(text.size() - t.size(), t.size(), t) == 0)
      text.erase(text.size() - t.size());
  }
  return text;
}

inline const DumpNode* DumpWindow::Find(const std::string& text, int id) const {
  std::string want = NormaliseLabel(text);
  for (const DumpNode& c : controls) {
    if (text.empty() ? c.id == id : NormaliseLabel(c.text) == want) return &c;
  }
  return nullptr;
}

inline const DumpNode* DumpWindow::FieldAfter(const std::string& label, const std::string& class_name) const {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const DumpNode* at = Find(label);
  if (!at) return nullptr;
  for (const DumpNode* c = at + 1; c < controls.data() + controls.size(); ++c) {
    if (class_name.empty() ? lower(c->class_name) != "static" : lower(c->class_name) == lower(class_name)) return c;
  }
  return nullptr;
}

inline std::string DumpWindow::Texts() const {
  std::string out = "window \"" + window.text + "\":";
  for (const DumpNode& c : controls) out += " [" + std::to_string(c.id) + " " + c.text + "]";
  return out;
}

// ---- the virtual display ----

// An Xvfb server on a display number of its own, stopped by its pid at the end.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    // Display numbers from this test's own range; a lock file means taken.
    for (int n = 286; n < 300; ++n) {
      if (fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
      auto server = std::make_unique<ChildProcess>(
          "/usr/bin/Xvfb", std::vector<std::string>{":" + std::to_string(n), "-screen", "0", "1280x1024x24",
                                                    "-nolisten", "tcp", "-noreset"});
      std::string name = ":" + std::to_string(n);
      bool up = WaitUntil(
          [&] {
            if (!server->Running()) return true;
            return fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) && XdotoolOn(name, {"getdisplaygeometry"});
          },
          std::chrono::seconds(15));
      if (up && server->Running()) {
        server_ = std::move(server);
        name_ = name;
        return;
      }
      errors_ += server->Errors();
    }
  }
  ~VirtualDisplay() {
    if (server_ && server_->Running()) {
      server_->Signal(SIGTERM);
      server_->Wait(std::chrono::seconds(10));
    }
  }
  bool running() const { return server_ != nullptr; }
  const std::string& name() const { return name_; }
  const std::string& errors() const { return errors_; }

  static bool XdotoolOn(const std::string& display, const std::vector<std::string>& args) {
    std::vector<std::string> all = {"DISPLAY=" + display, "xdotool"};
    all.insert(all.end(), args.begin(), args.end());
    auto r = platform::RunProcess("env", all, std::chrono::seconds(5));
    return r && r->exit_status == 0;
  }

 private:
  std::unique_ptr<ChildProcess> server_;
  std::string name_;
  std::string errors_;
};

// ---- driving the program through X ----

struct XGeometry {
  long window = 0;
  int x = 0, y = 0, width = 0, height = 0;
};

class Desktop {
 public:
  Desktop(std::string display, fs::path dump_path, fs::path screenshots)
      : display_(std::move(display)), dump_path_(std::move(dump_path)), screenshots_(std::move(screenshots)) {
    fs::create_directories(screenshots_);
  }

  // Runs an X client on our display; its standard output, or nullopt on failure.
  std::optional<std::string> X(const std::string& program, const std::vector<std::string>& args,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    std::vector<std::string> all = {"DISPLAY=" + display_, program};
    all.insert(all.end(), args.begin(), args.end());
    auto r = platform::RunProcess("env", all, timeout);
    if (!r || r->exit_status != 0) return std::nullopt;
    return r->output;
  }

  std::vector<DumpWindow> Windows() const {
    return ParseDump(testing_support::ReadFileBytes(dump_path_));
  }
  // The visible top-level window titled `title` that holds a control labelled
  // `control` (any, when empty); the last such one in the dump.
  std::optional<DumpWindow> FindWindow(const std::string& title, const std::string& control = {}) const {
    std::optional<DumpWindow> found;
    for (DumpWindow& w : Windows())
      if (w.window.visible && w.window.text == title && (control.empty() || w.Find(control))) found = std::move(w);
    return found;
  }
  std::optional<DumpWindow> WaitForWindow(const std::string& title, const std::string& control = {},
                                          std::chrono::milliseconds timeout = std::chrono::seconds(15)) const {
    std::optional<DumpWindow> found;
    WaitUntil([&] { return (found = FindWindow(title, control)).has_value(); }, timeout);
    return found;
  }
  bool WaitForWindowGone(const std::string& title, const std::string& control = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(15)) const {
    return WaitUntil([&] { return !FindWindow(title, control); }, timeout);
  }
  // Everything the dump holds, for failure messages.
  std::string DumpText() const { return testing_support::ReadFileBytes(dump_path_); }

  // The mapped X windows titled exactly `title`, with their geometry.
  std::vector<XGeometry> XWindows(const std::string& title) const {
    std::vector<XGeometry> out;
    auto ids = X("xdotool", {"search", "--onlyvisible", "--name", "^" + Escape(title) + "$"});
    if (!ids) return out;
    std::istringstream in(*ids);
    long id;
    while (in >> id) {
      auto geo = X("xdotool", {"getwindowgeometry", "--shell", std::to_string(id)});
      if (!geo) continue;
      XGeometry g;
      g.window = id;
      std::istringstream lines(*geo);
      std::string line;
      while (std::getline(lines, line)) {
        if (line.rfind("X=", 0) == 0) g.x = std::atoi(line.c_str() + 2);
        if (line.rfind("Y=", 0) == 0) g.y = std::atoi(line.c_str() + 2);
        if (line.rfind("WIDTH=", 0) == 0) g.width = std::atoi(line.c_str() + 6);
        if (line.rfind("HEIGHT=", 0) == 0) g.height = std::atoi(line.c_str() + 7);
      }
      if (g.width > 0 && g.height > 0) out.push_back(g);
    }
    return out;
  }

  // The X window showing the dumped window: same title, and of all such the one
  // whose shape is closest to the dumped rect.
  std::optional<XGeometry> XWindowFor(const DumpWindow& w) const {
    std::optional<XGeometry> best;
    double best_score = 1e9;
    if (!w.window.rect) return best;
    for (const XGeometry& g : XWindows(w.window.text)) {
      double want = double(w.window.rect->width()) / std::max(1, w.window.rect->height());
      double have = double(g.width) / std::max(1, g.height);
      double score = std::abs(want - have);
      if (score < best_score) best = g, best_score = score;
    }
    return best;
  }

  // The point on the X screen at the centre of `control` of window `w`.
  std::optional<std::pair<int, int>> PointOf(const DumpWindow& w, const DumpNode& control) const {
    if (!w.window.rect || !control.rect) return std::nullopt;
    auto g = XWindowFor(w);
    if (!g) return std::nullopt;
    const Rect& wr = *w.window.rect;
    const Rect& cr = *control.rect;
    double sx = double(g->width) / std::max(1, wr.width());
    double sy = double(g->height) / std::max(1, wr.height());
    int x = g->x + int(((cr.left + cr.right) / 2.0 - wr.left) * sx);
    int y = g->y + int(((cr.top + cr.bottom) / 2.0 - wr.top) * sy);
    return std::make_pair(x, y);
  }

  bool ClickAt(int x, int y) const {
    return X("xdotool", {"mousemove", "--sync", std::to_string(x), std::to_string(y)}).has_value() &&
           X("xdotool", {"click", "1"}).has_value();
  }
  // Clicks the control labelled `label` (or with `id` when label is empty) in the
  // window titled `title`; false when either is not to be found.
  bool Click(const std::string& title, const std::string& label, int id = 0) const {
    auto w = WaitForWindow(title);
    if (!w) return false;
    const DumpNode* c = w->Find(label, id);
    bool ok = false;
    WaitUntil([&] {
      w = FindWindow(title);
      c = w ? w->Find(label, id) : nullptr;
      if (!c || !c->visible || !c->enabled) return false;
      auto p = PointOf(*w, *c);
      return p && (ok = ClickAt(p->first, p->second));
    });
    return ok;
  }
  // Replaces the text of the edit field with `id` (or labelled `label`) in the
  // window titled `title`, typing as a user does.
  bool Type(const std::string& title, int id, const std::string& text) const {
    if (!Click(title, "", id)) return false;
    return X("xdotool", {"key", "--clearmodifiers", "ctrl+a", "BackSpace"}).has_value() &&
           X("xdotool", {"type", "--delay", "15", "--clearmodifiers", text}).has_value();
  }
  bool Key(const std::string& keys) const { return X("xdotool", {"key", "--clearmodifiers", keys}).has_value(); }

  // A picture of the whole screen under `name`.png in the screenshots folder.
  void Screenshot(const std::string& name) const {
    X("import", {"-window", "root", (screenshots_ / (name + ".png")).string()}, std::chrono::seconds(20));
  }

 private:
  // xdotool --name takes a regular expression.
  static std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
      if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
      out += c;
    }
    return out;
  }

  std::string display_;
  fs::path dump_path_;
  fs::path screenshots_;
};

// ---- exim ----

// A real exim on 127.0.0.1 (tests/peers/smtp_exim.sh) delivering into DIR/mail,
// with the one account alice / secret.
class Exim {
 public:
  Exim(const fs::path& dir, int port) : dir_(dir) {
    fs::create_directories(dir);
    process_ = std::make_unique<ChildProcess>(testing_support::SourceDir() / "tests" / "peers" / "smtp_exim.sh",
                                              std::vector<std::string>{"serve", dir.string(), "--port",
                                                                       std::to_string(port)});
    ready_ = WaitUntil([&] { return process_->Output().find("ready") != std::string::npos || !process_->Running(); },
                       std::chrono::seconds(60)) &&
             process_->Output().find("ready") != std::string::npos;
    if (!ready_) status_ = process_->Wait(std::chrono::seconds(5)).value_or(-1);
  }
  ~Exim() {
    if (process_->Running()) {
      process_->Signal(SIGTERM);
      process_->Wait(std::chrono::seconds(20));
    }
  }
  bool ready() const { return ready_; }
  int status() const { return status_; }
  std::string errors() const { return process_->Errors(); }
  // The messages delivered so far, whole.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::directory_iterator(dir_ / "mail" / "new", ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
      out.push_back(testing_support::ReadFileBytes(it->path()));
    return out;
  }
  // exim's log of SMTP sessions, for failure messages.
  std::string Log() const { return testing_support::ReadFileBytes(dir_ / "log" / "mainlog"); }

 private:
  fs::path dir_;
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
  int status_ = 0;
};

}  // namespace desktop_harness
