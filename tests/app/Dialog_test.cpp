// The scan-setup dialog, the WeChat picker, the scan batch with its dispatch
// to the scanners, the export through the Recover command and the result
// list's popup commands, driven headless on the real windows. Message boxes
// and choosers are answered by script; backups live under a temporary HOME.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QImage>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <cmath>
#include <map>
#include <memory>

#include "app/AppGlobals.h"
#include "app/F_WXFile.h"
#include "app/ResultListView.h"
#include "app/ResultModel.h"
#include "app/ScanSetup.h"
#include "app/T_Main.h"
#include "app/T_Option.h"
#include "engine/CarvingEngine.h"
#include "engine/IosKindsFixtures.h"
#include "engine/KilledWriterFixtures.h"
#include "engine/MyFuns_.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "tests/app/DialogFixtures.h"

namespace velmora {
namespace {

using namespace testing_fixtures;
using platform::MbIcon;
using platform::MbResult;

// ---------------------------------------------------------------- fixture databases

constexpr const char* kCallTable =
    "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, "
    "duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT, network_code "
    "TEXT, read INTEGER, assisted INTEGER, face_time_data BLOB, originalAddress TEXT)";
constexpr const char* kWeChatChat = "Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79";

void AddContacts(iosfix::FixtureDb& db, int count) {
  db.Exec("CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last "
          "TEXT, Middle TEXT, Organization TEXT, Note TEXT)");
  db.Exec(iosfix::kContactsFtsTable);
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(13800000000LL + i);
    iosfix::AddContact(db, i + 1, std::string("名") + std::to_string(i), std::string("张"),
                       iosfix::PhoneText(n, "86" + n));
  }
}

void AddMessages(iosfix::FixtureDb& db, int count) {
  iosfix::CreateSmsTables(db, iosfix::kMessageTableIos6);
  iosfix::AddChat(db, 1, "+8613800138000");
  for (int i = 0; i < count; ++i) {
    iosfix::AddMessage(db, iosfix::Msg(std::string("短信 ") + std::to_string(i), std::int64_t{i % 2},
                                       std::int64_t{400000000 + i}, 1));
  }
}

void AddCalls(iosfix::FixtureDb& db, int count) {
  db.Exec(kCallTable);
  for (int i = 0; i < count; ++i) {
    db.Run("INSERT INTO call (address, date, duration, flags, id, name, country_code, "
           "network_code, read, assisted, face_time_data, originalAddress) VALUES "
           "(?, ?, ?, ?, -1, ?, 'cn', '00', 1, 0, NULL, ?)",
           {std::to_string(10086 + i), std::int64_t{1400000000 + i}, std::int64_t{60 + i},
            std::int64_t{i % 3}, std::string("Caller"), std::to_string(10086 + i)});
  }
}

void AddWeChat(iosfix::FixtureDb& db, int count) {
  db.Exec(iosfix::kWeChatFriendTable);
  db.Exec(iosfix::WeChatChatTable(kWeChatChat));
  for (int i = 0; i < count; ++i) {
    iosfix::AddWeChatMessage(db, kWeChatChat, 1500000000 + i, "微信 " + std::to_string(i),
                             std::int64_t{2});
  }
}

enum KindBit { kContactsBit = 1, kMessagesBit = 2, kCallsBit = 4, kWeChatBit = 8 };

// A database holding the tables of every kind in `kinds`, `count` records each.
void BuildKindsDatabase(const std::string& path, int kinds, int count = 3) {
  fs::create_directories(fs::path(path).parent_path());
  iosfix::FixtureDb db(path);
  db.Exec("PRAGMA page_size=4096; PRAGMA journal_mode=DELETE");
  db.Exec("BEGIN");
  if (kinds & kContactsBit) AddContacts(db, count);
  if (kinds & kMessagesBit) AddMessages(db, count);
  if (kinds & kCallsBit) AddCalls(db, count);
  if (kinds & kWeChatBit) AddWeChat(db, count);
  db.Exec("COMMIT");
}

// ---------------------------------------------------------------- fixture

// Polls until `ready` holds, then runs `act` once (for modal windows).
void WhenReady(std::function<bool()> ready, std::function<void()> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, ready, act] {
    if (!ready()) return;
    timer->stop();
    timer->deleteLater();
    act();
  });
  timer->start();
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    scopedHome_ = std::make_unique<ScopedHome>(home_.path());
    backupRoot_ = home_.path() + "/.local/share/MobileSync/Backup/";
    fs::create_directories(home_.path() + "/app");
    SetExecutableDirOverride(home_.path() + "/app");
    ResetScanContext();
    ResetSystemFormats();
    previousChooser_ = platform::SetFolderChooser(
        [this](const std::string& prompt, const std::string&) -> std::optional<std::string> {
          ++folderQuestions_;
          folderPrompt_ = prompt;
          return folderAnswer_;
        });
    previousOpener_ = platform::SetUrlOpener([this](const std::string& url) {
      opened_.push_back(url);
      return true;
    });
  }

  void TearDown() override {
    form8_.reset();
    form2_.reset();
    main_.reset();
    TForm2::SetFileChooser({});
    platform::SetFolderChooser(previousChooser_);
    platform::SetUrlOpener(previousOpener_);
    SetExecutableDirOverride("");
    ResetScanContext();
    ResetSystemFormats();
    scopedHome_.reset();
  }

  // The windows in the program's order (the dialog lists the backups at its
  // creation, so the backup tree is built before).
  void CreateWindows() {
    main_ = std::make_unique<TMain>();
    form2_ = std::make_unique<TForm2>();
    Form2 = form2_.get();
    form8_ = std::make_unique<TForm8>();
    Form8 = form8_.get();
    FirstActivation = false;
  }

  // A backup folder with one database of each kind in `kinds` among filler
  // files, named as current backups name their files.
  std::string MakeBackup(const std::string& id, int kinds, int wechatCopies = 1) {
    const std::string folder = MakeBackupFolder(backupRoot_, id, "测试的 iPhone",
                                                "2016-05-04T03:02:01Z");
    unsigned n = 0;
    for (; n < 6; ++n) WriteFileBytes(BackupFilePath(folder, n), std::string(1500 + n, 'f'));
    MakeMarkerDatabase(BackupFilePath(folder, n++), "unrelated");
    if (kinds & kContactsBit) BuildKindsDatabase(BackupFilePath(folder, n++), kContactsBit);
    if (kinds & kMessagesBit) BuildKindsDatabase(BackupFilePath(folder, n++), kMessagesBit);
    if (kinds & kCallsBit) BuildKindsDatabase(BackupFilePath(folder, n++), kCallsBit);
    if (kinds & kWeChatBit) {
      for (int c = 0; c < wechatCopies; ++c) {
        const std::string path = BackupFilePath(folder, n++);
        BuildKindsDatabase(path, kWeChatBit, 3 + c);
        wechatFiles_.push_back(path);
      }
    }
    return folder;
  }

  // Starts a batch the way the user does: Start, then "扫描".
  void StartAndScan() {
    main_->ToolButton3Click();
    ASSERT_TRUE(form2_->isVisible());
    ASSERT_FALSE(main_->isEnabled());
    form2_->BitBtn2->click();
  }

  // Records each scanner run (kind, file and column count) after the scanner.
  void RecordDispatch() {
    QAction* items[4] = {main_->IOStxl1, main_->IOSdx1, main_->IOSthjl1, main_->IOSwx1};
    for (std::uint8_t k = 0; k < 4; ++k) {
      QObject::connect(items[k], &QAction::triggered, [this, k] {
        dispatched_.push_back({k, ScanKind, SourceDbPath, SourceRawPath,
                               main_->ListModel->columnCount()});
      });
    }
  }

  void UseFileMode(const std::string& path, std::initializer_list<int> kinds) {
    form2_->RadioButton3->click();
    form2_->Edit7->setText(QString::fromStdString(path));
    for (int k : kinds) form2_->FileModeBox(k)->setChecked(true);
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& b : boxes_.shown()) t.push_back(b.text);
    return t;
  }

  struct Run {
    std::uint8_t item, kind;
    std::string db, raw;
    int columns;
  };

  TempDir home_;
  std::unique_ptr<ScopedHome> scopedHome_;
  std::string backupRoot_;
  platform::ScriptedMessageBoxes boxes_;
  platform::FolderChooser previousChooser_;
  platform::UrlOpener previousOpener_;
  std::optional<std::string> folderAnswer_;
  int folderQuestions_ = 0;
  std::string folderPrompt_;
  std::vector<std::string> opened_;
  std::vector<std::string> wechatFiles_;
  std::vector<Run> dispatched_;
  std::unique_ptr<TMain> main_;
  std::unique_ptr<TForm2> form2_;
  std::unique_ptr<TForm8> form8_;
};

