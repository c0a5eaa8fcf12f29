// How each kind of control looks and acts in Qt: making its widget, connecting
// the user's actions, and showing the program's text and state.

#include "toolkit/qt/widget_mirror.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTabBar>
#include <QTextCursor>
#include <QTextLayout>
#include <QToolButton>
#include <QIcon>
#include <QTreeWidget>
#include <QWindow>

#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/qt/list_row_delegate.h"
#include "toolkit/qt/picture_button.h"
#include "toolkit/qt/qt_text.h"
#include "toolkit/renderer.h"

namespace toolkit::qt {
namespace pw = platform;

namespace {


// Multi-line edit fields keep CR LF line ends; Qt's text has LF only.
QString FromProgramLines(const std::u16string& text) {
  QString q = ToQString(text);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return q;
}

std::u16string ToProgramLines(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return FromQString(text);
}

// Where the caret goes when the program changes a field's text: as far past
// its old place as the text grew (a line break the program put in for the
// user's Enter lands before it), never past the end.
int CaretAfterChange(qsizetype caret, qsizetype old_length, qsizetype new_length) {
  return static_cast<int>(std::clamp<qsizetype>(caret + (new_length - old_length), 0, new_length));
}

bool IsAutoButton(DWORD style) {
  DWORD type = style & BS_TYPEMASK;
  return type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON || type == BS_AUTO3STATE;
}


Qt::CheckState ToCheckState(unsigned check) {
  if (check == BST_CHECKED) return Qt::Checked;
  if (check == BST_INDETERMINATE) return Qt::PartiallyChecked;
  return Qt::Unchecked;
}

QStringList ToStringList(const std::vector<std::u16string>& items) {
  QStringList list;
  list.reserve(static_cast<qsizetype>(items.size()));
  for (const auto& item : items) list.push_back(ToQString(item));
  return list;
}

// Text laid out in lines of at most width pixels: broken between words, and
// inside a word only when the word alone is wider than a line (an address).
// No more than max_lines lines; when the text needs more, the last one ends
// in an ellipsis and cut is set.
struct FittedLines {
  QStringList lines;
  bool cut = false;
};

FittedLines FitLines(const QString& text, const QFont& font, int width, int max_lines) {
  FittedLines fitted;
  if (text.isEmpty() || width <= 0) return fitted;
  QTextLayout layout(text, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    if (fitted.lines.size() + 1 == std::max(1, max_lines) && line.textStart() + line.textLength() < text.size()) {
      QString rest = text.mid(line.textStart()).simplified();
      fitted.lines.push_back(QFontMetrics(font).elidedText(rest, Qt::ElideRight, width));
      fitted.cut = true;
      break;
    }
    fitted.lines.push_back(text.mid(line.textStart(), line.textLength()).trimmed());
  }
  layout.endLayout();
  return fitted;
}

// The text fitted in area: in the control's own font when the lines it holds
// take all of it, else in the largest slightly smaller size (down to four
// fifths) that does, and failing that in its own font with the end cut. font
// becomes the one to draw with.
FittedLines FitText(const QString& text, QFont& font, const QRect& area) {
  auto fit = [&](const QFont& f) {
    int lines = std::max(1, area.height() / std::max(1, QFontMetrics(f).lineSpacing()));
    return FitLines(text, f, area.width(), lines);
  };
  FittedLines fitted = fit(font);
  if (!fitted.cut) return fitted;
  const qreal points = font.pointSizeF();
  const int pixels = font.pixelSize();
  for (qreal scale : {0.95, 0.9, 0.85, 0.8}) {
    QFont smaller = font;
    if (points > 0)
      smaller.setPointSizeF(points * scale);
    else if (pixels > 0)
      smaller.setPixelSize(std::max(1, static_cast<int>(pixels * scale)));
    else
      break;
    FittedLines shrunk = fit(smaller);
    if (!shrunk.cut) {
      font = smaller;
      return shrunk;
    }
  }
  return fitted;
}

// Draws the lines centred as a block in area, each aligned by align.
void DrawLines(QPainter& painter, const QStyle* style, const QRect& area, const QStringList& lines,
               Qt::Alignment align, const QPalette& palette, bool enabled, QPalette::ColorRole role) {
  const int spacing = painter.fontMetrics().lineSpacing();
  int top = area.top() + std::max(0, (area.height() - spacing * static_cast<int>(lines.size())) / 2);
  for (const QString& line : lines) {
    style->drawItemText(&painter, QRect(area.left(), top, area.width(), spacing), align | Qt::AlignVCenter, palette,
                        enabled, line, role);
    top += spacing;
  }
}

// A button whose text breaks into as many lines as its height holds when one
// line is too narrow for it (a little smaller, then an ellipsis and a tooltip,
// when even that is too little). Declared without Q_OBJECT: it shows, and is
// found, as its base class.
template <class Button>
class FittedButton : public Button {
 public:
  using Button::Button;

