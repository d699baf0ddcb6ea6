// The scan-setup dialog TForm2 (instance Form2), shown without blocking by the
// main window's Start command. Two sources: a phone backup of this user
// (backup mode: the backups found at creation are listed, and the chosen one
// is searched for each ticked kind's database) or one database file (file
// mode: the file's kind is told by its tables). "扫描" runs one scan batch:
// the queue of kinds, the WeChat picker, and the dispatch to the scanners
// through the main window's hidden menu items. Closing the dialog enables the
// main window again.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QFileDialog;
class QHideEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QShowEvent;
class QTreeWidget;

namespace velmora {

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);
  ~TForm2() override;

  // ---- components, by their names
  QLabel* Label10 = nullptr;         // "选择扫描方式"
  QLabel* Label4 = nullptr;          // "使用帮助" (help link)
  QRadioButton* RadioButton4 = nullptr;  // backup mode
  QTreeWidget* ListView3 = nullptr;  // backups: name, backup time, path
  QCheckBox* CheckBox5 = nullptr;    // backup mode kinds 0..3
  QCheckBox* CheckBox6 = nullptr;
  QCheckBox* CheckBox7 = nullptr;
  QCheckBox* CheckBox8 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;  // progress of the backup search
  QRadioButton* RadioButton3 = nullptr;  // file mode
  QPushButton* BitBtn11 = nullptr;   // "数据库文件"
  QLineEdit* Edit7 = nullptr;        // the chosen database file
  QCheckBox* CheckBox1 = nullptr;    // file mode kinds 0..3
  QCheckBox* CheckBox2 = nullptr;
  QCheckBox* CheckBox3 = nullptr;
  QCheckBox* CheckBox4 = nullptr;
  QLabel* Label3 = nullptr;          // the red hint
  QPushButton* BitBtn2 = nullptr;    // "扫描"
  QFileDialog* OpenDialog1 = nullptr;

  // ---- handlers
  void FormCreate();
  void FormActivate();
  void RadioButton4Click();
  void RadioButton3Click();
  void BitBtn1Click();  // choose and identify a database file
  void BitBtn2Click();  // one scan batch
  void Label4Click();
  void FormClose();

  // Fills the backup list from the backups below `root` (ends in "/").
  void LoadBackupList(const std::string& root);

  // The file-mode and backup-mode box of a kind (0 to 3).
  QCheckBox* FileModeBox(int kind) const;
  QCheckBox* BackupModeBox(int kind) const;

  // The file chooser of BitBtn1Click: the chosen path, or nothing on cancel.
  // Tests answer it by script; an empty chooser puts back the real dialog.
  using FileChooser = std::function<std::optional<std::string>(TForm2& owner)>;
  static FileChooser SetFileChooser(FileChooser chooser);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void BuildComponents();
  std::optional<std::string> ChooseDatabaseFile();
  void Dispatch();
};

extern TForm2* Form2;

}  // namespace velmora