// ---------------------------------------------------------------- the windows

TEST_F(DialogTest, DialogComponentsCaptionsAndColumns) {
  CreateWindows();
  EXPECT_EQ(form2_->windowTitle(), QString::fromUtf8("选项"));
  EXPECT_EQ(form2_->size(), QSize(508, 426));
  struct Caption {
    const char* name;
    const char* text;
  } captions[] = {
      {"Label10", "选择扫描方式"}, {"Label4", "使用帮助"}, {"RadioButton4", "从备份中扫描"},
      {"CheckBox5", "通讯录"}, {"CheckBox6", "短信"}, {"CheckBox7", "通话记录"},
      {"CheckBox8", "微信"}, {"RadioButton3", "扫描数据库文件"}, {"BitBtn11", "数据库文件"},
      {"CheckBox1", "通讯录"}, {"CheckBox2", "短信"}, {"CheckBox3", "通话记录"},
      {"CheckBox4", "微信"},
      {"Label3", "注：使用本软件前，请先使用iTunes软件对iPhone或iPad进行备份。"},
      {"BitBtn2", "扫描"},
  };
  for (const Caption& c : captions) {
    QWidget* w = form2_->findChild<QWidget*>(c.name);
    ASSERT_NE(w, nullptr) << c.name;
    QString text;
    if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
    EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.name;
  }
  for (const char* name : {"Edit7", "ListView3", "ProgressBar1", "OpenDialog1"}) {
    EXPECT_NE(form2_->findChild<QObject*>(name), nullptr) << name;
  }
  QTreeWidget* list = form2_->ListView3;
  ASSERT_EQ(list->columnCount(), 3);
  const char* heads[] = {"名称", "备份时间", "路径"};
  const int widths[] = {120, 120, 220};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(list->headerItem()->text(c), QString::fromUtf8(heads[c]));
    EXPECT_EQ(list->columnWidth(c), widths[c]);
  }
  EXPECT_EQ(form2_->ProgressBar1->height(), 7);
  EXPECT_FALSE(form2_->ProgressBar1->isVisibleTo(form2_.get()));
  // Design-time state: file mode, backup list and boxes disabled.
  EXPECT_TRUE(form2_->RadioButton3->isChecked());
  EXPECT_FALSE(form2_->ListView3->isEnabled());
  EXPECT_FALSE(form2_->CheckBox5->isEnabled());

  EXPECT_EQ(form8_->windowTitle(), QString::fromUtf8("选择微信文件"));
  EXPECT_EQ(form8_->size(), QSize(412, 270));
  EXPECT_EQ(form8_->Label10->text(), QString::fromUtf8("请选择微信文件"));
  EXPECT_EQ(form8_->Button1->text(), QString::fromUtf8("确定"));
  EXPECT_EQ(form8_->ListView3->headerItem()->text(0), QString::fromUtf8("名称"));
  EXPECT_EQ(form8_->ListView3->headerItem()->text(1), QString::fromUtf8("路径"));
  EXPECT_EQ(form8_->ListView3->columnWidth(0), 360);
  EXPECT_EQ(form8_->ListView3->columnWidth(1), 0);
}

