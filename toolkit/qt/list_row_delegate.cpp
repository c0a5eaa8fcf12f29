#include "toolkit/qt/list_row_delegate.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QListWidgetItem>
#include <QPainter>
#include <QStyle>

#include "toolkit/qt/qt_text.h"

namespace toolkit::qt {
namespace {

constexpr int kPicture = 32;  // at 96 dpi
constexpr int kPad = 4;

QString Plain(const ListItemParts& parts) {
  if (parts.heading) return ToQString(parts.title);
  QString text = ToQString(parts.title);
  if (!parts.label.empty()) text += QStringLiteral(" ") + ToQString(parts.label);
  if (!parts.detail.empty()) text += QStringLiteral("\n") + ToQString(parts.detail);
  return text;
}

// A row with a title only: a note such as "nothing to show".
bool IsNote(const QModelIndex& index) {
  return index.data(kRowPictureRole).toString().isEmpty() && index.data(kRowLabelRole).toString().isEmpty() &&
         index.data(kRowDetailRole).toString().isEmpty();
}

QFont Bold(QFont font) {
  font.setBold(true);
  return font;
}

}  // namespace

void SetRowParts(QListWidgetItem& item, const ListItemParts& parts) {
  item.setData(kRowHeadingRole, parts.heading);
  item.setData(kRowPictureRole, ToQString(parts.picture));
  item.setData(kRowTitleRole, ToQString(parts.title));
  item.setData(kRowLabelRole, ToQString(parts.label));
  item.setData(kRowDetailRole, ToQString(parts.detail));
  item.setToolTip(parts.heading ? QString() : ToQString(parts.detail));
  item.setData(Qt::AccessibleTextRole, Plain(parts));
  // A heading is no choice.
  if (parts.heading) item.setFlags(item.flags() & ~Qt::ItemIsSelectable);
}

bool RowShows(const QListWidgetItem& item, const ListItemParts& parts) {
  return item.data(kRowHeadingRole).toBool() == parts.heading &&
         item.data(kRowPictureRole).toString() == ToQString(parts.picture) &&
         item.data(kRowTitleRole).toString() == ToQString(parts.title) &&
         item.data(kRowLabelRole).toString() == ToQString(parts.label) &&
         item.data(kRowDetailRole).toString() == ToQString(parts.detail);
}

ListRowDelegate::ListRowDelegate(double dpi_scale, QObject* parent)
    : QStyledItemDelegate(parent), dpi_scale_(dpi_scale > 0 ? dpi_scale : 1.0) {}

int ListRowDelegate::Px(int at_96_dpi) const { return static_cast<int>(std::lround(at_96_dpi * dpi_scale_)); }

QPixmap ListRowDelegate::Picture(const QString& name) const {
  if (name.isEmpty()) return {};
  auto found = pictures_.constFind(name);
  if (found != pictures_.constEnd()) return *found;
  QPixmap picture;
  if (QDir::isAbsolutePath(name)) {
    // A picture from elsewhere (the update server's) is read with care: only a
    // real image file of sensible size.
    QImageReader reader(name);
    QSize size = reader.size();
    if (QFileInfo(name).isFile() && size.isValid() && size.width() <= 1024 && size.height() <= 1024) {
      QImage image = reader.read();
      if (!image.isNull()) picture = QPixmap::fromImage(image);
    }
  } else if (QIcon::hasThemeIcon(name)) {
    picture = QIcon::fromTheme(name).pixmap(Px(kPicture), Px(kPicture));
  }
  pictures_.insert(name, picture);
  return picture;
}

void ListRowDelegate::PaintPlaceholder(QPainter& painter, const QRect& box, const QPalette& palette) const {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  QColor frame = palette.color(QPalette::Mid);
  painter.setPen(QPen(frame, std::max(1, Px(1)), Qt::DashLine));
  painter.setBrush(palette.color(QPalette::AlternateBase));
  painter.drawRoundedRect(box.adjusted(1, 1, -1, -1), Px(4), Px(4));
  // A small box with a lid: "a product".
  QRect inner = box.adjusted(box.width() / 4, box.height() / 3, -box.width() / 4, -box.height() / 5);
  painter.setPen(QPen(frame, std::max(1, Px(2))));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(inner);
  painter.drawLine(inner.left(), inner.top() + inner.height() / 3, inner.right(), inner.top() + inner.height() / 3);
  painter.restore();
}

void ListRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QWidget* widget = opt.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  painter->save();
  QRect area = opt.rect.adjusted(Px(kPad), 0, -Px(kPad), 0);
  if (index.data(kRowHeadingRole).toBool()) {
    painter->fillRect(opt.rect, opt.palette.color(QPalette::Button));
    painter->setFont(Bold(opt.font));
    painter->setPen(opt.palette.color(QPalette::ButtonText));
    QString title = painter->fontMetrics().elidedText(index.data(kRowTitleRole).toString(), Qt::ElideRight,
                                                      area.width());
    painter->drawText(area, Qt::AlignVCenter | Qt::AlignLeft, title);
    painter->restore();
    return;
  }
  // Background, selection and focus as the style draws them, without text.
  opt.text.clear();
  opt.icon = QIcon();
  style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
  bool selected = opt.state & QStyle::State_Selected;
  QColor text = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
  if (IsNote(index)) {
    // A note stands alone in the middle of its row.
    QFont italic = opt.font;
    italic.setItalic(true);
    painter->setFont(italic);
    painter->setPen(text);
    painter->drawText(area, Qt::AlignCenter,
                      QFontMetrics(italic).elidedText(index.data(kRowTitleRole).toString(), Qt::ElideRight,
                                                      area.width()));
    painter->restore();
    return;
  }

