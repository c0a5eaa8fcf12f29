#pragma once
// WidgetMirror: the Qt widgets that show the program's windows, kept on the GUI
// thread from snapshots (window_snapshot.h). One widget per window: a top-level
// QWidget per top-level window or popup dialog, child widgets for controls and
// dialog pages, placed by the window's rectangle (pixels at 96 dpi, scaled by
// the screen's logical dpi / 96).
//
// What the user does goes back to the program only as posted messages
// (toolkit::PostClick, PostKey, PostUser*, WM_CLOSE): the GUI thread never waits
// for a program thread. Changes that come from the program are applied with the
// widget's signals blocked, so they never come back as user input.
//
// Every mirrored widget carries the properties kHwndPropertyName (the window
// handle as an unsigned number) and kIdPropertyName (the control id), which
// tests and tools use to find it.

#include <deque>
#include <map>
#include <string>

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include "toolkit/qt/window_snapshot.h"

class QLabel;

namespace toolkit::qt {

inline constexpr char kHwndPropertyName[] = "dictalo_hwnd";
inline constexpr char kIdPropertyName[] = "dictalo_id";

// What part of a snapshot an update carries.
enum UpdateParts : unsigned {
  kUpdateText = 1u << 0,
  kUpdateShown = 1u << 1,
  kUpdateEnabled = 1u << 2,
  kUpdateRect = 1u << 3,
  kUpdateState = 1u << 4,
};

class WidgetMirror : public QObject {
  Q_OBJECT

 public:
  // dpi_scale: logical pixels per pixel at 96 dpi.
  explicit WidgetMirror(double dpi_scale, QObject* parent = nullptr);
  ~WidgetMirror() override;

  // A window appeared: makes its widget (nothing when its parent is unknown).
  void Create(const WindowSnapshot& snapshot);
  // Applies the parts of update named by parts.
  void Update(const WindowSnapshot& update, unsigned parts);
  void Destroy(HWND hwnd);
  // The window that holds hwnd comes to the front and takes the keyboard.
  void BringToFront(HWND hwnd);
  // Closes every window without telling the program (the program has ended).
  void Clear();

  QWidget* WidgetFor(HWND hwnd) const;
  HWND WindowOf(const QWidget* widget) const;
  double DpiScale() const { return dpi_scale_; }
  // A rectangle at 96 dpi in logical pixels.
  QRect ToLogical(const RECT& rect) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Entry {
    WindowSnapshot last;
    QPointer<QWidget> widget;
    // Texts the user typed that the program has not yet reported back, oldest
    // first: their reports are echoes, not changes.
    std::deque<std::u16string> typed;
  };

  QWidget* MakeWidget(Entry& entry, QWidget* parent);
  void Connect(Entry& entry);
  void ApplyText(Entry& entry);
  void ApplyState(Entry& entry);
  void ApplyIconButtons(Entry& entry);
  // A static's font, colours and picture.
  void ApplyLook(Entry& entry);
  void ApplyFontAndColours(QLabel& label, const StaticLook& look);
  void ApplyRect(Entry& entry);
  void ApplyShown(Entry& entry);
  // A text from the program for an edit field; false when it only echoes what
  // the user typed (the field then keeps what it shows).
  bool AcceptProgramText(Entry& entry, const std::u16string& text);
  // Shows the program's text again when typing is done (the field lost focus).
  void CatchUpText(Entry& entry);
  void OnUserTyped(HWND hwnd, std::u16string text);
  void ShowPopup(HWND key);
  Entry* Find(HWND hwnd);
  const Entry* Find(HWND hwnd) const;

  double dpi_scale_;
  std::map<HWND, Entry> entries_;
};

// Edit fields and drop-downs: their text is the user's to type, reported back
// through the control's state.
bool IsEditField(WidgetKind kind);

// Win32 text for a static text without SS_NOPREFIX: "&&" is "&", "&x" is "x".
QString WithoutPrefixMarks(const QString& text);

}  // namespace toolkit::qt