TEST_F(DialogTest, BackupListAndActivationSelectingBackupMode) {
  const std::string folder = MakeBackup("0a1b2c3d4e5f60718293a4b5c6d7e8f901234567", 0);
  CreateWindows();
  ASSERT_EQ(form2_->ListView3->topLevelItemCount(), 1);
  QTreeWidgetItem* row = form2_->ListView3->topLevelItem(0);
  EXPECT_EQ(row->text(0), QString::fromUtf8("测试的 iPhone"));
  EXPECT_EQ(row->text(1), "2016-05-04T03:02:01Z");
  EXPECT_EQ(row->text(2).toStdString(), folder);

  main_->ToolButton3Click();
  EXPECT_TRUE(form2_->RadioButton4->isChecked());
  EXPECT_FALSE(form2_->RadioButton3->isChecked());
  EXPECT_TRUE(form2_->ListView3->isEnabled());
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(form2_->BackupModeBox(k)->isEnabled());
    EXPECT_TRUE(form2_->BackupModeBox(k)->isChecked());
    EXPECT_FALSE(form2_->FileModeBox(k)->isEnabled());
  }
  EXPECT_FALSE(form2_->BitBtn11->isEnabled());
  EXPECT_FALSE(form2_->Edit7->isEnabled());
  EXPECT_EQ(form2_->ListView3->currentItem(), row);

  // File mode: the backup side is disabled and cleared, the file side enabled.
  form2_->RadioButton3->click();
  EXPECT_TRUE(form2_->RadioButton3->isChecked());
  EXPECT_FALSE(form2_->RadioButton4->isChecked());
  for (int k = 0; k < 4; ++k) {
    EXPECT_FALSE(form2_->BackupModeBox(k)->isEnabled());
    EXPECT_FALSE(form2_->BackupModeBox(k)->isChecked());
    EXPECT_TRUE(form2_->FileModeBox(k)->isEnabled());
    EXPECT_FALSE(form2_->FileModeBox(k)->isChecked());
  }
  EXPECT_TRUE(form2_->BitBtn11->isEnabled());

  // Closing enables the main window; showing again presents backup mode.
  form2_->close();
  EXPECT_TRUE(main_->isEnabled());
  main_->ToolButton3Click();
  EXPECT_TRUE(form2_->RadioButton4->isChecked());
  EXPECT_TRUE(form2_->CheckBox8->isChecked());
}

// ---------------------------------------------------------------- selected rows

