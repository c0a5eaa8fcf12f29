#include "toolkit/qt/picture_button.h"

#include <algorithm>

#include <QEvent>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include "toolkit/qt/widget_mirror.h"

namespace toolkit::qt {

PictureButton::PictureButton(QWidget* parent) : QPushButton(parent) {}

void PictureButton::SetPicture(const QString& name) {
  if (name == name_) return;
  name_ = name;
  ShowPicture();
}

void PictureButton::ShowPicture() {
  QIcon icon;
  if (!name_.isEmpty()) {
    const QString disabled = name_ + QStringLiteral("-disabled");
    icon = !isEnabled() && QIcon::hasThemeIcon(disabled) ? QIcon::fromTheme(disabled) : QIcon::fromTheme(name_);
  }
  setIcon(icon);
  update();
}

void PictureButton::changeEvent(QEvent* event) {
  // Also when an ancestor is enabled or disabled: the button's own look follows.
  if (event->type() == QEvent::EnabledChange) ShowPicture();
  QPushButton::changeEvent(event);
}

void PictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& palette = this->palette();
  const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
  const QColor ink = palette.color(group, QPalette::ButtonText);
  const QRect whole = rect();
  painter.fillRect(whole, palette.color(group, QPalette::Button));
  painter.setPen(palette.color(group, QPalette::Mid));
  painter.drawRect(whole.adjusted(0, 0, -1, -1));

  // The label breaks across as many lines as it needs; the picture takes what
  // the label leaves, square, at most the button's width.
  constexpr int kMargin = 3;
  constexpr int kLabelFlags = Qt::AlignCenter | Qt::TextWordWrap;
  const QRect inner = whole.adjusted(kMargin, kMargin, -kMargin, -kMargin);
  const QString label = WithoutPrefixMarks(text());
  const QRect needed = label.isEmpty() ? QRect() : fontMetrics().boundingRect(inner, kLabelFlags, label);
  const int label_height = std::min(needed.height(), inner.height());
  const int side = std::min(inner.width(), inner.height() - label_height);
  QRect label_area = inner;
  if (!icon().isNull() && side > 0) {
    const QPixmap pixmap = icon().pixmap(QSize(side, side), devicePixelRatioF());
    const QSize shown = pixmap.deviceIndependentSize().toSize();
    const int top = inner.top() + (inner.height() - label_height - shown.height()) / 2;
    painter.drawPixmap(QRect(QPoint(inner.center().x() - shown.width() / 2, top), shown), pixmap);
    label_area.setTop(inner.bottom() + 1 - label_height);
  }
  if (!label.isEmpty()) {
    painter.setPen(ink);
    painter.drawText(label_area, kLabelFlags, label);
  }
  // The whole label as a tooltip while the button shows only part of it.
  const bool cut = needed.height() > inner.height() || needed.width() > inner.width();
  if (const QString tip = cut ? label : QString(); toolTip() != tip) setToolTip(tip);
  if (hasFocus()) {
    painter.setPen(QPen(ink, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(whole.adjusted(2, 2, -3, -3));
  }
  if (isDown()) {
    // Inverted, as the handheld draws a pressed owner-drawn button.
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(whole, Qt::white);
  }
}

}  // namespace toolkit::qt
