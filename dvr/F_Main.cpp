#include "dvr/F_Main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

#include "dvr/DvrIndex.h"
#include "dvr/DvrWalkGauge.h"
#include "dvr/myfuns.h"
#include "engine/MyFuns_.h"
#include "platform/Drives.h"
#include "platform/MessageBox.h"
#include "platform/RawFile.h"

namespace velmora::F_Main {

TForm1* Form1 = nullptr;

std::string DvrDevicePath;
std::uint32_t DvrDeviceSectors = 0;
std::string DvrDetectedType;
std::string DvrDetectedVersion;
bool DvrTypeDetected = false;
TDvrScanOptions DvrScanOptions;
std::uint8_t DvrTypeIndex = 0;
std::uint8_t DvrScanMode = 0;

namespace {

using platform::MbIcon;

constexpr char kFilePrefix[] = "\\\\?\\";
constexpr char kDrivePrefix[] = "\\\\.\\PHYSICALDRIVE";
constexpr int kDriveCount = 256;
constexpr QRgb kOddRowColor = qRgb(215, 238, 240);

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Trimmed(const QString& s) { return s.trimmed().toStdString(); }

// Blanks and control characters off both ends.
std::string TrimControls(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

TForm1::FileChooser& CurrentFileChooser() {
  static TForm1::FileChooser chooser;
  return chooser;
}

// A box's text as a whole number: an optional sign and decimal digits, in the
// 64-bit range; anything else raises the platform's conversion error.
std::int64_t StrToInt(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) throw EConvertError("'" + text + "' is not a valid integer value");
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  std::uint64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') throw EConvertError("'" + text + "' is not a valid integer value");
    const std::uint64_t d = static_cast<std::uint64_t>(c - '0');
    if (v > (limit - d) / 10) throw EConvertError("'" + text + "' is not a valid integer value");
    v = v * 10 + d;
  }
  if (negative) return v == 0 ? 0 : -static_cast<std::int64_t>(v - 1) - 1;
  return static_cast<std::int64_t>(v);
}

// What the application shows for an error no handler catches.
void ShowApplicationError(const std::exception& e) {
  platform::ShowMessageBox(e.what(), QCoreApplication::applicationName().toStdString(),
                           MbIcon::Error);
}

// One sector of the device, read into a fresh zeroed buffer: a read that
// fails (its message shown) gives zeros, never another sector's bytes.
Fbuf ReadDeviceSector(std::uint64_t sector) {
  Fbuf buffer(kSectorSize, 0);
  ReadSectors(SystemPathOf(DvrDevicePath), false, sector, static_cast<std::int32_t>(kSectorSize),
              buffer);
  return buffer;
}

std::uint32_t LittleEndian32(const Fbuf& b, std::size_t off) {
  return static_cast<std::uint32_t>(b[off]) | static_cast<std::uint32_t>(b[off + 1]) << 8 |
         static_cast<std::uint32_t>(b[off + 2]) << 16 | static_cast<std::uint32_t>(b[off + 3]) << 24;
}

// Grid lines for the report views, and the file list's row brush.
class ReportDelegate : public QStyledItemDelegate {
 public:
  ReportDelegate(QObject* parent, std::function<void(int, QColor&)> rowBrush)
      : QStyledItemDelegate(parent), rowBrush_(std::move(rowBrush)) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(QColor(0xd0, 0xd0, 0xd0));
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->restore();
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!rowBrush_) return;
    QColor brush;
    rowBrush_(index.row(), brush);
    if (brush.isValid()) option->backgroundBrush = brush;
  }

 private:
  std::function<void(int, QColor&)> rowBrush_;
};

QTreeWidget* MakeReportView(QWidget* parent, const char* name,
                            const std::vector<std::pair<const char*, int>>& columns) {
  auto* view = new QTreeWidget(parent);
  view->setObjectName(name);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setAllColumnsShowFocus(true);
  QStringList labels;
  for (const auto& c : columns) labels << QString::fromUtf8(c.first);
  view->setHeaderLabels(labels);
  view->header()->setStretchLastSection(false);
  for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
    if (columns[i].second > 0) view->setColumnWidth(i, columns[i].second);
  }
  return view;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int x, int y) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(name);
  button->setGeometry(x, y, 90, 28);
  button->setAutoDefault(false);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const char* caption, int x, int y, int w = 110) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setGeometry(x, y, w, 22);
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const char* text, int x, int y,
                    int w = 150) {
  auto* edit = new QLineEdit(QString::fromUtf8(text), parent);
  edit->setObjectName(name);
  edit->setGeometry(x, y, w, 22);
  return edit;
}