// Relative luminance and contrast ratio as the usual accessibility rules
// define them (1:1 for equal colours up to 21:1 for black on white).
double Luminance(const QColor& c) {
  const auto channel = [](double v) {
    v /= 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The selected row as it is drawn: its background is the colour most of the
// row's pixels have, its text the pixel that stands out most from it. Their
// contrast ratio tells whether the row can be read.
double SelectedRowContrast(QTreeWidget* view, QTreeWidgetItem* row) {
  QApplication::processEvents();
  const QImage image = view->viewport()->grab().toImage();
  const qreal ratio = image.devicePixelRatio();
  const QRect logical = view->visualItemRect(row).adjusted(2, 2, -2, -2);
  const QRect area =
      QRect(QPoint(std::lround(logical.left() * ratio), std::lround(logical.top() * ratio)),
            QPoint(std::lround(logical.right() * ratio), std::lround(logical.bottom() * ratio)))
          .intersected(image.rect());
  std::map<QRgb, int> counts;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) ++counts[image.pixel(x, y) & 0xFFFFFF];
  if (counts.empty()) return 0;
  const auto most = std::max_element(counts.begin(), counts.end(),
                                     [](const auto& a, const auto& b) { return a.second < b.second; });
  const QColor background(most->first);
  double best = 1;
  for (const auto& [rgb, count] : counts) best = std::max(best, Contrast(background, QColor(rgb)));
  return best;
}

TEST_F(DialogTest, SelectedRowsOfTheBackupListAndTheWeChatPickerCanBeReadInEveryStyle) {
  MakeBackup("0a1b2c3d4e5f60718293a4b5c6d7e8f901234567", 0);
  CreateWindows();
  main_->ToolButton3Click();  // backup mode: the first backup row selected
  QTreeWidget* backups = form2_->ListView3;
  ASSERT_NE(backups->currentItem(), nullptr);
  ASSERT_TRUE(backups->currentItem()->isSelected());
  form8_->AddCandidate(home_.path() + "/a/wechat-one.sqlite");
  form8_->AddCandidate(home_.path() + "/b/wechat-two.sqlite");
  form8_->show();  // activation selects the first candidate
  QTreeWidget* picker = form8_->ListView3;
  ASSERT_NE(picker->currentItem(), nullptr);

  // The styles this machine has, the default one first; each list with the
  // focus, without it, and (the backup list in file mode) disabled.
  std::vector<std::unique_ptr<QStyle>> styles;
  styles.push_back(nullptr);
  for (const QString& key : QStyleFactory::keys()) styles.emplace_back(QStyleFactory::create(key));
  for (const auto& style : styles) {
    const std::string name = style ? style->name().toStdString() : "default";
    for (QTreeWidget* view : {backups, picker}) {
      SCOPED_TRACE(name + ", " + view->window()->objectName().toStdString());
      view->setStyle(style.get());
      view->window()->activateWindow();
      view->setFocus();
      EXPECT_GE(SelectedRowContrast(view, view->currentItem()), 4.5) << "with the focus";
      view->clearFocus();
      EXPECT_GE(SelectedRowContrast(view, view->currentItem()), 4.5) << "without the focus";
    }
    form2_->RadioButton3->click();  // file mode: the backup list is disabled
    ASSERT_FALSE(backups->isEnabled());
    EXPECT_GE(SelectedRowContrast(backups, backups->currentItem()), 4.5) << name << ", disabled";
    form2_->RadioButton4->click();
  }
  backups->setStyle(nullptr);
  picker->setStyle(nullptr);
  form8_->hide();
}

TEST_F(DialogTest, HelpLinkOpensTheHelpPage) {
  CreateWindows();
  form2_->Label4Click();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], HelpPageURL());
  EXPECT_NE(opened_[0].find("/shouji/software/help/"), std::string::npos);
}

// ---------------------------------------------------------------- file mode

TEST_F(DialogTest, ChosenFileIsPatchedAndIdentified) {
  CreateWindows();
  const std::string db = home_ / "both.db";
  MakeDatabase(db, {"CREATE TABLE call (a, b)", "CREATE TABLE Friend (a, b)"});
  SetVersionBytes(db, 2, 2);
  TForm2::SetFileChooser([&](TForm2&) { return std::optional<std::string>(db); });
  main_->ToolButton3Click();
  form2_->RadioButton3->click();
  form2_->CheckBox1->setChecked(true);
  form2_->BitBtn11->click();
  EXPECT_EQ(form2_->Edit7->text().toStdString(), db);
  EXPECT_EQ(VersionBytes(db), std::make_pair(1, 1));
  EXPECT_FALSE(form2_->CheckBox1->isChecked());
  EXPECT_FALSE(form2_->CheckBox3->isChecked());
  EXPECT_TRUE(form2_->CheckBox4->isChecked());

  // A database without any marker table changes no box.
  const std::string none = home_ / "none.db";
  MakeDatabase(none, {"CREATE TABLE other (a)"});
  TForm2::SetFileChooser([&](TForm2&) { return std::optional<std::string>(none); });
  form2_->BitBtn11->click();
  EXPECT_TRUE(form2_->CheckBox4->isChecked());
  EXPECT_TRUE(boxes_.shown().empty());

  // Cancel changes nothing.
  TForm2::SetFileChooser([](TForm2&) { return std::optional<std::string>(); });
  form2_->BitBtn11->click();
  EXPECT_EQ(form2_->Edit7->text().toStdString(), none);
}

TEST_F(DialogTest, FileModeLeavesWhatAKilledWriterLeftAsItWas) {
  CreateWindows();
  for (const killedwriter::LeftoverCase& c : killedwriter::LeftoverCases()) {
    SCOPED_TRACE(c.name);
    const std::string folder = home_ / (std::string(c.name) + " " + killedwriter::kOddFolder);
    const std::string db = folder + "/" + killedwriter::kOddFile;
    BuildKindsDatabase(db, kContactsBit | kMessagesBit | kCallsBit | kWeChatBit);
    killedwriter::LeaveSidecars(db, c.leftover, killedwriter::DefaultLateWrites(""));
    const killedwriter::FolderBytes left = killedwriter::Snapshot(folder);

    // The file choice: patched and identified (the last marker found wins).
    TForm2::SetFileChooser([&](TForm2&) { return std::optional<std::string>(db); });
    main_->ToolButton3Click();
    form2_->RadioButton3->click();
    form2_->BitBtn11->click();
    EXPECT_EQ(form2_->Edit7->text().toStdString(), db);
    EXPECT_TRUE(form2_->CheckBox4->isChecked());
    EXPECT_EQ(VersionBytes(db), std::make_pair(1, 1));
    EXPECT_EQ(killedwriter::EvidenceChanges(left, killedwriter::Snapshot(folder), killedwriter::kOddFile),
              "");

    // The batch on it: all four scanners.
    for (int k = 0; k < 4; ++k) form2_->FileModeBox(k)->setChecked(true);
    form2_->BitBtn2->click();
    EXPECT_EQ(Texts().back(), "扫描完成！");
    EXPECT_FALSE(CallRecords.empty());
    EXPECT_EQ(killedwriter::EvidenceChanges(left, killedwriter::Snapshot(folder), killedwriter::kOddFile),
              "");
  }
  const std::vector<std::string> texts = Texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "扫描完成！"), 4);
}

