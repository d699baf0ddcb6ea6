// The WeChat picker TForm8 (instance Form8): the backup search offers every
// WeChat database it finds here and the user chooses the one to scan. It is
// shown modally over the disabled main window; closing it enables the main
// window again.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;
class QTreeWidget;
class QCloseEvent;
class QHideEvent;
class QShowEvent;

namespace velmora {

class TForm8 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm8(QWidget* parent = nullptr);
  ~TForm8() override;

  QLabel* Label10 = nullptr;
  QTreeWidget* ListView3 = nullptr;  // "名称" (file name), "路径" (full path, not seen)
  QPushButton* Button1 = nullptr;    // "确定"

  // Empties the candidate list / adds one candidate (name without folder, full path).
  void ClearCandidates();
  void AddCandidate(const std::string& path);

  void FormCreate();
  void FormActivate();
  void Button1Click();
  void FormClose();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
};

extern TForm8* Form8;

}  // namespace velmora