// The size in bytes of the chosen device: the image's or block device's own
// size when it can be told, else the sector count taken when it was chosen.
std::uint64_t DeviceBytes() {
  platform::RawFile device(SystemPathOf(DvrDevicePath), platform::RawFile::Access::ReadOnly);
  if (const std::optional<std::int64_t> size = device.Size(); size && *size >= 0) {
    return static_cast<std::uint64_t>(*size);
  }
  return static_cast<std::uint64_t>(DvrDeviceSectors) * kSectorSize;
}

}  // namespace

// ---------------------------------------------------------------- free functions

std::string CapacityText(std::uint64_t bytes) {
  // Hundredths of a GiB, exactly: bytes * 100 / 2^30, ties to even.
  constexpr unsigned __int128 kGiB = 1u << 30;
  const unsigned __int128 scaled = static_cast<unsigned __int128>(bytes) * 100;
  unsigned __int128 q = scaled / kGiB;
  const unsigned __int128 rem = scaled % kGiB;
  if (rem * 2 > kGiB || (rem * 2 == kGiB && (q & 1) != 0)) ++q;
  const std::uint64_t hundredths = static_cast<std::uint64_t>(q);
  std::string text = std::to_string(hundredths / 100);
  const unsigned frac = static_cast<unsigned>(hundredths % 100);
  if (frac != 0) {
    std::string digits = {static_cast<char>('0' + frac / 10), static_cast<char>('0' + frac % 10)};
    if (digits[1] == '0') digits.pop_back();
    text += QLocale().decimalPoint().toStdString() + digits;
  }
  return text + "GB";
}

std::string SystemPathOf(const std::string& devicePath) {
  const std::string filePrefix = kFilePrefix;
  if (devicePath.starts_with(filePrefix)) return devicePath.substr(filePrefix.size());
  if (std::optional<std::string> node = platform::PhysicalDriveNode(devicePath)) return *node;
  return devicePath;
}

// ---------------------------------------------------------------- window

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
  setObjectName("TForm1");
  BuildComponents();
  FormCreate(this);
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

TForm1::FileChooser TForm1::SetFileChooser(FileChooser chooser) {
  FileChooser previous = std::move(CurrentFileChooser());
  CurrentFileChooser() = std::move(chooser);
  return previous;
}

void TForm1::BuildComponents() {
  setWindowTitle("Form1");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(801, 479);

  Panel2 = new QLabel("Tindrel", this);
  Panel2->setObjectName("Panel2");
  Panel2->setGeometry(0, 0, 801, 40);
  Panel2->setAlignment(Qt::AlignCenter);
  QFont captionFont = Panel2->font();
  captionFont.setPixelSize(16);
  captionFont.setBold(true);
  Panel2->setFont(captionFont);

  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  Panel1->setGeometry(0, 40, 150, 439);
  const std::pair<QLabel**, const char*> steps[] = {
      {&Label1, "New Task"}, {&Label2, "Select Device"}, {&Label3, "Options"}, {&Label5, "Scan"},
      {&Label6, "Help"},     {&Label7, "About"},         {&Label8, "Exit"}};
  const char* stepNames[] = {"Label1", "Label2", "Label3", "Label5", "Label6", "Label7", "Label8"};
  int y = 20;
  int i = 0;
  for (const auto& [slot, caption] : steps) {
    auto* label = new QLabel(caption, Panel1);
    label->setObjectName(stepNames[i++]);
    label->setGeometry(20, y, 120, 22);
    label->setMouseTracking(true);
    label->installEventFilter(this);
    *slot = label;
    SetStepStyle(label, false);
    y += 32;
  }

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setGeometry(150, 40, 651, 439);
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName("TabSheet1");
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName("TabSheet2");
  TabSheet3 = new QWidget;
  TabSheet3->setObjectName("TabSheet3");
  TabSheet4 = new QWidget;
  TabSheet4->setObjectName("TabSheet4");
  PageControl1->addTab(TabSheet1, "Select device");
  PageControl1->addTab(TabSheet2, "Options");
  PageControl1->addTab(TabSheet3, "File List");
  PageControl1->addTab(TabSheet4, "About");
  Panel4 = new QWidget(TabSheet4);
  Panel4->setObjectName("Panel4");
  Panel4->setGeometry(0, 0, 645, 30);

  BuildSelectDevicePage();
  BuildOptionsPage();
  BuildFileListPage();
}

