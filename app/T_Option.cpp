#include "app/T_Option.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QToolButton>
#include <QTreeWidget>

#include "app/AppGlobals.h"
#include "app/F_WXFile.h"
#include "app/ScanSetup.h"
#include "app/T_Main.h"
#include "app/WindowHelpers.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"

namespace velmora {

TForm2* Form2 = nullptr;

namespace {

TForm2::FileChooser& CurrentFileChooser() {
  static TForm2::FileChooser chooser;
  return chooser;
}

// A label that reports a left click (the help link).
class LinkLabel : public QLabel {
 public:
  LinkLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
      : QLabel(text, parent), onClick_(std::move(onClick)) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        onClick_) {
      onClick_();
    }
  }

 private:
  std::function<void()> onClick_;
};

bool IsBlank(const std::string& s) {
  for (const char c : s) {
    if (static_cast<unsigned char>(c) > ' ') return false;
  }
  return true;
}

QCheckBox* MakeBox(QWidget* parent, const char* name, const char* caption, int x, int y) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
  box->setObjectName(name);
  box->setGeometry(x, y, 90, 20);
  return box;
}

QAction* ScannerItem(std::uint8_t kind) {
  if (Main == nullptr) return nullptr;
  switch (kind) {
    case kKindContacts: return Main->IOStxl1;
    case kKindMessages: return Main->IOSdx1;
    case kKindCalls: return Main->IOSthjl1;
    case kKindWeChat: return Main->IOSwx1;
    default: return nullptr;
  }
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  setObjectName("TForm2");
  BuildComponents();
  FormCreate();
}

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
}

void TForm2::BuildComponents() {
  Label10 = new QLabel(QString::fromUtf8("选择扫描方式"), this);
  Label10->setObjectName("Label10");
  Label10->setGeometry(16, 10, 200, 20);

  Label4 = new LinkLabel(QString::fromUtf8("使用帮助"), this, [this] { Label4Click(); });
  Label4->setObjectName("Label4");
  Label4->setGeometry(420, 10, 70, 20);
  Label4->setStyleSheet("color: blue; text-decoration: underline;");
  Label4->setCursor(Qt::PointingHandCursor);

  // Backup mode.
  auto* backupGroup = new QGroupBox(this);
  backupGroup->setObjectName("GroupBox1");
  backupGroup->setGeometry(8, 34, 492, 226);
  RadioButton4 = new QRadioButton(QString::fromUtf8("从备份中扫描"), backupGroup);
  RadioButton4->setObjectName("RadioButton4");
  RadioButton4->setGeometry(10, 8, 200, 20);

  ListView3 = new QTreeWidget(backupGroup);
  ListView3->setObjectName("ListView3");
  ListView3->setGeometry(24, 32, 460, 150);
  ListView3->setRootIsDecorated(false);
  ListView3->setItemsExpandable(false);
  ListView3->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView3->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView3->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView3->setAllColumnsShowFocus(true);
  ListView3->setHeaderLabels(
      {QString::fromUtf8("名称"), QString::fromUtf8("备份时间"), QString::fromUtf8("路径")});
  ListView3->header()->setStretchLastSection(false);
  ListView3->setColumnWidth(0, 120);
  ListView3->setColumnWidth(1, 120);
  ListView3->setColumnWidth(2, 220);
  ListView3->setStyleSheet(GridLineListStyleSheet());
  ListView3->setEnabled(false);

  CheckBox5 = MakeBox(backupGroup, "CheckBox5", "通讯录", 24, 190);
  CheckBox6 = MakeBox(backupGroup, "CheckBox6", "短信", 134, 190);
  CheckBox7 = MakeBox(backupGroup, "CheckBox7", "通话记录", 244, 190);
  CheckBox8 = MakeBox(backupGroup, "CheckBox8", "微信", 354, 190);
  for (QCheckBox* box : {CheckBox5, CheckBox6, CheckBox7, CheckBox8}) box->setEnabled(false);

  ProgressBar1 = new QProgressBar(backupGroup);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(2, 217, 488, 7);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setVisible(false);

  // File mode.
  auto* fileGroup = new QGroupBox(this);
  fileGroup->setObjectName("GroupBox2");
  fileGroup->setGeometry(8, 264, 492, 86);
  RadioButton3 = new QRadioButton(QString::fromUtf8("扫描数据库文件"), fileGroup);
  RadioButton3->setObjectName("RadioButton3");
  RadioButton3->setGeometry(10, 6, 200, 20);
  RadioButton3->setAutoExclusive(false);
  RadioButton4->setAutoExclusive(false);

  BitBtn11 = new QPushButton(QString::fromUtf8("数据库文件"), fileGroup);
  BitBtn11->setObjectName("BitBtn11");
  BitBtn11->setGeometry(24, 30, 90, 24);
  BitBtn11->setAutoDefault(false);
  Edit7 = new QLineEdit(fileGroup);
  Edit7->setObjectName("Edit7");
  Edit7->setGeometry(122, 31, 362, 22);

  CheckBox1 = MakeBox(fileGroup, "CheckBox1", "通讯录", 24, 60);
  CheckBox2 = MakeBox(fileGroup, "CheckBox2", "短信", 134, 60);
  CheckBox3 = MakeBox(fileGroup, "CheckBox3", "通话记录", 244, 60);
  CheckBox4 = MakeBox(fileGroup, "CheckBox4", "微信", 354, 60);

  Label3 = new QLabel(
      QString::fromUtf8("注：使用本软件前，请先使用iTunes软件对iPhone或iPad进行备份。"), this);
  Label3->setObjectName("Label3");
  Label3->setGeometry(16, 356, 480, 20);
  Label3->setStyleSheet("color: red; font-weight: bold;");

  BitBtn2 = new QPushButton(QString::fromUtf8("扫描"), this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(209, 384, 90, 30);
  BitBtn2->setAutoDefault(false);

  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName("OpenDialog1");
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);

  // File mode is selected at design time.
  RadioButton3->setChecked(true);

  connect(RadioButton4, &QRadioButton::clicked, this, [this] {
    RadioButton4->setChecked(true);
    RadioButton3->setChecked(false);
    RadioButton4Click();
  });
  connect(RadioButton3, &QRadioButton::clicked, this, [this] {
    RadioButton3->setChecked(true);
    RadioButton4->setChecked(false);
    RadioButton3Click();
  });
  connect(BitBtn11, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
}

QCheckBox* TForm2::FileModeBox(int kind) const {
  QCheckBox* boxes[4] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4};
  return kind >= 0 && kind < 4 ? boxes[kind] : nullptr;
}

