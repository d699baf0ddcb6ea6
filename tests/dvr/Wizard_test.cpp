// The DVR recovery wizard, driven headless on the real window: the drive list
// from a fake sysfs tree, image files and fake device nodes built here, type
// recognition, the option checks, the digit-only boxes, the scan listing the
// files of a small DHFS or WFS index, the row shading and the page buttons.
// Message boxes and the image chooser are answered by script.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dvr/DvrIndex.h"
#include "dvr/F_Main.h"
#include "platform/Drives.h"
#include "platform/MessageBox.h"
#include "tests/dvr/AllocationPeak.h"

namespace velmora::F_Main {
namespace {

namespace fs = std::filesystem;
using platform::MbIcon;
using platform::ScriptedMessageBoxes;

// ---------------------------------------------------------------- fixtures

// A disk image built sector by sector.
class DiskImage {
 public:
  explicit DiskImage(std::size_t sectors) : bytes_(sectors * 512, 0) {}

  void Text(std::size_t off, const std::string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) bytes_.at(off + i) = static_cast<std::uint8_t>(s[i]);
  }
  void U8(std::size_t off, std::uint8_t v) { bytes_.at(off) = v; }
  void U16(std::size_t off, std::uint16_t v) {
    for (std::size_t i = 0; i < 2; ++i) bytes_.at(off + i) = static_cast<std::uint8_t>(v >> (8 * i));
  }
  void U32(std::size_t off, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) bytes_.at(off + i) = static_cast<std::uint8_t>(v >> (8 * i));
  }
  // Bytes 48..79 of `sector`: where the index lies.
  void Geometry(std::size_t sector, std::uint32_t firstEntry, std::uint32_t indexStart,
                std::uint32_t indexEnd, std::uint32_t clusterCount) {
    const std::size_t at = sector * 512;
    U32(at + 56, firstEntry);
    U32(at + 60, indexEnd);
    U32(at + 68, indexStart);
    U32(at + 76, clusterCount);
  }
  void Write(const fs::path& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes_.data()),
              static_cast<std::streamsize>(bytes_.size()));
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

std::uint32_t PackedTime(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<std::uint32_t>((y - 2000) << 26 | mo << 22 | d << 17 | h << 12 | mi << 6 | s);
}

constexpr std::size_t kIndexSector = 40;  // the index area: sectors 40 and 41
constexpr std::size_t kIndexAt = kIndexSector * 512;

struct Entry {
  std::uint8_t type;
  std::uint8_t channel;
  std::uint16_t sizeHigh;
  std::uint32_t start;
  std::uint32_t end;
  std::uint32_t next;
  std::uint32_t sizeLow;
  std::uint32_t clusterNo;
};

void DhfsEntry(DiskImage& img, std::size_t k, const Entry& e) {
  const std::size_t at = kIndexAt + 32 * k;
  img.U8(at, e.type);
  img.U8(at + 1, e.channel);
  img.U16(at + 2, e.sizeHigh);
  img.U32(at + 4, e.start);
  img.U32(at + 8, e.end);
  img.U32(at + 12, e.next);
  img.U32(at + 16, e.sizeLow);
  img.U32(at + 24, e.clusterNo);
}

void WfsEntry(DiskImage& img, std::size_t k, const Entry& e) {
  const std::size_t at = kIndexAt + 32 * k;
  img.U8(at + 1, e.type);
  img.U16(at + 2, e.sizeHigh);
  img.U32(at + 8, e.next);
  img.U32(at + 12, e.start);
  img.U32(at + 16, e.end);
  img.U16(at + 22, static_cast<std::uint16_t>(e.sizeLow));
  img.U32(at + 24, e.clusterNo);
  img.U8(at + 30, e.channel);
}

const std::uint32_t kStart = PackedTime(2013, 7, 4, 9, 5, 3);
const std::uint32_t kEnd = PackedTime(2013, 7, 4, 10, 0, 0);

// A DHFS disk of `sectors` sectors: entry 0 is passed over (the walk starts
// at entry 1), a file of three clusters (entries 1 -> 2 -> 3) on channel 3, a
// one-cluster file on channel 5, then the end of the index.
DiskImage DhfsDisk(std::size_t sectors = 64) {
  DiskImage img(sectors);
  img.Text(0, "DHFS4.1");
  img.Geometry(34, 1, kIndexSector, kIndexSector + 2, 63);
  DhfsEntry(img, 0, {1, 7, 0, kStart, kEnd, 0, 8, 0});
  DhfsEntry(img, 1, {1, 0x13, 0, kStart, kEnd, 2, 10, 1});
  DhfsEntry(img, 2, {2, 0x13, 0, 0, 0, 3, 0, 2});
  DhfsEntry(img, 3, {2, 0x13, 0, 0, 0, 0, 0, 3});
  DhfsEntry(img, 4, {3, 0x05, 0, kStart, kEnd, 0xFFFFFFFFu, 4, 4});
  return img;
}