void TForm1::BuildSelectDevicePage() {
  RadioButton1 = new QRadioButton("Physical Media", TabSheet1);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setGeometry(16, 10, 140, 22);
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("Image File", TabSheet1);
  RadioButton2->setObjectName("RadioButton2");
  RadioButton2->setGeometry(170, 10, 140, 22);
  CheckBox2 = new QCheckBox("Automatic analysis DVR Type", TabSheet1);
  CheckBox2->setObjectName("CheckBox2");
  CheckBox2->setGeometry(340, 10, 280, 22);
  CheckBox2->setChecked(true);

  ListView1 = MakeReportView(TabSheet1, "ListView1",
                             {{"ID", 40}, {"Model", 150}, {"Serial No", 150}, {"Firmware", 150},
                              {"Total capacity", 100}, {"Bus", 60}});
  ListView1->setGeometry(16, 40, 613, 270);
  ListView1->setItemDelegate(new ReportDelegate(ListView1, nullptr));
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Refresh1 = PopupMenu1->addAction("Refresh");
  Refresh1->setObjectName("Refresh1");
  Refresh1->setShortcut(QKeySequence(Qt::Key_F5));
  Refresh1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  ListView1->addAction(Refresh1);
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at));
  });

  BitBtn1 = MakeButton(TabSheet1, "BitBtn1", "Image File", 16, 322);
  Edit1 = MakeEdit(TabSheet1, "Edit1", "", 114, 325, 515);
  BitBtn2 = MakeButton(TabSheet1, "BitBtn2", "Next", 539, 372);

  connect(RadioButton1, &QRadioButton::clicked, this, [this] { RadioButton1Click(RadioButton1); });
  connect(RadioButton2, &QRadioButton::clicked, this, [this] { RadioButton2Click(RadioButton2); });
  connect(ListView1, &QTreeWidget::itemClicked, this, [this] { ListView1Click(ListView1); });
  connect(Refresh1, &QAction::triggered, this, [this] { Refresh1Click(Refresh1); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(BitBtn1); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(BitBtn2); });
}