 protected:
  void paintEvent(QPaintEvent* event) override {
    QStyleOptionButton option;
    this->initStyleOption(&option);
    QRect area = this->style()->subElementRect(ContentsElement(), &option, this);
    // Drawn by hand, the text loses its mnemonic underline but keeps "&&" as "&".
    QString shown = WithoutPrefixMarks(this->text());
    const QFontMetrics metrics = this->fontMetrics();
    const bool fits = metrics.horizontalAdvance(shown) <= area.width();
    if (fits || shown.isEmpty()) {
      SetCutTip(false, shown);
      Button::paintEvent(event);
      return;
    }
    QFont font = this->font();
    FittedLines fitted = FitText(shown, font, area);
    SetCutTip(fitted.cut, shown);
    option.text.clear();
    QStylePainter painter(this);
    painter.drawControl(ControlElement(), option);
    painter.setFont(font);
    constexpr bool kPush = std::is_same_v<Button, QPushButton>;
    DrawLines(painter, this->style(), area, fitted.lines, kPush ? Qt::AlignHCenter : Qt::AlignLeft, option.palette,
              this->isEnabled(), kPush ? QPalette::ButtonText : QPalette::WindowText);
    if (!kPush && (option.state & QStyle::State_HasFocus)) {
      // The style framed the empty label; the focus goes round the lines instead.
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      focus.rect = area;
      painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
  }
  // As on the handheld, the whole control takes the tap, not only its first line.
  bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }

 private:
  static QStyle::ControlElement ControlElement() {
    if constexpr (std::is_same_v<Button, QCheckBox>) return QStyle::CE_CheckBox;
    if constexpr (std::is_same_v<Button, QRadioButton>) return QStyle::CE_RadioButton;
    return QStyle::CE_PushButton;
  }
  static QStyle::SubElement ContentsElement() {
    if constexpr (std::is_same_v<Button, QCheckBox>) return QStyle::SE_CheckBoxContents;
    if constexpr (std::is_same_v<Button, QRadioButton>) return QStyle::SE_RadioButtonContents;
    return QStyle::SE_PushButtonContents;
  }
  // The whole text as a tooltip while the control shows only part of it.
  void SetCutTip(bool cut, const QString& shown) {
    QString tip = cut ? shown : QString();
    if (this->toolTip() != tip) this->setToolTip(tip);
  }
};

// A link: the whole text in link colour, underlined, broken across the lines
// the control holds (an address breaks anywhere), its full text as tooltip; a
// click anywhere on it, or Space while it has the focus, follows it. Without
// Q_OBJECT it shows as the label it is.
class LinkLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QFont font = this->font();
    font.setUnderline(true);
    QRect area = contentsRect();
    FittedLines fitted = FitText(text_, font, area);
    painter.setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    int spacing = painter.fontMetrics().lineSpacing();
    int top = area.top();
    for (const QString& line : fitted.lines) {
      style()->drawItemText(&painter, QRect(area.left(), top, area.width(), spacing), Qt::AlignLeft | Qt::AlignVCenter,
                            palette, isEnabled(), line, QPalette::WindowText);
      top += spacing;
    }
    if (hasFocus()) painter.drawRect(area.adjusted(0, 0, -1, -1));
  }
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
      emit linkActivated(QStringLiteral("#"));
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
      emit linkActivated(QStringLiteral("#"));
      return;
    }
    QLabel::keyPressEvent(event);
  }

 public:
  void SetLinkText(const QString& text) {
    text_ = text;
    setToolTip(text);
    setText(QStringLiteral("<a href=\"#\">%1</a>").arg(text.toHtmlEscaped()));
  }

 private:
  QString text_;
};

}  // namespace