// A WFS disk: one file of two clusters on channel 9.
DiskImage WfsDisk() {
  DiskImage img(64);
  img.Text(0, "WFS0.3");
  img.Geometry(24, 0, kIndexSector, kIndexSector + 2, 63);
  WfsEntry(img, 0, {2, 9, 1, kStart, kEnd, 1, 6, 0});
  WfsEntry(img, 1, {5, 0, 0, 0, 0, 0, 0, 1});
  return img;
}

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dvr_wizard_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sys" / "block");
    fs::create_directories(dir_ / "dev");
    platform::SetDriveSysRoot((dir_ / "sys").string());
    platform::SetDriveDevRoot((dir_ / "dev").string());
    DvrDevicePath.clear();
    DvrDeviceSectors = 0;
    DvrTypeDetected = false;
    DvrWizardFiles.clear();
    DvrWizardClusterMap.clear();
    TForm1::SetFileChooser({});
  }

  void TearDown() override {
    TForm1::SetFileChooser({});
    platform::SetDriveSysRoot("/sys");
    platform::SetDriveDevRoot("/dev");
    fs::remove_all(dir_);
  }

  // A whole disk `name` in the fake sysfs tree, its device folder below
  // `busPath` (relative to the sysfs root), reached through block/<name>.
  void AddDisk(const std::string& name, const std::string& busPath, std::uint64_t sectors,
               const std::string& model, const std::string& rev, const std::string& serial) {
    const fs::path real = dir_ / "sys" / busPath / "block" / name;
    fs::create_directories(real / "device");
    WriteText(real / "size", std::to_string(sectors) + "\n");
    WriteText(real / "removable", "0\n");
    WriteText(real / "device" / "model", model + "\n");
    WriteText(real / "device" / "rev", rev + "\n");
    WriteText(real / "device" / "serial", serial + "\n");
    fs::create_directory_symlink(real, dir_ / "sys" / "block" / name);
  }

  static void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::unique_ptr<TForm1> NewForm() { return std::make_unique<TForm1>(); }

  // Chooses `image` through the "Image File" button.
  void ChooseImage(TForm1& form, const fs::path& image) {
    form.RadioButton2->click();
    TForm1::SetFileChooser([image](TForm1&) { return std::optional<std::string>(image.string()); });
    form.BitBtn1->click();
  }

  fs::path Image(const DiskImage& img, const char* name = "disk.img") {
    const fs::path path = dir_ / name;
    img.Write(path);
    return path;
  }

  static std::vector<std::string> Row(const QTreeWidget* view, int r) {
    std::vector<std::string> cells;
    const QTreeWidgetItem* item = view->topLevelItem(r);
    for (int c = 0; c < view->columnCount(); ++c) cells.push_back(item->text(c).toStdString());
    return cells;
  }

  static std::vector<std::string> Items(const QComboBox* box) {
    std::vector<std::string> items;
    for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
    return items;
  }

  static bool Highlighted(const QLabel* label) {
    return label->font().underline() &&
           label->palette().color(QPalette::WindowText) ==
               QGuiApplication::palette().color(QPalette::Link);
  }

  static void Type(QLineEdit* edit, const QString& keys) {
    for (const QChar c : keys) {
      const int key = c == u'\b' ? static_cast<int>(Qt::Key_Backspace) : static_cast<int>(c.unicode());
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
      QApplication::sendEvent(edit, &press);
    }
  }

  fs::path dir_;
};

// ---------------------------------------------------------------- creation

TEST_F(WizardTest, CreationShowsTheDevicePageWithHiddenTabsAndDefaults) {
  auto form = NewForm();
  EXPECT_EQ(form->windowTitle().toStdString(), "Form1");
  EXPECT_EQ(form->size(), QSize(801, 479));
  EXPECT_EQ(form->Panel2->text().toStdString(), "Tindrel");
  EXPECT_TRUE(form->Panel2->font().bold());
  EXPECT_EQ(form->Panel2->font().pixelSize(), 16);
  EXPECT_TRUE(form->PageControl1->tabBar()->isHidden());
  std::vector<std::string> tabs;
  for (int i = 0; i < form->PageControl1->count(); ++i) {
    tabs.push_back(form->PageControl1->tabText(i).toStdString());
  }
  EXPECT_EQ(tabs, (std::vector<std::string>{"Select device", "Options", "File List", "About"}));
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet1);
  EXPECT_TRUE(form->ListView1->isEnabled());
  EXPECT_FALSE(form->BitBtn1->isEnabled());
  EXPECT_FALSE(form->Edit1->isEnabled());
  EXPECT_TRUE(form->RadioButton1->isChecked());
  EXPECT_TRUE(form->CheckBox2->isChecked());
  EXPECT_TRUE(form->Label4->text().isEmpty());

  std::vector<std::string> steps;
  for (QLabel* label : form->StepLabels()) {
    steps.push_back(label->text().toStdString());
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(Highlighted(label), label == form->Label2) << label->text().toStdString();
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"New Task", "Select Device", "Options", "Scan", "Help",
                                             "About", "Exit"}));

  // Options page defaults.
  EXPECT_EQ(form->Edit2->text().toStdString(), "0");
  EXPECT_EQ(form->Edit3->text().toStdString(), "976773168");
  EXPECT_EQ(form->Edit13->text().toStdString(), ".264");
  EXPECT_EQ(form->Edit5->text().toStdString(), "5000");
  EXPECT_EQ(form->Edit5->toolTip().toStdString(), "碎片循环多少后结束");
  EXPECT_EQ(Items(form->ComboBox1), (std::vector<std::string>{"DHFS", "DHFS Encryption", "WFS"}));
  EXPECT_EQ(form->ComboBox1->currentIndex(), -1);
  EXPECT_EQ(Items(form->ComboBox2), (std::vector<std::string>{"0.1", "0.2", "0.3", "0.4"}));
  EXPECT_FALSE(form->ComboBox2->isEnabled());
  EXPECT_TRUE(form->Edit4->isHidden());
  EXPECT_EQ(form->Edit4->text().toStdString(), "148");
  EXPECT_EQ(form->Edit4->toolTip().toStdString(), "请不要随意更改");
  EXPECT_TRUE(form->Label9->isHidden());
  EXPECT_EQ(form->Label9->text().toStdString(), "内置参数：");
  EXPECT_FALSE(form->CheckBox1->isChecked());
  EXPECT_FALSE(form->DateTimePicker1->isEnabled());
  EXPECT_FALSE(form->DateTimePicker2->isEnabled());
  EXPECT_TRUE(form->RadioButton3->isChecked());

  // The two report views' columns.
  const auto headers = [](const QTreeWidget* view) {
    std::vector<std::string> out;
    for (int c = 0; c < view->columnCount(); ++c) {
      out.push_back(view->headerItem()->text(c).toStdString());
    }
    return out;
  };
  EXPECT_EQ(headers(form->ListView1), (std::vector<std::string>{"ID", "Model", "Serial No",
                                                                "Firmware", "Total capacity",
                                                                "Bus"}));
  EXPECT_EQ(form->ListView1->columnWidth(1), 150);
  EXPECT_EQ(form->ListView1->columnWidth(4), 100);
  EXPECT_EQ(headers(form->ListView2), (std::vector<std::string>{"ID", "Cam", "Start Time",
                                                                "End Time", "File Size(KB)"}));
  EXPECT_EQ(form->ListView2->columnWidth(0), 70);
  EXPECT_EQ(form->ListView2->columnWidth(2), 200);
  EXPECT_EQ(form->Refresh1->text().toStdString(), "Refresh");
  EXPECT_EQ(form->Refresh1->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_EQ(form->PopupMenu1->actions(), QList<QAction*>{form->Refresh1});
}

