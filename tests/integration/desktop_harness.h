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
  bool focused = false;
  int selected = -1;
  bool password = false;
  std::optional<Rect> rect;
  int parent = -1;  // index of the parent control in DumpWindow::controls; -1: the window
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
    } else if (pos < line.size() && line[pos] == '[') {
      // A list: up to its closing bracket, quoted texts skipped whole.
      std::size_t start = pos;
      int level = 0;
      while (pos < line.size()) {
        if (line[pos] == '"') {
          ReadQuoted(line, pos);
          continue;
        }
        if (line[pos] == '[') ++level;
        if (line[pos] == ']' && --level == 0) {
          ++pos;
          break;
        }
        ++pos;
      }
      value = line.substr(start, pos - start);
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
    else if (key == "focused") node.focused = value == "1";
    else if (key == "selected") node.selected = std::atoi(value.c_str());
    else if (key == "password") node.password = value == "1";
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
    // Only windows and their controls; the tray and notification lines that
    // follow them are no window's.
    std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    if (line.compare(start, 7, "window ") != 0 && line.compare(start, 8, "control ") != 0) continue;
    DumpNode node = ParseDumpLine(line);
    if (node.top_level) {
      windows.push_back(DumpWindow{node, {}});
    } else if (!windows.empty()) {
      auto& controls = windows.back().controls;
      for (int i = static_cast<int>(controls.size()) - 1; i >= 0; --i) {
        if (controls[i].depth == node.depth - 1) {
          node.parent = i;
          break;
        }
        if (controls[i].depth < node.depth - 1) break;
      }
      controls.push_back(node);
    }
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

  // Where `control` of window `w` is drawn on the X screen (its centre): from its
  // rect when the dump gives one; for a soft key from the menu bar's layout (a
  // strip kSoftKeyBarHeight high along the window's bottom whose keys share
  // its width evenly); nullopt otherwise.
  static constexpr int kSoftKeyBarHeight = 26;
  std::optional<std::pair<int, int>> PointOf(const DumpWindow& w, const DumpNode& control) const {
    if (!w.window.rect) return std::nullopt;
    auto g = XWindowFor(w);
    if (!g) return std::nullopt;
    const Rect& wr = *w.window.rect;
    double sx = double(g->width) / std::max(1, wr.width());
    double sy = double(g->height) / std::max(1, wr.height());
    if (control.rect) {
      const Rect& cr = *control.rect;
      return std::make_pair(g->x + int(((cr.left + cr.right) / 2.0 - wr.left) * sx),
                            g->y + int(((cr.top + cr.bottom) / 2.0 - wr.top) * sy));
    }
    if (control.parent < 0 || w.controls[control.parent].class_name != "menu_worker") return std::nullopt;
    int index = 0, count = 0;
    for (const DumpNode& c : w.controls) {
      if (c.parent != control.parent) continue;
      if (&c == &control) index = count;
      ++count;
    }
    return std::make_pair(g->x + int(g->width * (index + 0.5) / count),
                          g->y + g->height - int(kSoftKeyBarHeight * sy / 2));
  }

  bool ClickAt(int x, int y) const {
    // No --sync: it waits for a movement, and there is none when the pointer is
    // there already (the OK of a dialog in the place of the one before).
    if (!X("xdotool", {"mousemove", std::to_string(x), std::to_string(y)})) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return X("xdotool", {"click", "1"}).has_value();
  }

  // Gives the keyboard focus to the control labelled `label` (or with `id`) in
  // the window titled `title` the way a keyboard user does: the window takes
  // the X focus, then Tab (or shift+Tab) until the dump says the control has
  // it. For controls the dump gives no place of.
  bool FocusByKeyboard(const std::string& title, const std::string& label, int id = 0,
                       const std::string& key = "Tab") const {
    auto w = FindWindow(title);
    auto g = w ? XWindowFor(*w) : std::nullopt;
    if (!g || !X("xdotool", {"windowfocus", std::to_string(g->window)})) return false;
    for (int presses = 0; presses < 40; ++presses) {
      bool focused = WaitUntil(
          [&] {
            auto now = FindWindow(title);
            const DumpNode* c = now ? now->Find(label, id) : nullptr;
            return c && c->focused;
          },
          std::chrono::milliseconds(presses == 0 ? 300 : 150));
      if (focused) return true;
      Key(key);
    }
    return false;
  }

  // Clicks the control labelled `label` (or with `id` when label is empty) in
  // the window titled `title`; a control the dump gives no place of is reached
  // with the keyboard and pressed with the space bar. False when it cannot be.
  bool Click(const std::string& title, const std::string& label, int id = 0) const {
    auto place = Locate(title, label, id);
    if (!place) return false;
    if (place->known) return ClickAt(place->x, place->y);
    return FocusByKeyboard(title, label, id) && Key("space");
  }
  // Replaces the text of the edit field with `id` in the window titled `title`,
  // typing as a user does.
  bool Type(const std::string& title, int id, const std::string& text) const {
    auto place = Locate(title, "", id);
    if (!place) return false;
    bool focused = place->known ? ClickAt(place->x, place->y) : FocusByKeyboard(title, "", id);
    return focused && Key("ctrl+a") && Key("BackSpace") &&
           X("xdotool", {"type", "--delay", "15", "--clearmodifiers", text}).has_value();
  }
  bool Key(const std::string& keys) const { return X("xdotool", {"key", "--clearmodifiers", keys}).has_value(); }

  // A picture of the whole screen under `name`.png in the screenshots folder.
  void Screenshot(const std::string& name) const {
    X("import", {"-window", "root", (screenshots_ / (name + ".png")).string()}, std::chrono::seconds(20));
  }

 private:
  struct Place {
    bool known = false;  // false: the control is there, its place is not
    int x = 0, y = 0;
  };
  // Waits for the control to be visible and enabled; nullopt when it is not.
  std::optional<Place> Locate(const std::string& title, const std::string& label, int id) const {
    Place place;
    bool found = WaitUntil([&] {
      auto w = FindWindow(title);
      const DumpNode* c = w ? w->Find(label, id) : nullptr;
      if (!c || !c->visible || !c->enabled) return false;
      if (auto p = PointOf(*w, *c)) place = Place{true, p->first, p->second};
      return true;
    });
    if (!found) return std::nullopt;
    return place;
  }

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