QString WithoutPrefixMarks(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

QWidget* WidgetMirror::MakeWidget(Entry& entry, QWidget* parent) {
  const WindowSnapshot& s = entry.last;
  switch (s.kind) {
    case WidgetKind::kLabel: {
      auto* label = new QLabel(parent);
      label->setWordWrap(true);
      Qt::Alignment align = Qt::AlignLeft;
      if ((s.style & 0x3) == SS_CENTER) align = Qt::AlignHCenter;
      if ((s.style & 0x3) == SS_RIGHT) align = Qt::AlignRight;
      label->setAlignment(align | Qt::AlignTop);
      return label;
    }
    case WidgetKind::kLink: {
      auto* label = new LinkLabel(parent);
      label->setTextFormat(Qt::RichText);
      label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
      label->setCursor(Qt::PointingHandCursor);
      return label;
    }
    case WidgetKind::kOwnerDrawn: {
      auto* button = new PictureButton(parent);
      button->setAutoDefault(false);  // Enter belongs to the dialog
      return button;
    }
    case WidgetKind::kPushButton:
    case WidgetKind::kSoftKey: {
      auto* button = new FittedButton<QPushButton>(parent);
      // Enter belongs to the dialog, which knows its default button.
      button->setAutoDefault(false);
      return button;
    }
    case WidgetKind::kCheckBox: {
      auto* box = new FittedButton<QCheckBox>(parent);
      DWORD type = s.style & BS_TYPEMASK;
      box->setTristate(type == BS_3STATE || type == BS_AUTO3STATE);
      return box;
    }
    case WidgetKind::kRadioButton: {
      auto* radio = new FittedButton<QRadioButton>(parent);
      // The program decides which radio buttons form a group.
      radio->setAutoExclusive(false);
      return radio;
    }
    case WidgetKind::kGroupBox:
      return new QGroupBox(parent);
    case WidgetKind::kLabelEdit: {
      // Looks like a field; a tap opens the program's edit field over it.
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
      label->setCursor(Qt::IBeamCursor);
      return label;
    }
    case WidgetKind::kSeparator: {
      auto* line = new QLabel(parent);
      line->setTextFormat(Qt::PlainText);
      line->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
      line->setStyleSheet(QStringLiteral("QLabel { border-bottom: 1px solid palette(mid); font-weight: bold; }"));
      return line;
    }
    case WidgetKind::kProgress: {
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      return bar;
    }
    case WidgetKind::kLineEdit: {
      auto* edit = new QLineEdit(parent);
      if (s.style & ES_PASSWORD) edit->setEchoMode(QLineEdit::Password);
      if (s.style & ES_READONLY) edit->setReadOnly(true);
      if (s.style & ES_NUMBER)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
      return edit;
    }
    case WidgetKind::kTextEdit: {
      auto* edit = new QPlainTextEdit(parent);
      if (s.style & ES_READONLY) edit->setReadOnly(true);
      // Lines wrap at the field's width unless it scrolls sideways: no bar for that.
      if (!(s.style & ES_AUTOHSCROLL)) {
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      }
      return edit;
    }
    case WidgetKind::kComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable((s.style & 0x3) == CBS_DROPDOWN);
      if (combo->lineEdit()) combo->lineEdit()->installEventFilter(this);
      return combo;
    }
    case WidgetKind::kListBox: {
      auto* list = new QListWidget(parent);
      if (s.style & LBS_OWNERDRAWVARIABLE) {
        list->setItemDelegate(new ListRowDelegate(dpi_scale_, list));
        list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        // The rows fit their texts to the width with "…": nothing to scroll to.
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      }
      return list;
    }
    case WidgetKind::kSlider: {
      auto* slider = new QSlider(Qt::Horizontal, parent);
      // One report when the user lets go, not one per pixel dragged.
      slider->setTracking(false);
      if (s.style & TBS_AUTOTICKS) slider->setTickPosition(QSlider::TicksBelow);
      return slider;
    }
    case WidgetKind::kListView: {
      auto* list = new QTreeWidget(parent);
      list->setRootIsDecorated(false);
      list->setUniformRowHeights(true);
      list->setSelectionBehavior(QAbstractItemView::SelectRows);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setAllColumnsShowFocus(true);
      return list;
    }
    case WidgetKind::kTreeView: {
      auto* tree = new QTreeWidget(parent);
      tree->setHeaderHidden(true);
      tree->setColumnCount(1);
      tree->setSelectionMode(QAbstractItemView::SingleSelection);
      return tree;
    }
    case WidgetKind::kTabs: {
      auto* tabs = new QTabBar(parent);
      tabs->setExpanding(false);
      tabs->setDrawBase(true);
      return tabs;
    }
    case WidgetKind::kMenuBar:
    case WidgetKind::kIconBar:
    case WidgetKind::kWindow:
      break;
  }
  auto* window = new QWidget(parent);
  if (!parent) window->setWindowFlags(s.is_dialog ? Qt::Dialog : Qt::Window);
  window->setAutoFillBackground(s.kind == WidgetKind::kMenuBar);
  return window;
}