TEST_F(WizardTest, CreationWithoutAnyBlockDevicesListsNothingAndShowsNoBox) {
  fs::remove_all(dir_ / "sys");
  ScriptedMessageBoxes boxes;
  auto form = NewForm();
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
  EXPECT_TRUE(boxes.shown().empty());
}

// ---------------------------------------------------------------- drive list

TEST(CapacityTextTest, GibibytesToTheHundredthTiesToEven) {
  const struct {
    std::uint64_t bytes;
    const char* text;
  } cases[] = {
      {500107862016ull, "465.76GB"},
      {134217728ull, "0.12GB"},          // 0.125: tie, down to the even 12
      {1476395008ull, "1.38GB"},         // 1.375: tie, up to the even 138
      {1610612736ull, "1.5GB"},          // shortest form
      {2147483648ull, "2GB"},
      {0, "0GB"},
      {2000398934016ull, "1863.02GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(CapacityText(c.bytes), c.text) << c.bytes;

  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(CapacityText(500107862016ull), "465,76GB");
  QLocale::setDefault(previous);
}

TEST_F(WizardTest, DriveListShowsEachDiskWithItsRecord) {
  AddDisk("sda", "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0", 976773168,
          "ST500DM002-1BD142 ", "KC45", "  Z3T1ABCD  ");
  AddDisk("sdb", "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0",
          262144, "Flash Disk", "1100", "0123456789");
  fs::create_directories(dir_ / "sys" / "block" / "loop0");  // skipped
  WriteText(dir_ / "sys" / "block" / "loop0" / "size", "100\n");

  ScriptedMessageBoxes boxes;
  auto form = NewForm();
  ASSERT_EQ(form->ListView1->topLevelItemCount(), 2);
  EXPECT_EQ(Row(form->ListView1, 0), (std::vector<std::string>{"0", "ST500DM002-1BD142 ",
                                                               "Z3T1ABCD", "KC45", "465.76GB",
                                                               "SATA"}));
  EXPECT_EQ(Row(form->ListView1, 1), (std::vector<std::string>{"1", "Flash Disk", "0123456789",
                                                               "1100", "0.12GB", "USB"}));
  const Tdiskinfo* disk = form->DiskInfoOf(form->ListView1->topLevelItem(0));
  ASSERT_NE(disk, nullptr);
  EXPECT_EQ(disk->DriveNo, 0);
  EXPECT_EQ(disk->Model, "ST500DM002-1BD142 ");
  EXPECT_EQ(disk->Sectors, 976773168u);
  EXPECT_TRUE(boxes.shown().empty());

  // Choosing a row makes it the device.
  form->ListView1->setCurrentItem(form->ListView1->topLevelItem(1));
  form->ListView1Click(form->ListView1);
  EXPECT_EQ(DvrDevicePath, "\\\\.\\PHYSICALDRIVE1");
  EXPECT_EQ(DvrDeviceSectors, 262144u);
  EXPECT_EQ(SystemPathOf(DvrDevicePath), (dir_ / "dev" / "sdb").string());

  // Refresh lists the drives again, from scratch.
  fs::remove(dir_ / "sys" / "block" / "sda");
  form->Refresh1->trigger();
  ASSERT_EQ(form->ListView1->topLevelItemCount(), 1);
  EXPECT_EQ(Row(form->ListView1, 0)[1], "Flash Disk");
  EXPECT_EQ(form->DiskInfoOf(form->ListView1->topLevelItem(0))->DriveNo, 0);
}

TEST_F(WizardTest, DiskSizeBeyondFourGigasectorsKeepsTheLowBits) {
  AddDisk("sda", "devices/ata1/host0", 0x100000010ull, "Big", "1", "S");
  auto form = NewForm();
  ASSERT_EQ(form->ListView1->topLevelItemCount(), 1);
  EXPECT_EQ(form->DiskInfoOf(form->ListView1->topLevelItem(0))->Sectors, 0x10u);
}

// ---------------------------------------------------------------- device choice

TEST_F(WizardTest, RadioButtonsSwitchBetweenDriveListAndImageControls) {
  auto form = NewForm();
  form->RadioButton2->click();
  EXPECT_FALSE(form->ListView1->isEnabled());
  EXPECT_TRUE(form->BitBtn1->isEnabled());
  EXPECT_TRUE(form->Edit1->isEnabled());
  form->RadioButton1->click();
  EXPECT_TRUE(form->ListView1->isEnabled());
  EXPECT_FALSE(form->BitBtn1->isEnabled());
  EXPECT_FALSE(form->Edit1->isEnabled());
}

TEST_F(WizardTest, ImageFileBecomesTheDeviceWithItsSectorCount) {
  auto form = NewForm();
  DiskImage img(64);
  const fs::path path = Image(img);
  std::ofstream(path, std::ios::binary | std::ios::app) << std::string(300, 'x');  // 64 sectors + 300
  ChooseImage(*form, path);
  EXPECT_EQ(form->Edit1->text().toStdString(), path.string());
  EXPECT_EQ(DvrDevicePath, "\\\\?\\" + path.string());
  EXPECT_EQ(DvrDeviceSectors, 64u);
  EXPECT_EQ(SystemPathOf(DvrDevicePath), path.string());

  // A cancelled chooser changes nothing.
  TForm1::SetFileChooser([](TForm1&) { return std::optional<std::string>(); });
  form->BitBtn1->click();
  EXPECT_EQ(DvrDevicePath, "\\\\?\\" + path.string());
}

TEST_F(WizardTest, ImageThatCannotBeOpenedIsNoDevice) {
  auto form = NewForm();
  ScriptedMessageBoxes boxes;
  ChooseImage(*form, dir_ / "missing.img");
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Error);
  EXPECT_EQ(DvrDeviceSectors, 0u);
  boxes.clear();
  form->BitBtn2->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "Please select the device !");
}

