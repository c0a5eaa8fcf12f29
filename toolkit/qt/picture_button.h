#pragma once
// PictureButton: how an owner-drawn button shows. Its picture (an icon theme
// name) sits above its label, both centred, the label broken across lines as
// the width needs. A disabled button shows "<name>-disabled" when the theme
// has it (else Qt greys the picture); a pressed button is drawn inverted and a
// focused one with a dotted frame.
// Without Q_OBJECT it shows, and is found, as the QPushButton it is.

#include <QPushButton>
#include <QString>

namespace toolkit::qt {

class PictureButton : public QPushButton {
 public:
  explicit PictureButton(QWidget* parent = nullptr);

  // The picture's icon theme name; empty for none. icon() is the picture shown
  // for the button's present state.
  void SetPicture(const QString& name);
  const QString& Picture() const { return name_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  // The whole button takes the tap.
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

 private:
  void ShowPicture();

  QString name_;
};

}  // namespace toolkit::qt