void WidgetMirror::Connect(Entry& entry) {
  HWND hwnd = entry.last.hwnd;
  QWidget* w = entry.widget;
  switch (entry.last.kind) {
    case WidgetKind::kPushButton:
    case WidgetKind::kOwnerDrawn:
      connect(static_cast<QPushButton*>(w), &QPushButton::clicked, this, [hwnd] { PostClick(hwnd); });
      break;
    case WidgetKind::kSoftKey:
      connect(static_cast<QPushButton*>(w), &QPushButton::clicked, this, [this, hwnd] {
        const Entry* key = Find(hwnd);
        if (key && !key->last.popup.empty())
          ShowPopup(hwnd);
        else
          PostClick(hwnd);
      });
      break;
    case WidgetKind::kLink:
      connect(static_cast<QLabel*>(w), &QLabel::linkActivated, this, [hwnd] { PostClick(hwnd); });
      break;
    case WidgetKind::kCheckBox:
    case WidgetKind::kRadioButton:
      connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, this, [this, hwnd] {
        Entry* e = Find(hwnd);
        if (!e) return;
        // Only the automatic kinds change by themselves; the others show what
        // the program makes of the click.
        if (!IsAutoButton(e->last.style)) ApplyState(*e);
        PostClick(hwnd);
      });
      break;
    case WidgetKind::kLineEdit:
      connect(static_cast<QLineEdit*>(w), &QLineEdit::textEdited, this,
              [this, hwnd](const QString& text) { OnUserTyped(hwnd, FromQString(text)); });
      break;
    case WidgetKind::kTextEdit: {
      auto* edit = static_cast<QPlainTextEdit*>(w);
      connect(edit, &QPlainTextEdit::textChanged, this,
              [this, hwnd, edit] { OnUserTyped(hwnd, ToProgramLines(edit->toPlainText())); });
      break;
    }
    case WidgetKind::kComboBox: {
      auto* combo = static_cast<QComboBox*>(w);
      connect(combo, &QComboBox::currentIndexChanged, this, [hwnd](int index) {
        if (index >= 0) PostUserSelect(hwnd, index);
      });
      if (combo->lineEdit())
        connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                [this, hwnd](const QString& text) { OnUserTyped(hwnd, FromQString(text)); });
      break;
    }
    case WidgetKind::kListBox: {
      auto* list = static_cast<QListWidget*>(w);
      // The user may also clear the selection (Ctrl+click): -1.
      connect(list, &QListWidget::itemSelectionChanged, this, [hwnd, list] {
        auto selected = list->selectedItems();
        PostUserSelect(hwnd, selected.isEmpty() ? -1 : list->row(selected.front()));
      });
      connect(list, &QListWidget::itemActivated, this,
              [hwnd, list](QListWidgetItem* item) { PostUserActivate(hwnd, list->row(item)); });
      break;
    }
    case WidgetKind::kSlider:
      connect(static_cast<QSlider*>(w), &QSlider::valueChanged, this,
              [hwnd](int value) { PostUserPosition(hwnd, value); });
      break;
    case WidgetKind::kListView: {
      auto* list = static_cast<QTreeWidget*>(w);
      connect(list, &QTreeWidget::itemSelectionChanged, this, [hwnd, list] {
        auto selected = list->selectedItems();
        PostUserSelect(hwnd, selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front()));
      });
      connect(list, &QTreeWidget::itemActivated, this, [hwnd, list](QTreeWidgetItem* item) {
        if (item) PostUserActivate(hwnd, list->indexOfTopLevelItem(item));
      });
      break;
    }
    case WidgetKind::kTreeView: {
      auto* tree = static_cast<QTreeWidget*>(w);
      auto handle = [](QTreeWidgetItem* item) {
        return static_cast<std::uintptr_t>(item->data(0, Qt::UserRole).toULongLong());
      };
      connect(tree, &QTreeWidget::currentItemChanged, this, [hwnd, handle](QTreeWidgetItem* item) {
        if (item) PostUserSelect(hwnd, static_cast<std::intptr_t>(handle(item)));
      });
      connect(tree, &QTreeWidget::itemExpanded, this,
              [hwnd, handle](QTreeWidgetItem* item) { PostUserExpand(hwnd, handle(item), true); });
      connect(tree, &QTreeWidget::itemCollapsed, this,
              [hwnd, handle](QTreeWidgetItem* item) { PostUserExpand(hwnd, handle(item), false); });
      break;
    }
    case WidgetKind::kTabs:
      // A dialog that refuses the change makes the control report its tab again.
      connect(static_cast<QTabBar*>(w), &QTabBar::currentChanged, this, [hwnd](int index) {
        if (index >= 0) PostUserSelect(hwnd, index);
      });
      break;
    default:
      break;
  }
}