TEST_F(WizardTest, NextWithoutADeviceAsksForOne) {
  auto form = NewForm();
  ScriptedMessageBoxes boxes;
  form->BitBtn2->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "Please select the device !");
  EXPECT_EQ(boxes.shown()[0].caption, "hint");
  EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Error);
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet1);

  // An empty image (0 sectors) is no device either.
  ChooseImage(*form, Image(DiskImage(0)));
  boxes.clear();
  form->BitBtn2->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "Please select the device !");
}

// ---------------------------------------------------------------- type recognition

struct Recognition {
  const char* name;
  void (*build)(DiskImage&);
  int typeIndex;
  const char* ext;
  bool versionEnabled;
  std::vector<std::string> versions;
  int versionIndex;
};

TEST_F(WizardTest, NextRecognisesTheDvrType) {
  const std::vector<std::string> wfsVersions = {"0.2", "0.3", "0.4", "巨峰"};
  const Recognition cases[] = {
      {"DHFS text", [](DiskImage& d) { d.Text(0, "DHFS4.1"); }, 0, ".dav", false, {}, -1},
      {"WFS text", [](DiskImage& d) { d.Text(0, "WFS0.3"); }, 2, ".264", true, wfsVersions, 1},
      {"WFS text, unknown version", [](DiskImage& d) { d.Text(0, "WFS9.9"); }, 2, ".264", true,
       wfsVersions, -1},
      {"DHFS and WFS texts", [](DiskImage& d) { d.Text(0, "DHFSWFS"); }, 2, ".264", true,
       wfsVersions, -1},
      {"DHFS marker", [](DiskImage& d) { d.U32(34 * 512 + 328, 0x55AA55AAu); }, 0, ".dav", false,
       {}, -1},
      {"WFS marker", [](DiskImage& d) { d.U32(24 * 512 + 328, 0x789ABCDEu); }, 2, ".264", true,
       wfsVersions, -1},
      {"DHFS encryption",
       [](DiskImage& d) {
         d.Text(0, "DHFS4.1");
         d.U8(34 * 512 + 2, 1);
       },
       1, ".dav", false, {}, -1},
      {"nothing", [](DiskImage&) {}, -1, ".264", false, {"0.1", "0.2", "0.3", "0.4"}, -1},
  };
  for (const Recognition& c : cases) {
    SCOPED_TRACE(c.name);
    auto form = NewForm();
    DiskImage img(64);
    c.build(img);
    ChooseImage(*form, Image(img));
    ScriptedMessageBoxes boxes;
    form->BitBtn2->click();
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet2);
    EXPECT_EQ(form->Edit3->text().toStdString(), "64");
    EXPECT_EQ(form->ComboBox1->currentIndex(), c.typeIndex);
    EXPECT_EQ(form->Edit13->text().toStdString(), c.ext);
    EXPECT_EQ(form->ComboBox2->isEnabled(), c.versionEnabled);
    EXPECT_EQ(Items(form->ComboBox2), c.versions);
    EXPECT_EQ(form->ComboBox2->currentIndex(), c.versionIndex);
    EXPECT_TRUE(Highlighted(form->Label3));
    EXPECT_FALSE(Highlighted(form->Label2));
  }
}

TEST_F(WizardTest, RecognitionTakesTheVersionCharactersAfterTheName) {
  auto form = NewForm();
  DiskImage img(64);
  img.Text(0, "DHFS4.1");
  ChooseImage(*form, Image(img));
  form->BitBtn2->click();
  EXPECT_TRUE(DvrTypeDetected);
  EXPECT_EQ(DvrDetectedType, "DHFS");
  EXPECT_EQ(DvrDetectedVersion, "4.1");

  DiskImage wfs(64);
  wfs.Text(0, "WFS0.3");
  ChooseImage(*form, Image(wfs, "wfs.img"));
  form->BitBtn2->click();
  EXPECT_EQ(DvrDetectedType, "WFS");
  EXPECT_EQ(DvrDetectedVersion.substr(0, 3), "0.3");
}

TEST_F(WizardTest, WithoutAutomaticAnalysisNextKeepsTheTypeList) {
  auto form = NewForm();
  form->ComboBox1->setCurrentIndex(2);
  DiskImage img(64);
  img.Text(0, "DHFS4.1");
  ChooseImage(*form, Image(img));
  form->CheckBox2->setChecked(false);
  form->BitBtn2->click();
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet2);
  EXPECT_EQ(form->ComboBox1->currentIndex(), 2);
  EXPECT_EQ(form->Edit13->text().toStdString(), ".264");
  EXPECT_FALSE(DvrTypeDetected);
}