TEST_F(DialogTest, TextFileIsRejectedAndLeftUnchanged) {
  CreateWindows();
  const std::string text = home_ / "notes.txt";
  const std::string bytes = "just some notes, not a database\n" + std::string(1000, 'n');
  WriteFileBytes(text, bytes);
  TForm2::SetFileChooser([&](TForm2&) { return std::optional<std::string>(text); });
  main_->ToolButton3Click();
  form2_->RadioButton3->click();
  form2_->BitBtn11->click();
  ASSERT_EQ(boxes_.shown().size(), 1u);
  EXPECT_EQ(boxes_.shown()[0].text, "无效的数据库，请重新选择！");
  EXPECT_EQ(boxes_.shown()[0].caption, "提示");
  EXPECT_EQ(boxes_.shown()[0].icon, MbIcon::Error);
  EXPECT_TRUE(form2_->Edit7->text().isEmpty());
  EXPECT_EQ(ReadFileBytes(text), bytes);
}

TEST_F(DialogTest, FileModeRunsAllFourKindsOnTheOneFileInOrder) {
  CreateWindows();
  RecordDispatch();
  const std::string db = home_ / "all.db";
  BuildKindsDatabase(db, kContactsBit | kMessagesBit | kCallsBit | kWeChatBit);
  main_->ToolButton3Click();
  UseFileMode(db, {0, 1, 2, 3});
  form2_->BitBtn2->click();

  ASSERT_EQ(dispatched_.size(), 4u);
  const int columns[4] = {3, 5, 6, 4};
  for (std::uint8_t k = 0; k < 4; ++k) {
    EXPECT_EQ(dispatched_[k].item, k);
    EXPECT_EQ(dispatched_[k].kind, k);
    EXPECT_EQ(dispatched_[k].db, db);
    EXPECT_EQ(dispatched_[k].raw, db);
    EXPECT_EQ(dispatched_[k].columns, columns[k]);
  }
  EXPECT_EQ(SourceMode, 0);
  EXPECT_EQ(ScanKinds, (std::vector<std::uint8_t>{0, 1, 2, 3}));
  EXPECT_FALSE(ContactRecords.empty());
  EXPECT_FALSE(SmsRecords.empty());
  EXPECT_FALSE(CallRecords.empty());
  // The WeChat scanner reads its schema from the first table named "chat_..."
  // in the file, which here is the messages' chat_message_join: it runs, but
  // carves no chat messages from such a mixed file.
  EXPECT_EQ(main_->TreeView1->topLevelItemCount(), 4);
  ASSERT_FALSE(boxes_.shown().empty());
  EXPECT_EQ(boxes_.shown().back().text, "扫描完成！");
  EXPECT_EQ(boxes_.shown().back().caption, "提示");
  EXPECT_EQ(boxes_.shown().back().icon, MbIcon::Information);
  EXPECT_TRUE(main_->ToolButton4->isEnabled());
  EXPECT_FALSE(form2_->isVisible());
  EXPECT_TRUE(main_->isEnabled());
}

TEST_F(DialogTest, StopDuringTheFirstOfThreeKindsGoesOnWithTheOthers) {
  CreateWindows();
  RecordDispatch();
  const std::string db = home_ / "three.db";
  BuildKindsDatabase(db, kContactsBit | kMessagesBit | kCallsBit, 3000);
  main_->ToolButton3Click();
  UseFileMode(db, {0, 1, 2});
  bool stopped = false;
  // The first message pump of the batch runs inside the first scanner: the
  // scanners pump after every page here, however fast the machine.
  const auto savedInterval = CarvePumpInterval;
  CarvePumpInterval = std::chrono::milliseconds(0);
  QTimer::singleShot(0, [&] {
    stopped = !ScanStopRequested;
    boxes_.Answer(MbResult::Yes);
    main_->ToolButton5Click();
  });
  form2_->BitBtn2->click();
  CarvePumpInterval = savedInterval;

  EXPECT_TRUE(stopped);
  ASSERT_EQ(dispatched_.size(), 3u);
  EXPECT_EQ(dispatched_[0].kind, 0);
  EXPECT_EQ(dispatched_[1].kind, 1);
  EXPECT_EQ(dispatched_[2].kind, 2);
  EXPECT_LT(ContactRecords.size(), 3000u);  // ended early
  EXPECT_GE(SmsRecords.size(), 3000u);      // ran to their ends
  EXPECT_GE(CallRecords.size(), 3000u);
  const std::vector<std::string> texts = Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts.front(), "您确定要停止扫描?");
  EXPECT_EQ(texts.back(), "扫描完成！");
}

// ---------------------------------------------------------------- failure table