void TForm1::BuildOptionsPage() {
  GroupBox1 = new QGroupBox("Option", TabSheet2);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(12, 8, 617, 150);
  MakeLabel(GroupBox1, "Start Sector：", 16, 24);
  Edit2 = MakeEdit(GroupBox1, "Edit2", "0", 126, 24);
  MakeLabel(GroupBox1, "End Sector：", 316, 24);
  Edit3 = MakeEdit(GroupBox1, "Edit3", "976773168", 426, 24);
  MakeLabel(GroupBox1, "File Ext:", 16, 56);
  Edit13 = MakeEdit(GroupBox1, "Edit13", ".264", 126, 56);
  MakeLabel(GroupBox1, "Loop：", 316, 56);
  Edit5 = MakeEdit(GroupBox1, "Edit5", "5000", 426, 56);
  Edit5->setToolTip(QString::fromUtf8("碎片循环多少后结束"));
  MakeLabel(GroupBox1, "DVR Type：", 16, 88);
  ComboBox1 = new QComboBox(GroupBox1);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setGeometry(126, 88, 150, 22);
  ComboBox1->addItems({"DHFS", "DHFS Encryption", "WFS"});
  ComboBox1->setCurrentIndex(-1);
  MakeLabel(GroupBox1, "DVR version：", 316, 88);
  ComboBox2 = new QComboBox(GroupBox1);
  ComboBox2->setObjectName("ComboBox2");
  ComboBox2->setGeometry(426, 88, 150, 22);
  ComboBox2->addItems({"0.1", "0.2", "0.3", "0.4"});
  ComboBox2->setCurrentIndex(-1);
  ComboBox2->setEnabled(false);
  Label9 = MakeLabel(GroupBox1, "内置参数：", 16, 120);
  Label9->setObjectName("Label9");
  Label9->setVisible(false);
  Edit4 = MakeEdit(GroupBox1, "Edit4", "148", 126, 120);
  Edit4->setToolTip(QString::fromUtf8("请不要随意更改"));
  Edit4->setVisible(false);

  GroupBox2 = new QGroupBox("Time", TabSheet2);
  GroupBox2->setObjectName("GroupBox2");
  GroupBox2->setGeometry(12, 164, 617, 64);
  CheckBox1 = new QCheckBox("Filter Date", GroupBox2);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setGeometry(16, 26, 100, 22);
  MakeLabel(GroupBox2, "Start date:", 126, 26, 70);
  DateTimePicker1 = new QDateEdit(QDate::currentDate(), GroupBox2);
  DateTimePicker1->setObjectName("DateTimePicker1");
  DateTimePicker1->setGeometry(200, 26, 130, 22);
  DateTimePicker1->setCalendarPopup(true);
  DateTimePicker1->setEnabled(false);
  MakeLabel(GroupBox2, "End date:", 346, 26, 70);
  DateTimePicker2 = new QDateEdit(QDate::currentDate(), GroupBox2);
  DateTimePicker2->setObjectName("DateTimePicker2");
  DateTimePicker2->setGeometry(420, 26, 130, 22);
  DateTimePicker2->setCalendarPopup(true);
  DateTimePicker2->setEnabled(false);

  GroupBox3 = new QGroupBox("Scan Type", TabSheet2);
  GroupBox3->setObjectName("GroupBox3");
  GroupBox3->setGeometry(12, 234, 617, 60);
  RadioButton3 = new QRadioButton("Only scan using clusters", GroupBox3);
  RadioButton3->setObjectName("RadioButton3");
  RadioButton3->setGeometry(16, 26, 190, 22);
  RadioButton3->setChecked(true);
  RadioButton4 = new QRadioButton("Only scan free clusters", GroupBox3);
  RadioButton4->setObjectName("RadioButton4");
  RadioButton4->setGeometry(216, 26, 190, 22);
  RadioButton5 = new QRadioButton("Scan all clusters", GroupBox3);
  RadioButton5->setObjectName("RadioButton5");
  RadioButton5->setGeometry(416, 26, 190, 22);

  BitBtn8 = MakeButton(TabSheet2, "BitBtn8", "New Task", 339, 372);
  BitBtn5 = MakeButton(TabSheet2, "BitBtn5", "Previous", 439, 372);
  BitBtn4 = MakeButton(TabSheet2, "BitBtn4", "Next", 539, 372);

  for (QLineEdit* edit : {Edit2, Edit3, Edit5}) edit->installEventFilter(this);
  connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(ComboBox1); });
  connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(CheckBox1); });
  connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(BitBtn4); });
  connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(BitBtn5); });
  connect(BitBtn8, &QPushButton::clicked, this, [this] { BitBtn8Click(BitBtn8); });
}

void TForm1::BuildFileListPage() {
  Panel3 = new QWidget(TabSheet3);
  Panel3->setObjectName("Panel3");
  Panel3->setGeometry(0, 0, 645, 30);
  Label4 = new QLabel(Panel3);
  Label4->setObjectName("Label4");
  Label4->move(0, 7);

  ListView2 = MakeReportView(TabSheet3, "ListView2",
                             {{"ID", 70}, {"Cam", 50}, {"Start Time", 200}, {"End Time", 200},
                              {"File Size(KB)", 100}});
  ListView2->setGeometry(8, 36, 629, 300);
  ListView2->setItemDelegate(new ReportDelegate(ListView2, [this](int row, QColor& brush) {
    ListView2CustomDrawItem(ListView2, row, brush);
  }));

  Gauge1 = new QProgressBar(TabSheet3);
  Gauge1->setObjectName("Gauge1");
  Gauge1->setGeometry(8, 342, 629, 18);
  Gauge1->setRange(0, 100);
  Gauge1->setValue(0);
  QPalette gaugePalette = Gauge1->palette();
  gaugePalette.setColor(QPalette::Highlight, QColor(Qt::darkBlue));  // navy
  Gauge1->setPalette(gaugePalette);

  BitBtn7 = MakeButton(TabSheet3, "BitBtn7", "New Task", 8, 372);
  BitBtn6 = MakeButton(TabSheet3, "BitBtn6", "Previous", 108, 372);
  BitBtn10 = MakeButton(TabSheet3, "BitBtn10", "Scan", 339, 372);
  BitBtn9 = MakeButton(TabSheet3, "BitBtn9", "Stop", 439, 372);
  BitBtn3 = MakeButton(TabSheet3, "BitBtn3", "Save Selected", 539, 372);

  connect(BitBtn6, &QPushButton::clicked, this, [this] { BitBtn6Click(BitBtn6); });
  connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(BitBtn7); });
  connect(BitBtn10, &QPushButton::clicked, this, [this] { BitBtn10Click(BitBtn10); });
}