TEST_F(WizardTest, UnreadableSectorsShowTheReadErrorAndLeaveTheTypeList) {
  auto form = NewForm();
  DiskImage img(1);  // sector 0 only: sectors 34 and 24 cannot be read
  ChooseImage(*form, Image(img));
  ScriptedMessageBoxes boxes;
  form->BitBtn2->click();
  ASSERT_EQ(boxes.shown().size(), 2u);
  for (const auto& box : boxes.shown()) EXPECT_EQ(box.text, "Read then device error......");
  EXPECT_EQ(form->ComboBox1->currentIndex(), -1);
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet2);
}

TEST_F(WizardTest, PhysicalDriveIsReadThroughItsDeviceNode) {
  AddDisk("sda", "devices/ata1/host0", 64, "DVR disk", "1", "S1");
  auto form = NewForm();
  Image(DhfsDisk(), "dev/sda");  // the device node holds the disk
  ASSERT_EQ(form->ListView1->topLevelItemCount(), 1);
  form->ListView1->setCurrentItem(form->ListView1->topLevelItem(0));
  form->ListView1Click(form->ListView1);
  form->BitBtn2->click();
  EXPECT_EQ(form->ComboBox1->currentText().toStdString(), "DHFS");
  form->BitBtn4->click();
  form->BitBtn10->click();
  EXPECT_EQ(form->ListView2->topLevelItemCount(), 2);
}

// ---------------------------------------------------------------- options

TEST_F(WizardTest, TypeChangeSetsExtensionAndVersionList) {
  auto form = NewForm();
  const std::vector<std::string> wfs = {"WFS0.2", "WFS0.3", "WFS0.4", "巨峰"};
  form->ComboBox1->setCurrentIndex(2);
  form->ComboBox1Change(form->ComboBox1);
  EXPECT_EQ(form->Edit13->text().toStdString(), ".264");
  EXPECT_TRUE(form->ComboBox2->isEnabled());
  EXPECT_EQ(Items(form->ComboBox2), wfs);
  EXPECT_EQ(form->ComboBox2->currentIndex(), -1);  // the user chooses the version
  EXPECT_TRUE(form->ComboBox2->currentText().isEmpty());

  for (int type : {0, 1}) {
    form->ComboBox2->setCurrentIndex(1);
    form->ComboBox1->setCurrentIndex(type);
    form->ComboBox1Change(form->ComboBox1);
    EXPECT_EQ(form->Edit13->text().toStdString(), ".dav");
    EXPECT_FALSE(form->ComboBox2->isEnabled());
    EXPECT_TRUE(form->ComboBox2->currentText().isEmpty());
  }
}

TEST_F(WizardTest, WfsChosenByHandAsksForTheVersion) {
  // A recognised WFS disk with its version selected; then the user picks
  // the type in the list with the keyboard, away and back to WFS.
  auto form = NewForm();
  DiskImage img(64);
  img.Text(0, "WFS0.3");
  ChooseImage(*form, Image(img));
  form->BitBtn2->click();
  ASSERT_EQ(form->ComboBox2->currentText().toStdString(), "0.3");
  const auto press = [&](int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(form->ComboBox1, &event);
  };
  press(Qt::Key_Up);
  EXPECT_EQ(form->ComboBox1->currentText().toStdString(), "DHFS Encryption");
  EXPECT_FALSE(form->ComboBox2->isEnabled());
  press(Qt::Key_Down);
  EXPECT_EQ(form->ComboBox1->currentText().toStdString(), "WFS");
  EXPECT_EQ(Items(form->ComboBox2),
            (std::vector<std::string>{"WFS0.2", "WFS0.3", "WFS0.4", "巨峰"}));
  EXPECT_EQ(form->ComboBox2->currentIndex(), -1);

  ScriptedMessageBoxes boxes;
  form->BitBtn4->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "Please select the DVR ver.");
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet2);

  // Once a version is chosen, "Next" goes on.
  form->ComboBox2->setCurrentIndex(1);
  boxes.clear();
  form->BitBtn4->click();
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet3);
}

TEST_F(WizardTest, FilterDateEnablesBothPickers) {
  auto form = NewForm();
  form->CheckBox1->click();
  EXPECT_TRUE(form->DateTimePicker1->isEnabled());
  EXPECT_TRUE(form->DateTimePicker2->isEnabled());
  form->CheckBox1->click();
  EXPECT_FALSE(form->DateTimePicker1->isEnabled());
  EXPECT_FALSE(form->DateTimePicker2->isEnabled());
}

TEST_F(WizardTest, SectorAndLoopBoxesTakeDigitsAndBackspaceOnly) {
  auto form = NewForm();
  for (QLineEdit* edit : {form->Edit2, form->Edit3, form->Edit5}) {
    SCOPED_TRACE(edit->objectName().toStdString());
    edit->clear();
    Type(edit, "1a2-3 4.5x");
    EXPECT_EQ(edit->text().toStdString(), "12345");
    Type(edit, "\b\b");
    EXPECT_EQ(edit->text().toStdString(), "123");
  }
  // The extension box takes anything.
  form->Edit13->clear();
  Type(form->Edit13, ".a-1");
  EXPECT_EQ(form->Edit13->text().toStdString(), ".a-1");

  char16_t key = u'7';
  form->Edit2KeyPress(form->Edit2, key);
  EXPECT_EQ(key, u'7');
  key = u'z';
  form->Edit3KeyPress(form->Edit3, key);
  EXPECT_EQ(key, 0);
}

struct OptionCase {
  const char* name;
  const char* start;
  const char* end;
  int type;
  int version;
  bool filter;
  int startDay;  // days from the end date
  const char* message;  // nullptr: passes
  const char* focus;
};