  int side = Px(kPicture);
  QRect box(area.left(), area.top() + (area.height() - side) / 2, side, side);
  QPixmap picture = Picture(index.data(kRowPictureRole).toString());
  if (picture.isNull()) {
    PaintPlaceholder(*painter, box, opt.palette);
  } else {
    QSize fitted = picture.size().scaled(box.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), fitted);
    target.moveCenter(box.center());
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawPixmap(target, picture);
  }

  QRect texts = area.adjusted(side + Px(6), Px(kPad), 0, -Px(kPad));
  QFont bold = Bold(opt.font);
  QFontMetrics bold_metrics(bold);
  QFontMetrics metrics(opt.font);
  int line = std::max(bold_metrics.height(), metrics.height());
  QString title = index.data(kRowTitleRole).toString().trimmed();
  QString label = index.data(kRowLabelRole).toString();
  // The label keeps its room; the title gives way.
  int label_width = label.isEmpty() ? 0 : metrics.horizontalAdvance(label) + Px(8);
  label_width = std::min(label_width, texts.width() / 2);
  QString shown_title = bold_metrics.elidedText(title, Qt::ElideRight, texts.width() - label_width);
  painter->setPen(text);
  painter->setFont(bold);
  QRect first(texts.left(), texts.top(), texts.width(), line);
  painter->drawText(first, Qt::AlignLeft | Qt::AlignVCenter, shown_title);
  if (!label.isEmpty()) {
    int after = texts.left() + bold_metrics.horizontalAdvance(shown_title) + Px(8);
    QRect label_rect(after, texts.top(), texts.right() - after + 1, line);
    painter->setFont(opt.font);
    QColor accent = selected ? text : opt.palette.color(QPalette::Link);
    painter->setPen(accent);
    painter->drawText(label_rect, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(label, Qt::ElideRight, label_rect.width()));
  }
  painter->setFont(opt.font);
  painter->setPen(text);
  QRect second(texts.left(), texts.top() + line, texts.width(), texts.bottom() - texts.top() - line + 1);
  // The detail takes the lines the row holds, the last cut with "...".
  QString detail = index.data(kRowDetailRole).toString();
  int lines = std::max(1, second.height() / metrics.height());
  QStringList words = detail.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  QStringList out;
  QString current;
  for (qsizetype i = 0; i < words.size(); ++i) {
    QString candidate = current.isEmpty() ? words[i] : current + QLatin1Char(' ') + words[i];
    if (metrics.horizontalAdvance(candidate) <= second.width() || current.isEmpty()) {
      current = candidate;
      continue;
    }
    out.push_back(current);
    current = words[i];
    if (out.size() == lines - 1) {
      // The rest goes on the last line.
      for (qsizetype j = i + 1; j < words.size(); ++j) current += QLatin1Char(' ') + words[j];
      break;
    }
  }
  if (!current.isEmpty()) out.push_back(current);
  for (qsizetype i = 0; i < out.size() && i < lines; ++i) {
    QRect r(second.left(), second.top() + static_cast<int>(i) * metrics.height(), second.width(), metrics.height());
    painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(out[i], Qt::ElideRight, r.width()));
  }
  painter->restore();
}

QSize ListRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QFontMetrics metrics(option.font);
  QFontMetrics bold_metrics(Bold(option.font));
  int width = option.rect.width() > 0 ? option.rect.width() : Px(200);
  if (index.data(kRowHeadingRole).toBool()) return {width, bold_metrics.height() + Px(2 * kPad)};
  if (IsNote(index)) return {width, metrics.height() + Px(4 * kPad)};
  // Title line and two lines of detail beside the picture.
  int texts = std::max(bold_metrics.height(), metrics.height()) + 2 * metrics.height();
  return {width, std::max(Px(kPicture), texts) + Px(2 * kPad)};
}

}  // namespace toolkit::qt