std::vector<QLabel*> TForm1::StepLabels() const {
  return {Label1, Label2, Label3, Label5, Label6, Label7, Label8};
}

const Tdiskinfo* TForm1::DiskInfoOf(const QTreeWidgetItem* row) const {
  if (row == nullptr) return nullptr;
  bool ok = false;
  const qulonglong i = row->data(0, Qt::UserRole).toULongLong(&ok);
  return ok && i < disks_.size() ? &disks_[i] : nullptr;
}

// ---------------------------------------------------------------- styles

void TForm1::SetStepStyle(QLabel* label, bool highlighted) {
  if (label == nullptr) return;
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, highlighted
                                             ? QGuiApplication::palette().color(QPalette::Link)
                                             : QColor(Qt::black));
  label->setPalette(palette);
  QFont font = label->font();
  font.setUnderline(highlighted);
  label->setFont(font);
  label->setCursor(Qt::PointingHandCursor);
}

void TForm1::ShowPage(QWidget* page, QLabel* highlight, QLabel* plain) {
  PageControl1->setCurrentWidget(page);
  SetStepStyle(plain, false);
  SetStepStyle(highlight, true);
  currentStep_ = highlight;
}

// A hovered step label takes the highlighted style; leaving it puts back the
// style of its step (highlighted only for the current step).
void TForm1::Label1MouseMove(QObject* sender) {
  SetStepStyle(qobject_cast<QLabel*>(sender), true);
}

void TForm1::Label1MouseLeave(QObject* sender) {
  auto* label = qobject_cast<QLabel*>(sender);
  SetStepStyle(label, label != nullptr && label == currentStep_);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  const auto steps = StepLabels();
  if (std::find(steps.begin(), steps.end(), watched) != steps.end()) {
    if (event->type() == QEvent::MouseMove) Label1MouseMove(watched);
    if (event->type() == QEvent::Leave) Label1MouseLeave(watched);
    return false;
  }
  if (event->type() == QEvent::KeyPress &&
      (watched == Edit2 || watched == Edit3 || watched == Edit5)) {
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    const QString text = keyEvent->text();
    if (text.isEmpty()) return false;  // not a character (arrows, function keys)
    char16_t key = text.at(0).unicode();
    if (watched == Edit2) Edit2KeyPress(watched, key);
    if (watched == Edit3) Edit3KeyPress(watched, key);
    if (watched == Edit5) Edit5KeyPress(watched, key);
    return key == 0;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::PlaceResultLabel() {
  Label4->adjustSize();
  Label4->move(Panel3->width() - Label4->width(), Label4->y());
}

// ---------------------------------------------------------------- creation

void TForm1::FormCreate(QObject* /*sender*/) {
  Label4->clear();
  PlaceResultLabel();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
  ProbeDrives();
  PageControl1->tabBar()->hide();
  PageControl1->setCurrentWidget(TabSheet1);
  ListView1->setEnabled(true);
  BitBtn1->setEnabled(false);
  Edit1->setEnabled(false);
  ShowPage(TabSheet1, Label2, nullptr);
}

void TForm1::ProbeDrives() {
  for (int n = 0; n < kDriveCount; ++n) {
    std::int64_t size = 0;
    std::string media;
    if (!GetDriveSizeAndMedia(n, size, media)) continue;
    std::string product, revision, serial, bus;
    if (!GetDriveDescriptor(n, product, revision, serial, bus)) continue;
    disks_.push_back(Tdiskinfo{static_cast<std::uint8_t>(n), product,
                               static_cast<std::uint32_t>(static_cast<std::uint64_t>(size) / kSectorSize)});
    auto* row = new QTreeWidgetItem(ListView1);
    row->setText(0, QString::number(n));
    row->setText(1, QString::fromLatin1(product.data(), static_cast<qsizetype>(product.size())));
    row->setText(2, QString::fromLatin1(serial.data(), static_cast<qsizetype>(serial.size())));
    row->setText(3, QString::fromLatin1(revision.data(), static_cast<qsizetype>(revision.size())));
    row->setText(4, Q(CapacityText(static_cast<std::uint64_t>(size))));
    row->setText(5, Q(bus));
    row->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(disks_.size() - 1));
  }
}

void TForm1::Refresh1Click(QObject* /*sender*/) {
  ListView1->clear();
  disks_.clear();
  ProbeDrives();
}

// ---------------------------------------------------------------- device choice

void TForm1::RadioButton1Click(QObject* /*sender*/) {
  if (!RadioButton1->isChecked()) return;
  ListView1->setEnabled(true);
  BitBtn1->setEnabled(false);
  Edit1->setEnabled(false);
}

void TForm1::RadioButton2Click(QObject* /*sender*/) {
  if (!RadioButton2->isChecked()) return;
  ListView1->setEnabled(false);
  BitBtn1->setEnabled(true);
  Edit1->setEnabled(true);
}

void TForm1::ListView1Click(QObject* /*sender*/) {
  QTreeWidgetItem* row = ListView1->currentItem();
  if (row == nullptr || !row->isSelected()) return;
  const Tdiskinfo* disk = DiskInfoOf(row);
  if (disk == nullptr) return;
  DvrDevicePath = std::string(kDrivePrefix) + std::to_string(disk->DriveNo);
  DvrDeviceSectors = disk->Sectors;
}

std::optional<std::string> TForm1::ChooseImageFile() {
  if (CurrentFileChooser()) return CurrentFileChooser()(*this);
  QFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilters({"Image files(*.img)", "All files(*)"});
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front().toStdString();
}

void TForm1::BitBtn1Click(QObject* /*sender*/) {
  const std::optional<std::string> chosen = ChooseImageFile();
  if (!chosen) return;
  Edit1->setText(Q(*chosen));
  DvrDevicePath = kFilePrefix + *chosen;
  try {
    DvrDeviceSectors = static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(FileSize64(*chosen)) / kSectorSize);
  } catch (const std::exception& e) {
    // A file that cannot be opened is no device: "Next" asks for one.
    DvrDeviceSectors = 0;
    ShowApplicationError(e);
  }
}