TEST_F(WizardTest, NextOnOptionsChecksInOrder) {
  const OptionCase cases[] = {
      {"end below start", "10", "9", 0, -1, false, 0,
       "The start sector can not be greater than the end sector!", "Edit2"},
      {"end below start before the type", "10", "9", -1, -1, false, 0,
       "The start sector can not be greater than the end sector!", "Edit2"},
      {"equal sectors", "10", "10", 0, -1, false, 0, nullptr, nullptr},
      {"blanks around", " 5 ", " 6", 0, -1, false, 0, nullptr, nullptr},
      {"beyond 32 bits", "0", "3907029168", 0, -1, false, 0, nullptr, nullptr},
      {"no type", "0", "9", -1, -1, false, 0, "Please select the DVR type.", "ComboBox1"},
      {"WFS without version", "0", "9", 2, -1, false, 0, "Please select the DVR ver.",
       "ComboBox2"},
      {"WFS with version", "0", "9", 2, 0, false, 0, nullptr, nullptr},
      {"start date later", "0", "9", 1, -1, true, 1,
       "The start date can not be greater than the end date!", "DateTimePicker1"},
      {"equal dates", "0", "9", 1, -1, true, 0, nullptr, nullptr},
      {"later start date, filter off", "0", "9", 1, -1, false, 1, nullptr, nullptr},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto form = NewForm();
    form->show();
    form->activateWindow();
    form->PageControl1->setCurrentWidget(form->TabSheet2);
    form->Edit2->setText(c.start);
    form->Edit3->setText(c.end);
    form->ComboBox1->setCurrentIndex(c.type);
    if (c.type >= 0) form->ComboBox1Change(form->ComboBox1);
    form->ComboBox2->setCurrentIndex(c.version);
    if (c.filter) form->CheckBox1->click();
    const QDate end(2014, 3, 1);
    form->DateTimePicker2->setDate(end);
    form->DateTimePicker1->setDate(end.addDays(c.startDay));
    form->BitBtn8->setFocus();

    ScriptedMessageBoxes boxes;
    form->BitBtn4->click();
    if (c.message == nullptr) {
      EXPECT_TRUE(boxes.shown().empty());
      EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet3);
      EXPECT_TRUE(Highlighted(form->Label5));
      EXPECT_FALSE(Highlighted(form->Label3));
    } else {
      ASSERT_EQ(boxes.shown().size(), 1u);
      EXPECT_EQ(boxes.shown()[0].text, c.message);
      EXPECT_EQ(boxes.shown()[0].caption, "Information");
      EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Information);
      EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet2);
      ASSERT_NE(form->focusWidget(), nullptr);
      EXPECT_EQ(form->focusWidget()->objectName().toStdString(), c.focus);
    }
    form->hide();
  }
}

TEST_F(WizardTest, EmptySectorBoxShowsTheConversionErrorAndStays) {
  auto form = NewForm();
  form->PageControl1->setCurrentWidget(form->TabSheet2);
  form->ComboBox1->setCurrentIndex(0);
  form->Edit2->clear();
  ScriptedMessageBoxes boxes;
  form->BitBtn4->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "'' is not a valid integer value");
  EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Error);
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet2);

  form->PageControl1->setCurrentWidget(form->TabSheet3);
  form->Edit5->clear();
  form->Edit2->setText("0");
  boxes.clear();
  form->BitBtn10->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "'' is not a valid integer value");
  EXPECT_TRUE(form->Label4->text().isEmpty());
}

// ---------------------------------------------------------------- navigation

TEST_F(WizardTest, PageButtonsMoveBetweenPagesAndSteps) {
  auto form = NewForm();
  struct Move {
    QWidget* from;
    QPushButton* button;
    QWidget* to;
    QLabel* highlighted;
    QLabel* plain;
  };
  const Move moves[] = {
      {form->TabSheet2, form->BitBtn5, form->TabSheet1, form->Label2, form->Label3},
      {form->TabSheet2, form->BitBtn8, form->TabSheet1, form->Label2, form->Label3},
      {form->TabSheet3, form->BitBtn6, form->TabSheet2, form->Label3, form->Label5},
      {form->TabSheet3, form->BitBtn7, form->TabSheet1, form->Label2, form->Label5},
  };
  for (const Move& m : moves) {
    SCOPED_TRACE(m.button->objectName().toStdString());
    form->PageControl1->setCurrentWidget(m.from);
    for (QLabel* label : form->StepLabels()) form->Label1MouseLeave(label);
    form->Edit2->setText("42");
    m.button->click();
    EXPECT_EQ(form->PageControl1->currentWidget(), m.to);
    EXPECT_TRUE(Highlighted(m.highlighted));
    EXPECT_FALSE(Highlighted(m.plain));
    EXPECT_EQ(form->Edit2->text().toStdString(), "42");  // no state is cleared
  }
  EXPECT_EQ(form->BitBtn9->text().toStdString(), "Stop");
  EXPECT_EQ(form->BitBtn3->text().toStdString(), "Save Selected");
}

TEST_F(WizardTest, HoveredStepLabelIsHighlightedUntilTheMouseLeaves) {
  auto form = NewForm();
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(form->Label6, &move);
  EXPECT_TRUE(Highlighted(form->Label6));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(form->Label6, &leave);
  EXPECT_FALSE(Highlighted(form->Label6));
  // The current step stays highlighted when the mouse leaves it.
  QApplication::sendEvent(form->Label2, &move);
  QApplication::sendEvent(form->Label2, &leave);
  EXPECT_TRUE(Highlighted(form->Label2));
}

// ---------------------------------------------------------------- scan

class ScanTest : public WizardTest {
 protected:
  // Image chosen, type recognised, options passed: on "File List".
  std::unique_ptr<TForm1> OnFileList(const DiskImage& img) { return OnFileList(Image(img)); }
  std::unique_ptr<TForm1> OnFileList(const fs::path& image) {
    auto form = NewForm();
    ChooseImage(*form, image);
    form->BitBtn2->click();
    if (form->ComboBox1->currentIndex() == 2) form->ComboBox2->setCurrentIndex(0);
    form->BitBtn4->click();
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet3);
    return form;
  }
};

