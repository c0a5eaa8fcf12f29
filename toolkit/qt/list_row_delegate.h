#pragma once
// How an owner-drawn list box (LBS_OWNERDRAWVARIABLE) shows its entries on the
// desktop: each QListWidgetItem carries the entry's parts (toolkit's
// ListItemParts) in the roles below, and this delegate draws them: a heading
// row in bold on a shaded band; an entry row with its picture at the left
// (a placeholder when the picture cannot be read), the title in bold with the
// label after it, and the detail below, cut with "..." when it does not fit.

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

#include "toolkit/common_controls.h"

class QListWidgetItem;

namespace toolkit::qt {

enum ListRowRole {
  kRowHeadingRole = Qt::UserRole + 40,
  kRowPictureRole,
  kRowTitleRole,
  kRowLabelRole,
  kRowDetailRole,
};

// Puts parts into item's roles (and the plain text for accessibility).
void SetRowParts(QListWidgetItem& item, const ListItemParts& parts);
// Whether item already shows parts.
bool RowShows(const QListWidgetItem& item, const ListItemParts& parts);

class ListRowDelegate : public QStyledItemDelegate {
 public:
  // dpi_scale: logical pixels per pixel at 96 dpi; pictures are drawn 32 pixels
  // at 96 dpi square, scaled by it.
  ListRowDelegate(double dpi_scale, QObject* parent);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // The picture shown for a name: the file when it is an absolute path that
  // reads as an image, else the icon theme's, else a null pixmap (placeholder).
  QPixmap Picture(const QString& name) const;

 private:
  int Px(int at_96_dpi) const;
  void PaintPlaceholder(QPainter& painter, const QRect& box, const QPalette& palette) const;

  double dpi_scale_;
  mutable QHash<QString, QPixmap> pictures_;
};

}  // namespace toolkit::qt