// ---------------------------------------------------------------- type recognition

void TForm1::RecogniseDvrType() {
  const Fbuf sector0 = ReadDeviceSector(0);
  const std::string text(reinterpret_cast<const char*>(sector0.data()), 7);
  if (text.find("DHFS") != std::string::npos) {
    DvrDetectedType = "DHFS";
    DvrDetectedVersion = text.substr(4, 3);
    DvrTypeDetected = true;
  }
  if (text.find("WFS") != std::string::npos) {
    DvrDetectedType = "WFS";
    DvrDetectedVersion = text.substr(3, 3);
    DvrTypeDetected = true;
  }
  if (!DvrTypeDetected) {
    if (LittleEndian32(ReadDeviceSector(34), 328) == 0x55AA55AAu) {
      DvrDetectedType = "DHFS";
      DvrDetectedVersion.clear();
      DvrTypeDetected = true;
    }
    if (!DvrTypeDetected && LittleEndian32(ReadDeviceSector(24), 328) == 0x789ABCDEu) {
      DvrDetectedType = "WFS";
      DvrDetectedVersion.clear();
      DvrTypeDetected = true;
    }
  }
  if (DvrTypeDetected && DvrDetectedType == "DHFS") {
    const Fbuf sector34 = ReadDeviceSector(34);
    if (sector34[0] == 0 && sector34[1] == 0 && sector34[2] == 1) {
      DvrDetectedType = "DHFS Encryption";
    }
  }
  if (!DvrTypeDetected) return;

  ComboBox1->setCurrentIndex(ComboBox1->findText(Q(TrimControls(DvrDetectedType))));
  if (ComboBox1->currentText() != "WFS") {
    Edit13->setText(".dav");
    ComboBox2->clear();
    ComboBox2->setEnabled(false);
  } else {
    ComboBox2->setEnabled(true);
    ComboBox2->clear();
    ComboBox2->addItems({"0.2", "0.3", "0.4", QString::fromUtf8("巨峰")});
    const std::string version = TrimControls(DvrDetectedVersion);
    ComboBox2->setCurrentIndex(
        ComboBox2->findText(QString::fromLatin1(version.data(), static_cast<qsizetype>(version.size()))));
    Edit13->setText(".264");
  }
}

void TForm1::BitBtn2Click(QObject* /*sender*/) {
  if (DvrDevicePath.empty() || DvrDeviceSectors == 0) {
    platform::ShowMessageBox("Please select the device !", "hint", MbIcon::Error);
    return;
  }
  DvrTypeDetected = false;
  if (CheckBox2->isChecked()) RecogniseDvrType();
  Edit3->setText(QString::number(DvrDeviceSectors));
  ShowPage(TabSheet2, Label3, Label2);
}