TEST_F(DialogTest, MessagesOfTheFailureTable) {
  CreateWindows();
  RecordDispatch();
  struct Case {
    const char* label;
    std::function<void()> arrange;
    const char* text;
    const char* caption;
  };
  const std::string db = home_ / "calls.db";
  BuildKindsDatabase(db, kCallsBit);
  const Case cases[] = {
      {"no file chosen",
       [&] { UseFileMode("   ", {2}); },
       "请先选择要扫描的文件，再进行扫描 !", "info"},
      {"no backup row",
       [&] { form2_->RadioButton4->click(); },  // the list is empty
       "请先选择备份目录，再进行扫描操作 !", "info"},
      {"no kind ticked",
       [&] { UseFileMode(db, {}); },
       "请选择要恢复的数据类型！", "提示"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ContactRecords = {{"old", "1", false}};
    main_->ToolButton4->setEnabled(true);
    main_->ToolButton3Click();
    c.arrange();
    boxes_.clear();
    form2_->BitBtn2->click();
    ASSERT_EQ(boxes_.shown().size(), 1u);
    EXPECT_EQ(boxes_.shown()[0].text, c.text);
    EXPECT_EQ(boxes_.shown()[0].caption, c.caption);
    EXPECT_EQ(boxes_.shown()[0].icon, MbIcon::Error);
    EXPECT_TRUE(form2_->isVisible());   // the dialog stays open
    EXPECT_FALSE(main_->isEnabled());
    EXPECT_TRUE(ContactRecords.empty());  // the batch had emptied the results
    EXPECT_TRUE(ScanKinds.empty());
    EXPECT_TRUE(main_->ToolButton4->isEnabledTo(main_.get()));  // Recover as it was
    EXPECT_TRUE(dispatched_.empty());
    form2_->close();
  }
}

// ---------------------------------------------------------------- backup mode

TEST_F(DialogTest, BackupBatchEndToEndWithThePickerChoosingTheSecondCandidate) {
  const std::string folder =
      MakeBackup("ffeeddccbbaa99887766554433221100ffeeddcc", 15, /*wechatCopies=*/2);
  // An SQLite file of 1023 bytes with a marker table is never chosen.
  const std::string small = BackupFilePath(folder, 99);
  MakeMarkerDatabase(small, "call", 512);
  fs::resize_file(small, 1023);
  SetVersionBytes(small, 2, 2);
  CreateWindows();
  RecordDispatch();

  int pickerRows = -1;
  std::string chosen;
  bool mainDisabledBehindPicker = false;
  WhenReady([] { return Form8 != nullptr && Form8->isVisible(); }, [&] {
    pickerRows = Form8->ListView3->topLevelItemCount();
    mainDisabledBehindPicker = !Main->isEnabled() && !Form2->isVisible();
    QTreeWidgetItem* second = Form8->ListView3->topLevelItem(1);
    chosen = second->text(1).toStdString();
    EXPECT_EQ(second->text(0).toStdString(), FileNameOf(chosen));
    Form8->ListView3->setCurrentItem(second);
    Form8->Button1->click();
  });
  StartAndScan();

  EXPECT_EQ(pickerRows, 2);
  EXPECT_TRUE(mainDisabledBehindPicker);
  ASSERT_FALSE(chosen.empty());
  EXPECT_EQ(SourceMode, 1);
  EXPECT_EQ(ScanKinds, (std::vector<std::uint8_t>{0, 1, 2, 3}));
  EXPECT_EQ(KindPaths[3], chosen);
  for (std::uint8_t k = 0; k < 3; ++k) {
    EXPECT_EQ(FileNameOf(KindPaths[k]).size(), 40u);
    EXPECT_TRUE(IsKindDatabase(KindPaths[k], k));
  }
  ASSERT_EQ(dispatched_.size(), 4u);
  for (std::uint8_t k = 0; k < 4; ++k) {
    EXPECT_EQ(dispatched_[k].kind, k);
    EXPECT_EQ(dispatched_[k].db, KindPaths[k]);
  }
  EXPECT_EQ(ContactRecords.size(), 3u);
  EXPECT_EQ(SmsRecords.size(), 3u);
  EXPECT_EQ(CallRecords.size(), 3u);
  EXPECT_EQ(WeChatRecords.size(), 4u);  // the second candidate holds four messages
  EXPECT_EQ(VersionBytes(small), std::make_pair(2, 2));
  EXPECT_EQ(Texts().back(), "扫描完成！");
  EXPECT_TRUE(main_->ToolButton4->isEnabled());
  EXPECT_TRUE(main_->isEnabled());
  EXPECT_FALSE(form2_->ProgressBar1->isVisibleTo(form2_.get()));
  EXPECT_EQ(form2_->ProgressBar1->value(), form2_->ProgressBar1->maximum());
}

TEST_F(DialogTest, PickerClosedWithoutAChoiceQueuesNoWeChat) {
  MakeBackup("1111111111111111111111111111111111111111", kCallsBit | kWeChatBit);
  CreateWindows();
  RecordDispatch();
  WhenReady([] { return Form8 != nullptr && Form8->isVisible(); }, [] { Form8->close(); });
  main_->ToolButton3Click();
  form2_->CheckBox5->setChecked(false);
  form2_->CheckBox6->setChecked(false);
  form2_->BitBtn2->click();
  ASSERT_EQ(dispatched_.size(), 1u);
  EXPECT_EQ(dispatched_[0].kind, 2);
  EXPECT_EQ(ScanKinds, (std::vector<std::uint8_t>{2}));
  EXPECT_TRUE(WeChatRecords.empty());
  EXPECT_EQ(Texts().back(), "扫描完成！");
  EXPECT_TRUE(main_->isEnabled());
}

TEST_F(DialogTest, PickerOkWithoutARowKeepsItOpen) {
  MakeBackup("2222222222222222222222222222222222222222", kCallsBit);  // no WeChat database
  CreateWindows();
  RecordDispatch();
  bool stillOpen = false;
  int rows = -1;
  WhenReady([] { return Form8 != nullptr && Form8->isVisible(); }, [&] {
    rows = Form8->ListView3->topLevelItemCount();
    Form8->Button1->click();
    stillOpen = Form8->isVisible();
    Form8->close();
  });
  main_->ToolButton3Click();
  for (int k = 0; k < 3; ++k) form2_->BackupModeBox(k)->setChecked(false);
  form2_->BitBtn2->click();
  EXPECT_EQ(rows, 0);
  EXPECT_TRUE(stillOpen);
  const auto& shown = boxes_.shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "请先选择要扫描的文件，再进行扫描操作 !");
  EXPECT_EQ(shown[0].caption, "info");
  EXPECT_EQ(shown[0].icon, MbIcon::Error);
  EXPECT_EQ(shown[1].text, "扫描完成！");
  EXPECT_TRUE(dispatched_.empty());
  EXPECT_FALSE(main_->ToolButton4->isEnabled());
}