void WidgetMirror::ApplyText(Entry& entry) {
  QWidget* w = entry.widget;
  if (!w) return;
  const WindowSnapshot& s = entry.last;
  QSignalBlocker block(w);
  if (w->isWindow()) {
    w->setWindowTitle(ToQString(s.text));
    return;
  }
  switch (s.kind) {
    case WidgetKind::kLabel: {
      if (!s.image.empty()) break;  // the picture stands in for the text
      // A static breaks its lines at CR, LF or CR LF.
      QString text = FromProgramLines(s.text);
      text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
      static_cast<QLabel*>(w)->setText((s.style & SS_NOPREFIX) ? text : WithoutPrefixMarks(text));
      break;
    }
    case WidgetKind::kLink: {
      QString text = ToQString(s.text);
      if (!(s.style & SS_NOPREFIX)) text = WithoutPrefixMarks(text);
      static_cast<LinkLabel*>(w)->SetLinkText(text);
      break;
    }
    case WidgetKind::kPushButton:
    case WidgetKind::kOwnerDrawn:
    case WidgetKind::kSoftKey:
    case WidgetKind::kCheckBox:
    case WidgetKind::kRadioButton:
      // Qt marks mnemonics with & and writes && for an ampersand, as the program does.
      static_cast<QAbstractButton*>(w)->setText(ToQString(s.text));
      break;
    case WidgetKind::kGroupBox:
      static_cast<QGroupBox*>(w)->setTitle(ToQString(s.text));
      break;
    case WidgetKind::kLabelEdit:
    case WidgetKind::kSeparator:
      static_cast<QLabel*>(w)->setText(ToQString(s.text));
      break;
    case WidgetKind::kLineEdit: {
      auto* edit = static_cast<QLineEdit*>(w);
      QString text = ToQString(s.text);
      if (AcceptProgramText(entry, s.text) && edit->text() != text) {
        int caret = CaretAfterChange(edit->cursorPosition(), edit->text().size(), text.size());
        edit->setText(text);
        edit->setCursorPosition(caret);
      }
      break;
    }
    case WidgetKind::kTextEdit: {
      auto* edit = static_cast<QPlainTextEdit*>(w);
      QString text = FromProgramLines(s.text);
      if (AcceptProgramText(entry, s.text) && edit->toPlainText() != text) {
        QTextCursor cursor = edit->textCursor();
        // A text the user cannot change is read from its start.
        int caret = edit->isReadOnly()
                        ? 0
                        : CaretAfterChange(cursor.position(), edit->toPlainText().size(), text.size());
        edit->setPlainText(text);
        cursor = edit->textCursor();
        cursor.setPosition(caret);
        edit->setTextCursor(cursor);
      }
      break;
    }
    case WidgetKind::kComboBox: {
      auto* combo = static_cast<QComboBox*>(w);
      if (combo->lineEdit() && AcceptProgramText(entry, s.text) && combo->lineEdit()->text() != ToQString(s.text)) {
        QSignalBlocker block_edit(combo->lineEdit());
        combo->lineEdit()->setText(ToQString(s.text));
      }
      break;
    }
    default:
      break;
  }
}