// ---------------------------------------------------------------- options

void TForm1::ComboBox1Change(QObject* /*sender*/) {
  const QString type = ComboBox1->currentText();
  if (type == "DHFS" || type == "DHFS Encryption") {
    Edit13->setText(".dav");
    ComboBox2->setCurrentIndex(-1);
    ComboBox2->setEnabled(false);
  } else {
    Edit13->setText(".264");
    ComboBox2->setEnabled(true);
    ComboBox2->clear();
    ComboBox2->addItems({"WFS0.2", "WFS0.3", "WFS0.4", QString::fromUtf8("巨峰")});
    // Refilled, the list would select its first entry by itself; the user
    // chooses the version ("Next" asks for one).
    ComboBox2->setCurrentIndex(-1);
  }
}

void TForm1::CheckBox1Click(QObject* /*sender*/) {
  DateTimePicker1->setEnabled(CheckBox1->isChecked());
  DateTimePicker2->setEnabled(CheckBox1->isChecked());
}

namespace {
void DigitsOnly(char16_t& key) {
  if (key == u'\b' || (key >= u'0' && key <= u'9')) return;
  key = 0;
}
}  // namespace

void TForm1::Edit2KeyPress(QObject* /*sender*/, char16_t& key) { DigitsOnly(key); }
void TForm1::Edit3KeyPress(QObject* /*sender*/, char16_t& key) { DigitsOnly(key); }
void TForm1::Edit5KeyPress(QObject* /*sender*/, char16_t& key) { DigitsOnly(key); }

void TForm1::BitBtn4Click(QObject* /*sender*/) {
  const auto fail = [](const char* text, QWidget* focus) {
    platform::ShowMessageBox(text, "Information", MbIcon::Information);
    focus->setFocus();
  };
  try {
    const std::int64_t end = StrToInt(Trimmed(Edit3->text()));
    const std::int64_t start = StrToInt(Trimmed(Edit2->text()));
    if (end < start) {
      return fail("The start sector can not be greater than the end sector!", Edit2);
    }
  } catch (const EConvertError& e) {
    ShowApplicationError(e);
    return;
  }
  if (Trimmed(ComboBox1->currentText()).empty()) {
    return fail("Please select the DVR type.", ComboBox1);
  }
  if (ComboBox1->currentIndex() == 2 && ComboBox2->currentText().isEmpty()) {
    return fail("Please select the DVR ver.", ComboBox2);
  }
  if (CheckBox1->isChecked() && DateTimePicker1->date() > DateTimePicker2->date()) {
    return fail("The start date can not be greater than the end date!", DateTimePicker1);
  }
  ShowPage(TabSheet3, Label5, Label3);
}

// ---------------------------------------------------------------- navigation

void TForm1::BitBtn5Click(QObject* /*sender*/) { ShowPage(TabSheet1, Label2, Label3); }
void TForm1::BitBtn8Click(QObject* /*sender*/) { ShowPage(TabSheet1, Label2, Label3); }
void TForm1::BitBtn6Click(QObject* /*sender*/) { ShowPage(TabSheet2, Label3, Label5); }
void TForm1::BitBtn7Click(QObject* /*sender*/) { ShowPage(TabSheet1, Label2, Label5); }

// ---------------------------------------------------------------- scan