TEST_F(DialogTest, SecondBatchRunsOnlyItsOwnKinds) {
  MakeBackup("3333333333333333333333333333333333333333", kWeChatBit);
  CreateWindows();
  RecordDispatch();
  const std::string db = home_ / "two.db";
  BuildKindsDatabase(db, kContactsBit | kCallsBit);
  main_->ToolButton3Click();
  UseFileMode(db, {0, 2});
  form2_->BitBtn2->click();
  ASSERT_EQ(dispatched_.size(), 2u);
  ASSERT_FALSE(ContactRecords.empty());

  dispatched_.clear();
  WhenReady([] { return Form8 != nullptr && Form8->isVisible(); }, [] {
    Form8->ListView3->setCurrentItem(Form8->ListView3->topLevelItem(0));
    Form8->Button1->click();
  });
  main_->ToolButton3Click();  // presents backup mode again
  for (int k = 0; k < 3; ++k) form2_->BackupModeBox(k)->setChecked(false);
  form2_->BitBtn2->click();
  ASSERT_EQ(dispatched_.size(), 1u);
  EXPECT_EQ(dispatched_[0].kind, 3);
  EXPECT_EQ(ScanKinds, (std::vector<std::uint8_t>{3}));
  EXPECT_EQ(KindPaths[0], db);  // an earlier path stays but is never scanned
  EXPECT_TRUE(ContactRecords.empty());
  EXPECT_TRUE(CallRecords.empty());
  EXPECT_FALSE(WeChatRecords.empty());
}

TEST_F(DialogTest, BackupWithoutTheTickedKindsDispatchesNothing) {
  MakeBackup("4444444444444444444444444444444444444444", 0);
  CreateWindows();
  RecordDispatch();
  main_->ToolButton4->setEnabled(true);
  main_->ToolButton3Click();
  form2_->CheckBox8->setChecked(false);
  form2_->BitBtn2->click();
  EXPECT_TRUE(dispatched_.empty());
  EXPECT_EQ(Texts(), std::vector<std::string>{"扫描完成！"});
  EXPECT_FALSE(main_->ToolButton4->isEnabled());
  EXPECT_FALSE(form2_->isVisible());
}

// ---------------------------------------------------------------- export

class ExportCommandTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    out_ = home_.path() + "/out";
    fs::create_directories(out_);
  }
  std::string Out(const char* name) const { return out_ + "/" + name; }
  std::string out_;
};

TEST_F(ExportCommandTest, RecoverWritesEachKindsBytes) {
  CreateWindows();
  ContactRecords = {{"张三", "10086", false}, {"b", "2", true}};
  SmsRecords = {{"+86", "2014-03-05 12:34:56", "接收", "x\ty", true}};
  CallRecords = {{"n", "1", "呼出", "65", "2014-03-05 12:00:00", false}};
  WeChatRecords = {{"", "2015-01-02 03:04:05", "发送", "<msg/>", false}};
  ScanKinds = {0, 1, 2, 3};
  folderAnswer_ = out_;
  main_->ToolButton4Click();
  EXPECT_EQ(folderQuestions_, 1);
  EXPECT_EQ(folderPrompt_, "请选择保存目录:");
  ASSERT_EQ(Texts(), std::vector<std::string>{"恢复完成!"});
  EXPECT_EQ(boxes_.shown()[0].caption, "Information");
  EXPECT_EQ(boxes_.shown()[0].icon, MbIcon::Information);
  const std::string live = "\xD5\xFD\xB3\xA3", deleted = "\xC9\xBE\xB3\xFD";
  EXPECT_EQ(ReadFileBytes(Out("电话本.txt")),
            "\xD5\xC5\xC8\xFD\t10086\t" + live + "\r\nb\t2\t" + deleted + "\r\n");
  EXPECT_EQ(ReadFileBytes(Out("短信.txt")),
            "+86\t2014-03-05 12:34:56\t\xBD\xD3\xCA\xD5\t" + deleted + "\tx\ty\r\n");
  EXPECT_EQ(ReadFileBytes(Out("通话记录.txt")),
            "1\tn\t2014-03-05 12:00:00\t65\t\xBA\xF4\xB3\xF6\t" + live + "\r\n");
  EXPECT_EQ(ReadFileBytes(Out("微信.txt")),
            "\t2015-01-02 03:04:05\t\xB7\xA2\xCB\xCD\t" + live + "\t<msg/>\r\n");
}