TEST_F(ScanTest, DhfsScanListsTheFilesWithTheirClusterSizes) {
  auto form = OnFileList(DhfsDisk());
  ScriptedMessageBoxes boxes;
  form->BitBtn10->click();
  EXPECT_TRUE(boxes.shown().empty());
  ASSERT_EQ(form->ListView2->topLevelItemCount(), 2);
  EXPECT_EQ(Row(form->ListView2, 0),
            (std::vector<std::string>{"0", "3", "2013-7-4 9.5.3", "2013-7-4 10.0.0", "6144"}));
  EXPECT_EQ(Row(form->ListView2, 1),
            (std::vector<std::string>{"1", "5", "2013-7-4 9.5.3", "2013-7-4 10.0.0", "2048"}));
  EXPECT_EQ(form->ListView2->topLevelItem(0)->checkState(0), Qt::Unchecked);
  EXPECT_EQ(form->Label4->text().toStdString(), "Total of 2 files.total size is 8192KB\t");
  EXPECT_EQ(form->Label4->x() + form->Label4->width(), form->Panel3->width());

  EXPECT_EQ(DvrTypeIndex, 0);
  EXPECT_EQ(DvrScanMode, 0);
  EXPECT_EQ(DvrGeometry.FirstEntry, 1u);
  EXPECT_EQ(DvrGeometry.ClusterCount, 63u);
  ASSERT_EQ(DvrWizardClusterMap.size(), 64u);
  EXPECT_EQ(DvrWizardFiles.size(), 2u);
  EXPECT_EQ(DvrWizardFiles[0].Clusters, (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_EQ(form->Gauge1->maximum(), 1023);
  EXPECT_EQ(form->Gauge1->value(), 1023);
  EXPECT_EQ(DvrScanOptions.EndSector, 64);
  EXPECT_EQ(DvrScanOptions.FileExt, ".dav");
  EXPECT_EQ(DvrScanOptions.LoopCount, 5000);
}

TEST_F(ScanTest, WfsScanReadsItsIndexWhereSector24Says) {
  auto form = OnFileList(WfsDisk());
  form->BitBtn10->click();
  EXPECT_EQ(DvrTypeIndex, 2);
  ASSERT_EQ(form->ListView2->topLevelItemCount(), 1);
  EXPECT_EQ(Row(form->ListView2, 0),
            (std::vector<std::string>{"0", "9", "2013-7-4 9.5.3", "2013-7-4 10.0.0", "4096"}));
  EXPECT_EQ(form->Label4->text().toStdString(), "Total of 1 files.total size is 4096KB\t");
}

TEST_F(ScanTest, OtherScanTypesListTheEarlierResultAgain) {
  auto form = OnFileList(DhfsDisk());
  form->BitBtn10->click();
  ASSERT_EQ(form->ListView2->topLevelItemCount(), 2);

  // Another disk without any files, scanned with the other two types.
  ChooseImage(*form, Image(DiskImage(64), "empty.img"));
  for (QRadioButton* type : {form->RadioButton4, form->RadioButton5}) {
    SCOPED_TRACE(type->text().toStdString());
    type->click();
    form->BitBtn10->click();
    EXPECT_EQ(form->ListView2->topLevelItemCount(), 2);
    EXPECT_EQ(form->Label4->text().toStdString(), "Total of 2 files.total size is 8192KB\t");
  }
  EXPECT_EQ(DvrScanMode, 2);
  form->RadioButton3->click();
  form->BitBtn10->click();
  EXPECT_EQ(form->ListView2->topLevelItemCount(), 0);
  EXPECT_EQ(form->Label4->text().toStdString(), "Total of 0 files.total size is 0KB\t");
}

TEST_F(ScanTest, UnreadableDeviceListsNoFiles) {
  auto form = OnFileList(DhfsDisk());
  form->BitBtn10->click();
  fs::remove(dir_ / "disk.img");
  ScriptedMessageBoxes boxes;
  form->BitBtn10->click();
  ASSERT_FALSE(boxes.shown().empty());
  EXPECT_EQ(boxes.shown()[0].text, "Open the device error......");
  EXPECT_EQ(form->ListView2->topLevelItemCount(), 0);
  EXPECT_EQ(form->Label4->text().toStdString(), "Total of 0 files.total size is 0KB\t");
}

TEST_F(ScanTest, IndexAreaEndingBeforeItsStartIsReported) {
  DiskImage img = DhfsDisk();
  img.Geometry(34, 1, kIndexSector + 2, kIndexSector, 63);
  auto form = OnFileList(img);
  ScriptedMessageBoxes boxes;
  form->BitBtn10->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "The index area of the DVR disk is not valid !");
  EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Error);
  EXPECT_EQ(form->ListView2->topLevelItemCount(), 0);
  EXPECT_EQ(form->Label4->text().toStdString(), "Total of 0 files.total size is 0KB\t");
}

TEST_F(ScanTest, IndexAreaBeyondOneReadIsReported) {
  DiskImage img = DhfsDisk();
  img.Geometry(34, 1, 0, 0x00500000u, 63);  // 2.5 GiB
  // A sparse image that holds the whole area: only the single read is too
  // small for it.
  const fs::path path = Image(img);
  fs::resize_file(path, std::uint64_t{0x00500000u} * 512);
  auto form = OnFileList(path);
  ScriptedMessageBoxes boxes;
  testing_alloc::ResetLargestAllocation();
  form->BitBtn10->click();
  EXPECT_LT(testing_alloc::LargestAllocation(), std::size_t{1} << 20);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "The index area of the DVR disk is too large to be read !");
  EXPECT_EQ(form->ListView2->topLevelItemCount(), 0);
}

