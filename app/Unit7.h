// The progress window TForm7 (instance Form7). Created at start-up; no command
// shows it, but its close query and close work when it is shown.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmora {

class TForm7 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm7(QWidget* parent = nullptr);
  ~TForm7() override;

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QProgressBar* ProgressBar2 = nullptr;
  QPushButton* Button1 = nullptr;

  void FormCreate();
  void Button1Click();
  // True when the window may close.
  bool FormCloseQuery();
  void FormClose();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
};

extern TForm7* Form7;

}  // namespace velmora
