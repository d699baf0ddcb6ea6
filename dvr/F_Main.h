// The DVR recovery wizard TForm1 (instance Form1): choose a physical drive or
// a disk image, let the DVR type be recognised from the disk, set the options,
// then read the DVR's cluster index and list the video files it names. The
// main routine creates it at start-up, after the main window; no command shows
// it. Its creation probes the machine's physical drives.
#pragma once

#include <QColor>
#include <QDate>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace velmora::F_Main {

// One listed drive, attached to its row of the drive list.
struct Tdiskinfo {
  std::uint8_t DriveNo = 0;
  std::string Model;          // the product text
  std::uint32_t Sectors = 0;  // size in bytes div 512, low 32 bits
};

// ---- wizard state
extern std::string DvrDevicePath;       // "\\.\PHYSICALDRIVE" + number, or "\\?\" + a file
extern std::uint32_t DvrDeviceSectors;  // size of the device in sectors, low 32 bits
extern std::string DvrDetectedType;     // the recognised type text
extern std::string DvrDetectedVersion;  // the recognised version text
extern bool DvrTypeDetected;

// The option values Scan takes; stored and not applied.
struct TDvrScanOptions {
  std::int64_t StartSector = 0;
  std::int64_t EndSector = 0;
  std::string FileExt;
  std::int64_t LoopCount = 0;
  int VersionIndex = -1;
  QDate StartDate;
  QDate EndDate;
};
extern TDvrScanOptions DvrScanOptions;
extern std::uint8_t DvrTypeIndex;  // 0 DHFS, 1 DHFS Encryption, 2 WFS
extern std::uint8_t DvrScanMode;   // 0 using clusters, 1 free clusters, 2 all clusters

// A disk size as the drive list shows it: GiB rounded to the nearest
// hundredth (ties to even), shortest decimal form with the user's decimal
// separator, then "GB" (500107862016 gives "465.76GB").
std::string CapacityText(std::uint64_t bytes);

// The path that the sector routines open for a device path of the wizard:
// "\\?\" + a file's name gives the file's name, "\\.\PHYSICALDRIVE" + a
// number gives that drive's device node.
std::string SystemPathOf(const std::string& devicePath);

class TForm1 : public QWidget {
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // ---- side panel, caption, pages
  QWidget* Panel1 = nullptr;   // the step labels
  QLabel* Label1 = nullptr;    // "New Task"
  QLabel* Label2 = nullptr;    // "Select Device"
  QLabel* Label3 = nullptr;    // "Options"
  QLabel* Label5 = nullptr;    // "Scan"
  QLabel* Label6 = nullptr;    // "Help"
  QLabel* Label7 = nullptr;    // "About"
  QLabel* Label8 = nullptr;    // "Exit"
  QLabel* Panel2 = nullptr;    // caption panel "Tindrel"
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;  // "Select device"
  QWidget* TabSheet2 = nullptr;  // "Options"
  QWidget* TabSheet3 = nullptr;  // "File List"
  QWidget* TabSheet4 = nullptr;  // "About"

  // ---- "Select device"
  QRadioButton* RadioButton1 = nullptr;  // "Physical Media"
  QRadioButton* RadioButton2 = nullptr;  // "Image File"
  QCheckBox* CheckBox2 = nullptr;        // "Automatic analysis DVR Type"
  QTreeWidget* ListView1 = nullptr;      // the drive list
  QMenu* PopupMenu1 = nullptr;
  QAction* Refresh1 = nullptr;           // "Refresh", F5
  QPushButton* BitBtn1 = nullptr;        // "Image File"
  QLineEdit* Edit1 = nullptr;            // the image file's path
  QPushButton* BitBtn2 = nullptr;        // "Next"