TEST_F(ExportCommandTest, TreeFilterAndCheckBoxesMakeNoDifferenceAndASecondExportReplaces) {
  CreateWindows();
  const std::string db = home_ / "calls.db";
  BuildKindsDatabase(db, kCallsBit, 5);
  main_->ToolButton3Click();
  UseFileMode(db, {2});
  form2_->BitBtn2->click();
  ASSERT_EQ(CallRecords.size(), 5u);
  folderAnswer_ = out_;
  main_->ToolButton4Click();
  const std::string first = ReadFileBytes(Out("通话记录.txt"));
  ASSERT_FALSE(first.empty());

  // Show only the deleted calls, check two rows, and write over the file.
  QTreeWidgetItem* root = main_->TreeView1->topLevelItem(0);
  main_->TreeView1->setCurrentItem(root->child(1));
  main_->TreeView1Click();
  main_->TreeView1->setCurrentItem(root);
  main_->TreeView1Click();
  main_->ListModel->SetChecked(0, true);
  main_->ListModel->SetChecked(3, true);
  WriteFileBytes(Out("通话记录.txt"), std::string(10000, 'o'));
  main_->ToolButton4Click();
  EXPECT_EQ(ReadFileBytes(Out("通话记录.txt")), first);
}

TEST_F(ExportCommandTest, CancelledFolderChoiceWritesNothing) {
  CreateWindows();
  ContactRecords = {{"a", "1", false}};
  ScanKinds = {0};
  folderAnswer_.reset();
  main_->ToolButton4Click();
  EXPECT_EQ(folderQuestions_, 1);
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(ExportCommandTest, WriteFailureShowsTheReasonAndNoCompletion) {
  CreateWindows();
  ContactRecords = {{"a", "1", false}};
  ScanKinds = {0};
  fs::create_directory(Out("电话本.txt"));
  folderAnswer_ = out_;
  main_->ToolButton4Click();
  ASSERT_EQ(boxes_.shown().size(), 1u);
  EXPECT_NE(boxes_.shown()[0].text.find("Is a directory"), std::string::npos);
  EXPECT_EQ(boxes_.shown()[0].icon, MbIcon::Error);
}

TEST_F(ExportCommandTest, EmptyQueueOnlyAsksAndReports) {
  CreateWindows();
  folderAnswer_ = out_;
  main_->ToolButton4Click();
  EXPECT_EQ(Texts(), std::vector<std::string>{"恢复完成!"});
  EXPECT_TRUE(fs::is_empty(out_));
}

// ---------------------------------------------------------------- popup commands

TEST_F(DialogTest, PopupCommandsCheckAndSelectRows) {
  CreateWindows();
  main_->SetResultColumns(0);
  for (int i = 0; i < 10; ++i) main_->ResultListAddRow({"n" + std::to_string(i), "1", "正常"});
  main_->PumpMessages();  // as a scan's pump shows them
  ResultModel& model = *main_->ListModel;
  auto checked = [&] {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < model.Count(); ++i)
      if (model.IsChecked(i)) rows.push_back(i);
    return rows;
  };
  auto action = [&](const char* name) {
    QAction* a = main_->PopupMenu1->findChild<QAction*>(name);
    if (a == nullptr) {
      for (QAction* x : main_->PopupMenu1->actions())
        if (x->objectName() == name) a = x;
    }
    EXPECT_NE(a, nullptr) << name;
    return a;
  };
  QItemSelectionModel* sel = main_->ListView1->selectionModel();
  for (int row : {1, 4, 7}) {
    sel->select(model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  action("N9")->trigger();  // Check Selected
  EXPECT_EQ(checked(), (std::vector<std::size_t>{1, 4, 7}));
  action("N8")->trigger();  // Check All
  EXPECT_EQ(checked().size(), 10u);
  action("N28")->trigger();  // Uncheck Selected
  EXPECT_EQ(checked(), (std::vector<std::size_t>{0, 2, 3, 5, 6, 8, 9}));
  action("N10")->trigger();  // Uncheck All
  EXPECT_TRUE(checked().empty());
  action("SelectAll1")->trigger();
  EXPECT_EQ(sel->selectedRows().size(), 10);

  const char* captions[][2] = {{"SelectAll1", "Select All"}, {"N8", "Check All"},
                               {"N10", "Uncheck All"}, {"N9", "Check Selected"},
                               {"N28", "Uncheck Selected"}, {"N6", "Recover Checked"}};
  for (const auto& c : captions) EXPECT_EQ(action(c[0])->text(), c[1]);

  // "Recover Checked" is the Recover command, enabled even while Recover is not.
  main_->ToolButton4->setEnabled(false);
  ASSERT_TRUE(action("N6")->isEnabled());
  folderAnswer_.reset();
  action("N6")->trigger();
  EXPECT_EQ(folderQuestions_, 1);
}

}  // namespace
}  // namespace velmora