void WidgetMirror::ApplyState(Entry& entry) {
  QWidget* w = entry.widget;
  if (!w || !entry.last.state_read) return;
  const WindowSnapshot& s = entry.last;
  QSignalBlocker block(w);
  switch (s.kind) {
    case WidgetKind::kOwnerDrawn:
      static_cast<PictureButton*>(w)->SetPicture(ToQString(s.image));
      static_cast<QPushButton*>(w)->setDown(s.pressed);
      break;
    case WidgetKind::kPushButton:
    case WidgetKind::kSoftKey:
      static_cast<QPushButton*>(w)->setDown(s.pressed);
      break;
    case WidgetKind::kLineEdit:
      static_cast<QLineEdit*>(w)->setReadOnly((s.style & ES_READONLY) != 0);
      break;
    case WidgetKind::kTextEdit:
      static_cast<QPlainTextEdit*>(w)->setReadOnly((s.style & ES_READONLY) != 0);
      break;
    case WidgetKind::kCheckBox:
      static_cast<QCheckBox*>(w)->setCheckState(ToCheckState(s.check));
      break;
    case WidgetKind::kRadioButton:
      static_cast<QRadioButton*>(w)->setChecked(s.check == BST_CHECKED);
      break;
    case WidgetKind::kProgress: {
      auto* bar = static_cast<QProgressBar*>(w);
      // An empty range would make Qt show a busy bar; the program means "nothing yet".
      if (s.high > s.low)
        bar->setRange(s.low, s.high);
      else
        bar->setRange(0, 1);
      bar->setValue(std::clamp(s.pos, bar->minimum(), bar->maximum()));
      break;
    }
    case WidgetKind::kSlider: {
      auto* slider = static_cast<QSlider*>(w);
      slider->setRange(s.low, std::max(s.low, s.high));
      slider->setValue(s.pos);
      break;
    }
    case WidgetKind::kComboBox: {
      auto* combo = static_cast<QComboBox*>(w);
      QStringList items = ToStringList(s.items);
      bool same = combo->count() == items.size();
      for (int i = 0; same && i < combo->count(); ++i) same = combo->itemText(i) == items[i];
      QString edit_text = combo->lineEdit() ? combo->lineEdit()->text() : QString();
      if (!same) {
        combo->clear();
        combo->addItems(items);
      }
      combo->setCurrentIndex(s.selected >= 0 && s.selected < combo->count() ? s.selected : -1);
      // The edit part shows the field's own text (reported as its window text),
      // not the chosen item's.
      if (combo->lineEdit()) {
        QSignalBlocker block_edit(combo->lineEdit());
        combo->lineEdit()->setText(edit_text);
      }
      break;
    }
    case WidgetKind::kLabel:
    case WidgetKind::kLink:
      ApplyLook(entry);
      break;
    case WidgetKind::kListBox: {
      auto* list = static_cast<QListWidget*>(w);
      QStringList items = ToStringList(s.items);
      bool drawn = (s.style & LBS_OWNERDRAWVARIABLE) && s.item_parts.size() == s.items.size();
      bool same = list->count() == items.size();
      for (int i = 0; same && i < list->count(); ++i)
        same = list->item(i)->text() == items[i] && (!drawn || RowShows(*list->item(i), s.item_parts[i]));
      if (!same) {
        list->clear();
        for (int i = 0; i < items.size(); ++i) {
          auto* item = new QListWidgetItem(drawn ? QString() : items[i]);
          // The text stays for keyboard search and for tests; the delegate draws the parts.
          if (drawn) {
            item->setData(Qt::DisplayRole, items[i]);
            SetRowParts(*item, s.item_parts[static_cast<std::size_t>(i)]);
          }
          list->addItem(item);
        }
      }
      list->setCurrentRow(s.selected >= 0 && s.selected < list->count() ? s.selected : -1);
      if (s.selected < 0) list->clearSelection();
      break;
    }
    case WidgetKind::kListView: {
      auto* list = static_cast<QTreeWidget*>(w);
      int columns = std::max<int>(1, static_cast<int>(s.columns.size()));
      list->setColumnCount(columns);
      QStringList titles;
      for (const ListColumn& c : s.columns) titles.push_back(ToQString(c.title));
      if (!titles.isEmpty()) list->setHeaderLabels(titles);
      list->setHeaderHidden(s.columns.empty());
      for (int c = 0; c < static_cast<int>(s.columns.size()); ++c)
        list->header()->resizeSection(c, static_cast<int>(std::lround(s.columns[c].width * dpi_scale_)));
      bool same = list->topLevelItemCount() == static_cast<int>(s.rows.size());
      for (int r = 0; same && r < list->topLevelItemCount(); ++r)
        for (int c = 0; same && c < columns && c < static_cast<int>(s.rows[r].size()); ++c)
          same = list->topLevelItem(r)->text(c) == ToQString(s.rows[r][c]);
      if (!same) {
        list->clear();
        QList<QTreeWidgetItem*> items;
        for (const auto& row : s.rows) items.push_back(new QTreeWidgetItem(ToStringList(row)));
        list->addTopLevelItems(items);
      }
      QTreeWidgetItem* current = s.selected >= 0 ? list->topLevelItem(s.selected) : nullptr;
      list->setCurrentItem(current);
      if (!current) list->clearSelection();
      break;
    }
    case WidgetKind::kTreeView: {
      auto* tree = static_cast<QTreeWidget*>(w);
      tree->clear();
      std::vector<QTreeWidgetItem*> parents;
      QTreeWidgetItem* current = nullptr;
      for (const TreeNodeState& node : s.tree) {
        parents.resize(static_cast<std::size_t>(std::max(0, node.depth)));
        auto* item = parents.empty() ? new QTreeWidgetItem(tree) : new QTreeWidgetItem(parents.back());
        item->setText(0, ToQString(node.text));
        item->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(node.item));
        item->setChildIndicatorPolicy(node.has_children ? QTreeWidgetItem::ShowIndicator
                                                        : QTreeWidgetItem::DontShowIndicatorWhenChildless);
        if (node.item == s.tree_selected) current = item;
        parents.push_back(item);
      }
      // Opened after all items exist: a closed parent hides an open child.
      std::size_t i = 0;
      for (QTreeWidgetItemIterator it(tree); *it && i < s.tree.size(); ++it, ++i)
        (*it)->setExpanded(s.tree[i].expanded);
      tree->setCurrentItem(current);
      break;
    }
    case WidgetKind::kIconBar:
      ApplyIconButtons(entry);
      break;
    case WidgetKind::kTabs: {
      auto* tabs = static_cast<QTabBar*>(w);
      QStringList items = ToStringList(s.items);
      bool same = tabs->count() == items.size();
      for (int i = 0; same && i < tabs->count(); ++i) same = tabs->tabText(i) == items[i];
      if (!same) {
        while (tabs->count() > 0) tabs->removeTab(0);
        for (const QString& item : items) tabs->addTab(item);
      }
      if (s.selected >= 0 && s.selected < tabs->count()) tabs->setCurrentIndex(s.selected);
      break;
    }
    default:
      break;
  }
}