// A 64 KB image (128 sectors) whose geometry names sectors past its end: the
// box of a read past the end, no files, and nothing allocated for the
// geometry's sizes - neither the index buffer nor the cluster map.
TEST_F(ScanTest, GeometryBeyondTheDeviceIsRefusedBeforeAnythingIsAllocated) {
  constexpr std::size_t kSectors = 128;
  constexpr std::size_t kImageBytes = kSectors * 512;
  struct Case {
    const char* name;
    std::uint32_t start, end, clusters;
  };
  const Case cases[] = {
      {"four billion clusters", kIndexSector, kIndexSector + 2, 0xFFFFFFFFu},
      {"one cluster more than the image has sectors", kIndexSector, kIndexSector + 2, kSectors},
      {"an index area one sector past the end", kIndexSector, kSectors + 1, 63},
      {"an index area of two gigabytes", 0, 0x003FFFFFu, 63},
      {"an index area of two terabytes", 0, 0xFFFFFFFFu, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DiskImage img = DhfsDisk(kSectors);
    img.Geometry(34, 1, c.start, c.end, c.clusters);
    auto form = OnFileList(img);
    DvrWizardClusterMap.assign(3, 7);  // an earlier scan's map
    ScriptedMessageBoxes boxes;
    testing_alloc::ResetLargestAllocation();
    form->BitBtn10->click();
    EXPECT_LE(testing_alloc::LargestAllocation(), kImageBytes);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Read then device error......");
    EXPECT_EQ(boxes.shown()[0].caption, "提示");
    EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Error);
    EXPECT_EQ(form->ListView2->topLevelItemCount(), 0);
    EXPECT_EQ(form->Label4->text().toStdString(), "Total of 0 files.total size is 0KB\t");
    EXPECT_EQ(DvrWizardClusterMap, (std::vector<std::uint8_t>{7, 7, 7}));
    EXPECT_NE(form->Gauge1->minimum(), form->Gauge1->maximum());
    EXPECT_LE(form->Gauge1->value(), form->Gauge1->minimum());
  }
}

TEST_F(ScanTest, GeometryFillingTheWholeDeviceIsScanned) {
  // The index area up to the image's last sector and one cluster per sector.
  constexpr std::size_t kSectors = 128;
  DiskImage img = DhfsDisk(kSectors);
  img.Geometry(34, 1, kIndexSector, kSectors, kSectors - 1);
  auto form = OnFileList(img);
  ScriptedMessageBoxes boxes;
  testing_alloc::ResetLargestAllocation();
  form->BitBtn10->click();
  EXPECT_LE(testing_alloc::LargestAllocation(), kSectors * 512);
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(form->ListView2->topLevelItemCount(), 2);
  EXPECT_EQ(DvrWizardClusterMap.size(), kSectors);
}

TEST_F(ScanTest, EqualIndexSectorsGiveNoFilesAndAnEmptyGauge) {
  // First a scan that fills the gauge.
  auto form = OnFileList(DhfsDisk());
  form->BitBtn10->click();
  ASSERT_EQ(form->Gauge1->value(), form->Gauge1->maximum());

  DiskImage img = DhfsDisk();
  img.Geometry(34, 1, kIndexSector, kIndexSector, 63);
  ChooseImage(*form, Image(img, "empty-index.img"));
  ScriptedMessageBoxes boxes;
  form->BitBtn10->click();
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(form->ListView2->topLevelItemCount(), 0);
  // An empty bar, not the busy animation of a bar whose minimum is its
  // maximum.
  EXPECT_NE(form->Gauge1->minimum(), form->Gauge1->maximum());
  EXPECT_LE(form->Gauge1->value(), form->Gauge1->minimum());
}

TEST_F(ScanTest, ScanPressedWhileAScanRunsIsIgnored) {
  auto form = OnFileList(DhfsDisk());
  int nested = 0;
  int rowsAfterNested = -1;
  // The walk lets window messages run: a queued press arrives mid-scan.
  QMetaObject::invokeMethod(
      form->BitBtn10,
      [&] {
        ++nested;
        form->BitBtn10->click();
        rowsAfterNested = form->ListView2->topLevelItemCount();
      },
      Qt::QueuedConnection);
  form->BitBtn10->click();
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(rowsAfterNested, 0);  // the nested press did nothing
  EXPECT_EQ(form->ListView2->topLevelItemCount(), 2);
}

// ---------------------------------------------------------------- row shading

TEST_F(WizardTest, OddRowsOfTheFileListAreShaded) {
  auto form = NewForm();
  const QColor shade(215, 238, 240);
  for (int row : {0, 1, 2, 3, 10, 11}) {
    QColor brush;
    form->ListView2CustomDrawItem(form->ListView2, row, brush);
    if (row % 2 == 1) {
      EXPECT_EQ(brush, shade) << row;
    } else {
      EXPECT_FALSE(brush.isValid()) << row;
    }
  }

  // Drawn: the middle of a cell of row 1 is shaded, of row 0 not.
  for (int i = 0; i < 3; ++i) {
    auto* item = new QTreeWidgetItem(form->ListView2);
    item->setText(1, "x");
  }
  form->PageControl1->setCurrentWidget(form->TabSheet3);
  form->show();
  QApplication::processEvents();
  const QImage image = form->ListView2->viewport()->grab().toImage();
  const auto cellColor = [&](int row) {
    const QRect r = form->ListView2->visualItemRect(form->ListView2->topLevelItem(row));
    return QColor(image.pixel(form->ListView2->columnWidth(0) + form->ListView2->columnWidth(1) +
                                  20,
                              r.center().y()));
  };
  EXPECT_EQ(cellColor(1), shade);
  EXPECT_NE(cellColor(0), shade);
  EXPECT_NE(cellColor(2), shade);
  form->hide();
}

}  // namespace
}  // namespace velmora::F_Main
