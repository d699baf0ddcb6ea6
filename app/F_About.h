// The about box TForm6 (instance Form6): the title line, the maker's contact
// lines and three links to the maker's web pages.
#pragma once

#include <QDialog>
#include <QLabel>

class QFrame;
class QPushButton;

namespace velmora {

// A label that reports clicks, pointer movement over it and the pointer
// leaving it.
class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void clicked();
  void mouseMoved();
  void mouseLeft();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
};

class TForm6 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm6(QWidget* parent = nullptr);
  ~TForm6() override;

  QLabel* Label1 = nullptr;
  QFrame* Shape1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label6 = nullptr;
  LinkLabel* Label5 = nullptr;
  LinkLabel* Label7 = nullptr;
  LinkLabel* Image1 = nullptr;
  QPushButton* Button1 = nullptr;

  void FormCreate();
  void Label5Click();
  void Label7Click();
  void Image1Click();
  void Label5MouseMove();
  void Label5MouseLeave();
  void Button1Click();
};

extern TForm6* Form6;

}  // namespace velmora