void WidgetMirror::ApplyLook(Entry& entry) {
  auto* label = dynamic_cast<QLabel*>(entry.widget.data());
  if (!label) return;
  const WindowSnapshot& s = entry.last;
  const StaticLook& look = s.look;
  // Most statics have none: they keep what they inherit, untouched.
  bool custom = look.font || look.text_color || look.back_color;
  if (custom || label->property("dictalo_look").toBool()) ApplyFontAndColours(*label, look);
  label->setProperty("dictalo_look", custom);
  if (!s.image.empty()) {
    QSize size = ToLogical(s.rect).size();
    int side = std::min(size.width(), size.height());
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(QIcon::fromTheme(ToQString(s.image)).pixmap(side, side));
  } else if (!label->pixmap().isNull()) {
    label->setPixmap(QPixmap());
    ApplyText(entry);
  }
}

void WidgetMirror::ApplyFontAndColours(QLabel& label_ref, const StaticLook& look) {
  QLabel* label = &label_ref;
  QFont font = label->parentWidget() ? label->parentWidget()->font() : QApplication::font();
  if (look.font) {
    // The program's pixels, like its layout: scaled as the rectangles are. A
    // face the desktop lacks falls back to its sans-serif face of the same weight.
    if (!look.font->lfFaceName.empty()) {
      font.setFamily(ToQString(look.font->lfFaceName));
      font.setStyleHint(QFont::SansSerif);
    }
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(std::abs(look.font->lfHeight) * dpi_scale_))));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(look.font->lfWeight / 10 * 10, 100, 900)));
    font.setItalic(look.font->lfItalic);
  }
  label->setFont(font);
  QPalette palette = label->parentWidget() ? label->parentWidget()->palette() : QApplication::palette();
  auto color = [](COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); };
  if (look.text_color) palette.setColor(QPalette::WindowText, color(*look.text_color));
  if (look.back_color) palette.setColor(QPalette::Window, color(*look.back_color));
  label->setPalette(palette);
  label->setAutoFillBackground(look.back_color.has_value());
}