// Reads the index area that DvrGeometry names and walks it into
// DvrWizardFiles. False, with a box shown and the gauge empty, when the area
// cannot be held: its end below its start, sectors beyond the end of the
// device, more than a single read can take, or too large for memory.
//
// The geometry comes from the disk and may be anything, so it is held
// against the device's size before a byte is allocated: a 64 KB image that
// claims four billion clusters must not get a 4 GB cluster map.
bool TForm1::ReadIndexArea() {
  const std::optional<std::uint64_t> bytes = DvrIndexAreaBytes(DvrGeometry);
  if (!bytes) {
    ShowEmptyGauge(Gauge1);
    platform::ShowMessageBox("The index area of the DVR disk is not valid !", "Information",
                             MbIcon::Error);
    return false;
  }
  if (!DvrGeometryFitsDevice(DvrGeometry, DeviceBytes())) {
    // What reading those sectors gives, without the read.
    ShowEmptyGauge(Gauge1);
    platform::ShowMessageBox("Read then device error......", "提示", MbIcon::Error);
    return false;
  }
  if (*bytes > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    ShowEmptyGauge(Gauge1);
    platform::ShowMessageBox("The index area of the DVR disk is too large to be read !",
                             "Information", MbIcon::Error);
    return false;
  }
  Fbuf index;
  try {
    DvrWizardClusterMap.resize(static_cast<std::size_t>(DvrGeometry.ClusterCount) + 1);
    index.resize(static_cast<std::size_t>(*bytes));
  } catch (const std::bad_alloc&) {
    ShowEmptyGauge(Gauge1);
    platform::ShowMessageBox("Not enough memory for the index of the DVR disk !", "Information",
                             MbIcon::Error);
    return false;
  }
  const std::size_t cleared =
      std::min<std::size_t>(DvrGeometry.FirstEntry, DvrWizardClusterMap.size());
  std::fill_n(DvrWizardClusterMap.begin(), cleared, std::uint8_t{0});

  ReadSectors(SystemPathOf(DvrDevicePath), false, DvrGeometry.IndexStartSector,
              static_cast<std::int32_t>(*bytes), index);
  const auto first = static_cast<std::int32_t>(DvrGeometry.FirstEntry);
  DvrWalkGauge gauge(Gauge1, [] { QCoreApplication::processEvents(); });
  if (DvrTypeIndex == 0 || DvrTypeIndex == 1) {
    ReadDhfsIndex(index, first, DvrWizardFiles, &gauge);
  } else if (DvrTypeIndex == 2) {
    ReadWfsIndex(index, first, DvrWizardFiles, &gauge);
  }
  return true;
}

void TForm1::FillFileList() {
  ListView2->clear();
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < DvrWizardFiles.size(); ++i) {
    QCoreApplication::processEvents();
    if (i >= DvrWizardFiles.size()) break;
    const DvrFile& file = DvrWizardFiles[i];
    const std::uint64_t kb = static_cast<std::uint64_t>(file.Clusters.size()) * 2048;
    auto* row = new QTreeWidgetItem(ListView2);
    row->setCheckState(0, Qt::Unchecked);
    row->setText(0, QString::number(file.Id));
    row->setText(1, QString::number(file.Channel));
    row->setText(2, Q(file.StartText));
    row->setText(3, Q(file.EndText));
    row->setText(4, QString::number(kb));
    total += kb;
  }
  Label4->setText(QString("Total of %1 files.total size is %2KB\t")
                      .arg(ListView2->topLevelItemCount())
                      .arg(total));
  PlaceResultLabel();
}

void TForm1::BitBtn10Click(QObject* /*sender*/) {
  // The walk and the list fill let window messages run; a second press of
  // "Scan" meanwhile would replace the records being listed.
  if (scanning_) return;
  try {
    DvrScanOptions.StartSector = StrToInt(Trimmed(Edit2->text()));
    DvrScanOptions.EndSector = StrToInt(Trimmed(Edit3->text()));
    DvrScanOptions.LoopCount = StrToInt(Trimmed(Edit5->text()));
  } catch (const EConvertError& e) {
    ShowApplicationError(e);
    return;
  }
  scanning_ = true;
  DvrScanOptions.FileExt = Trimmed(Edit13->text());
  DvrTypeIndex = static_cast<std::uint8_t>(ComboBox1->currentIndex());
  DvrScanOptions.VersionIndex = ComboBox2->currentIndex();
  DvrScanOptions.StartDate = DateTimePicker1->date();
  DvrScanOptions.EndDate = DateTimePicker2->date();
  if (RadioButton3->isChecked()) DvrScanMode = 0;
  if (RadioButton4->isChecked()) DvrScanMode = 1;
  if (RadioButton5->isChecked()) DvrScanMode = 2;

  const Fbuf sector = ReadDeviceSector(DvrTypeIndex == 2 ? kWfsGeometrySector : kDhfsGeometrySector);
  DvrGeometry = ReadDvrGeometry(sector);
  if (DvrScanMode == 0 && !ReadIndexArea()) DvrWizardFiles.clear();
  FillFileList();
  scanning_ = false;
}

void TForm1::ListView2CustomDraw(QObject* /*sender*/) {}

void TForm1::ListView2CustomDrawItem(QObject* /*sender*/, int index, QColor& brush) {
  if (index % 2 == 1) brush = QColor(kOddRowColor);
}

}  // namespace velmora::F_Main