QCheckBox* TForm2::BackupModeBox(int kind) const {
  QCheckBox* boxes[4] = {CheckBox5, CheckBox6, CheckBox7, CheckBox8};
  return kind >= 0 && kind < 4 ? boxes[kind] : nullptr;
}

TForm2::FileChooser TForm2::SetFileChooser(FileChooser chooser) {
  FileChooser previous = std::move(CurrentFileChooser());
  CurrentFileChooser() = std::move(chooser);
  return previous;
}

// ---------------------------------------------------------------- creation

void TForm2::FormCreate() {
  setWindowTitle(QString::fromUtf8("选项"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(508, 426);
  CenterOnDesktop(this);
  LoadBackupList(BackupRoot());
}

void TForm2::LoadBackupList(const std::string& root) {
  ListView3->clear();
  if (root.empty()) return;
  for (const BackupEntry& e : ListBackups(root, [] { QCoreApplication::processEvents(); })) {
    auto* row = new QTreeWidgetItem(ListView3);
    row->setText(0, QString::fromStdString(e.DeviceName));
    row->setText(1, QString::fromStdString(e.BackupDate));
    row->setText(2, QString::fromStdString(e.Path));
  }
}

// Every time the dialog is shown it presents itself in backup mode.
void TForm2::FormActivate() {
  if (RadioButton4->isChecked()) return;
  RadioButton4->setChecked(true);
  RadioButton3->setChecked(false);
  RadioButton4Click();
}

void TForm2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormActivate();
}

void TForm2::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) FormClose();
}

void TForm2::FormClose() {
  if (Main != nullptr) Main->setEnabled(true);
}

// ---------------------------------------------------------------- modes

void TForm2::RadioButton4Click() {
  if (RadioButton4->isChecked()) {
    ListView3->setEnabled(true);
    for (int k = 0; k < 4; ++k) {
      BackupModeBox(k)->setEnabled(true);
      BackupModeBox(k)->setChecked(true);
      FileModeBox(k)->setEnabled(false);
      FileModeBox(k)->setChecked(false);
    }
    BitBtn11->setEnabled(false);
    Edit7->setEnabled(false);
  }
  if (ListView3->topLevelItemCount() > 0) {
    ListView3->setFocus();
    ListView3->setCurrentItem(ListView3->topLevelItem(0));
  }
}

void TForm2::RadioButton3Click() {
  if (!RadioButton3->isChecked()) return;
  ListView3->setEnabled(false);
  for (int k = 0; k < 4; ++k) {
    BackupModeBox(k)->setEnabled(false);
    BackupModeBox(k)->setChecked(false);
    FileModeBox(k)->setEnabled(true);
    FileModeBox(k)->setChecked(false);
  }
  BitBtn11->setEnabled(true);
  Edit7->setEnabled(true);
}

// ---------------------------------------------------------------- file mode