void WidgetMirror::ApplyIconButtons(Entry& entry) {
  QWidget* bar = entry.widget;
  const auto& buttons = entry.last.icon_buttons;
  HWND hwnd = entry.last.hwnd;
  // One tool button per icon button, found again by its id.
  std::vector<QToolButton*> shown;
  for (QObject* child : bar->children())
    if (auto* b = qobject_cast<QToolButton*>(child)) shown.push_back(b);
  bool same = shown.size() == buttons.size();
  for (std::size_t i = 0; same && i < shown.size(); ++i) same = shown[i]->property(kIdPropertyName).toUInt() == buttons[i].id;
  if (!same) {
    for (QToolButton* b : shown) delete b;
    shown.clear();
    for (const CeIconButtonBase& button : buttons) {
      auto* b = new QToolButton(bar);
      UINT id = button.id;
      b->setProperty(kIdPropertyName, id);
      b->setFocusPolicy(Qt::NoFocus);
      b->setAutoRaise(true);
      connect(b, &QToolButton::clicked, this, [hwnd, id] { PostUserActivate(hwnd, static_cast<std::intptr_t>(id)); });
      shown.push_back(b);
    }
  }
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const CeIconButtonBase& button = buttons[i];
    QToolButton* b = shown[i];
    QSignalBlocker block(b);
    std::u16string_view icon_name = button.pressed && !button.pressed_icon.empty() ? button.pressed_icon : button.icon;
    QIcon icon = QIcon::fromTheme(ToQString(icon_name));
    b->setIcon(icon);
    b->setText(ToQString(button.text));
    b->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly
                                        : button.text.empty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
    b->setToolTip(ToQString(button.tooltip));
    b->setCheckable(button.checkable);
    b->setChecked(button.checked);
    b->setDown(button.pressed);
    b->setEnabled(button.enabled);
    b->setGeometry(ToLogical(button.rect));
    b->show();
  }
}

}  // namespace toolkit::qt