  // ---- "Options"
  QGroupBox* GroupBox1 = nullptr;  // "Option"
  QLineEdit* Edit2 = nullptr;      // start sector
  QLineEdit* Edit3 = nullptr;      // end sector
  QLineEdit* Edit13 = nullptr;     // file extension
  QLineEdit* Edit5 = nullptr;      // loop count
  QComboBox* ComboBox1 = nullptr;  // DVR type
  QComboBox* ComboBox2 = nullptr;  // DVR version
  QLineEdit* Edit4 = nullptr;      // hidden built-in parameter, read by nothing
  QLabel* Label9 = nullptr;        // its hidden label "内置参数："
  QGroupBox* GroupBox2 = nullptr;  // "Time"
  QCheckBox* CheckBox1 = nullptr;  // "Filter Date"
  QDateEdit* DateTimePicker1 = nullptr;  // start date
  QDateEdit* DateTimePicker2 = nullptr;  // end date
  QGroupBox* GroupBox3 = nullptr;  // "Scan Type"
  QRadioButton* RadioButton3 = nullptr;  // "Only scan using clusters"
  QRadioButton* RadioButton4 = nullptr;  // "Only scan free clusters"
  QRadioButton* RadioButton5 = nullptr;  // "Scan all clusters"
  QPushButton* BitBtn8 = nullptr;  // "New Task"
  QPushButton* BitBtn5 = nullptr;  // "Previous"
  QPushButton* BitBtn4 = nullptr;  // "Next"

  // ---- "File List"
  QWidget* Panel3 = nullptr;          // the page header
  QLabel* Label4 = nullptr;           // the result, at the header's right
  QTreeWidget* ListView2 = nullptr;   // the file list
  QProgressBar* Gauge1 = nullptr;
  QPushButton* BitBtn7 = nullptr;     // "New Task"
  QPushButton* BitBtn6 = nullptr;     // "Previous"
  QPushButton* BitBtn10 = nullptr;    // "Scan"
  QPushButton* BitBtn9 = nullptr;     // "Stop" (no action)
  QPushButton* BitBtn3 = nullptr;     // "Save Selected" (no action)

  // ---- "About"
  QWidget* Panel4 = nullptr;  // the page header

  // ---- handlers
  void FormCreate(QObject* sender);
  void RadioButton1Click(QObject* sender);
  void RadioButton2Click(QObject* sender);
  void ListView1Click(QObject* sender);
  void Refresh1Click(QObject* sender);
  void BitBtn1Click(QObject* sender);
  void BitBtn2Click(QObject* sender);
  void ComboBox1Change(QObject* sender);
  void CheckBox1Click(QObject* sender);
  // Key filters: backspace and the digits pass; any other key is set to 0
  // (dropped).
  void Edit2KeyPress(QObject* sender, char16_t& key);
  void Edit3KeyPress(QObject* sender, char16_t& key);
  void Edit5KeyPress(QObject* sender, char16_t& key);
  void BitBtn4Click(QObject* sender);
  void BitBtn5Click(QObject* sender);
  void BitBtn8Click(QObject* sender);
  void BitBtn6Click(QObject* sender);
  void BitBtn7Click(QObject* sender);
  void BitBtn10Click(QObject* sender);
  void ListView2CustomDraw(QObject* sender);
  // The brush of row `index` of the file list: odd rows get RGB(215, 238,
  // 240); even rows keep `brush` as it is (invalid: the default).
  void ListView2CustomDrawItem(QObject* sender, int index, QColor& brush);
  void Label1MouseMove(QObject* sender);
  void Label1MouseLeave(QObject* sender);

  // The drive record attached to a row of the drive list.
  const Tdiskinfo* DiskInfoOf(const QTreeWidgetItem* row) const;

  // The step labels, top to bottom.
  std::vector<QLabel*> StepLabels() const;

  // The image chooser of BitBtn1Click: the chosen file, or nothing on cancel.
  // Tests answer it by script; an empty chooser puts back the real dialog.
  using FileChooser = std::function<std::optional<std::string>(TForm1& owner)>;
  static FileChooser SetFileChooser(FileChooser chooser);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildComponents();
  void BuildSelectDevicePage();
  void BuildOptionsPage();
  void BuildFileListPage();
  void ProbeDrives();
  std::optional<std::string> ChooseImageFile();
  void RecogniseDvrType();
  void ShowPage(QWidget* page, QLabel* highlight, QLabel* plain);
  void SetStepStyle(QLabel* label, bool highlighted);
  void PlaceResultLabel();
  bool ReadIndexArea();
  void FillFileList();

  std::vector<Tdiskinfo> disks_;  // the records of the drive rows
  QLabel* currentStep_ = nullptr;
  bool scanning_ = false;
};

extern TForm1* Form1;

}  // namespace velmora::F_Main