std::optional<std::string> TForm2::ChooseDatabaseFile() {
  if (CurrentFileChooser()) return CurrentFileChooser()(*this);
  // File names here are case-sensitive and "*.*" would need a dot: backup
  // files have no extension, so "All files" lists every file, and the DB
  // filter takes both cases.
  OpenDialog1->setNameFilters(
      {QString::fromUtf8("DB files(*.DB *.db)"), QString::fromUtf8("All files(*)")});
  if (OpenDialog1->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = OpenDialog1->selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front().toStdString();
}

void TForm2::BitBtn1Click() {
  const std::optional<std::string> chosen = ChooseDatabaseFile();
  if (!chosen) return;
  const std::string path = *chosen;
  Edit7->setText(QString::fromStdString(path));
  PatchChosenFile(path);
  try {
    const std::optional<std::uint8_t> kind = IdentifyDatabaseKind(path);
    if (kind) {
      for (int k = 0; k < 4; ++k) FileModeBox(k)->setChecked(k == *kind);
    }
  } catch (const std::exception&) {
    platform::ShowMessageBox("无效的数据库，请重新选择！", "提示", platform::MbIcon::Error);
    Edit7->clear();
  }
}

void TForm2::Label4Click() { platform::OpenUrl(HelpPageURL()); }

// ---------------------------------------------------------------- scan batch

void TForm2::BitBtn2Click() {
  if (Main != nullptr) Main->TreeClear();
  ClearResultArrays();
  ScanKinds.clear();
  if (RadioButton3->isChecked()) SourceMode = 0;
  if (RadioButton4->isChecked()) SourceMode = 1;
  KindPaths.resize(4);

  bool anyTicked = false;
  if (SourceMode == 0) {
    const std::string path = Edit7->text().toStdString();
    if (IsBlank(path)) {
      platform::ShowMessageBox("请先选择要扫描的文件，再进行扫描 !", "info",
                               platform::MbIcon::Error);
      return;
    }
    for (std::uint8_t k = 0; k < 4; ++k) {
      if (!FileModeBox(k)->isChecked()) continue;
      anyTicked = true;
      ScanKinds.push_back(k);
      KindPaths[k] = path;
    }
    SourceRawPath = path;
    SourceDbPath = path;
  } else {
    QTreeWidgetItem* row = ListView3->currentItem();
    if (row == nullptr || !row->isSelected()) {
      platform::ShowMessageBox("请先选择备份目录，再进行扫描操作 !", "info",
                               platform::MbIcon::Error);
      return;
    }
    const std::string folder = row->text(2).toStdString() + "/";
    const SearchProgress progress{
        [this](int count) {
          ProgressBar1->setRange(0, count);
          ProgressBar1->setValue(0);
          ProgressBar1->setVisible(true);
        },
        [this](int position) { ProgressBar1->setValue(position); }};
    for (std::uint8_t k = 0; k < 4; ++k) {
      if (!BackupModeBox(k)->isChecked()) continue;
      anyTicked = true;
      ScanKind = k;
      if (k != kKindWeChat) {
        const std::vector<std::string> found = SearchBackupForKind(folder, k, false, progress);
        if (found.empty()) continue;
        ScanKinds.push_back(k);
        KindPaths[k] = found.front();
        SourceRawPath = found.front();
        SourceDbPath = found.front();
      } else {
        if (Form8 != nullptr) Form8->ClearCandidates();
        const std::vector<std::string> found = SearchBackupForKind(folder, k, true, progress);
        if (Form8 != nullptr) {
          for (const std::string& f : found) Form8->AddCandidate(f);
        }
        hide();  // closing the dialog enables the main window ...
        if (Main != nullptr) Main->setEnabled(false);  // ... which waits behind the picker
        if (Form8 != nullptr) Form8->exec();
      }
    }
    ProgressBar1->setVisible(false);
  }

  if (!anyTicked) {
    platform::ShowMessageBox("请选择要恢复的数据类型！", "提示", platform::MbIcon::Error);
    return;
  }
  hide();
  Dispatch();
  platform::ShowMessageBox("扫描完成！", "提示", platform::MbIcon::Information);
  if (Main != nullptr) Main->ToolButton4->setEnabled(AnyResults());
}

void TForm2::Dispatch() {
  // The queue's length is read again before each entry.
  for (std::size_t i = 0; i < ScanKinds.size(); ++i) {
    const std::uint8_t kind = ScanKinds[i];
    ScanKind = kind;
    if (kind < KindPaths.size()) {
      SourceRawPath = KindPaths[kind];
      SourceDbPath = KindPaths[kind];
    }
    if (Main != nullptr) Main->SetResultColumns(kind);
    if (QAction* item = ScannerItem(kind)) item->trigger();
  }
}

}  // namespace velmora
