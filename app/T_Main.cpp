// The main window: its construction (tool bar, tree and result list, log
// pane, status bar, hidden main menu), start-up, the commands of its buttons
// and menu items, closing and the usage count, and the hidden scanner items.
// The result view, the scan seam and the DVR views live in T_Main_Results.cpp,
// T_Main_ScanView.cpp and T_Main_Dvr.cpp.
#include "app/T_Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QResizeEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <functional>
#include <vector>

#include "app/AppGlobals.h"
#include "app/Export.h"
#include "app/ListCommands.h"
#include "app/F_About.h"
#include "app/F_ExitWait.h"
#include "app/ResultListView.h"
#include "app/ResultModel.h"
#include "app/T_Option.h"
#include "app/UpdateCheck.h"
#include "app/WindowHelpers.h"
#include "engine/AndroidCallScanner.h"
#include "engine/AndroidTemporaryCopy.h"
#include "engine/AndroidContactsScanner.h"
#include "engine/AndroidFixedSmsCarver.h"
#include "engine/AndroidSmsScanner.h"
#include "engine/CarvingEngine.h"
#include "engine/IosCallScanner.h"
#include "engine/IosContactsScanner.h"
#include "engine/IosMessagesScanner.h"
#include "engine/MyFuns_.h"
#include "engine/ScanContext.h"
#include "engine/WeChatScanner.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "platform/qt/HttpClient.h"
#include "dvr/DvrIndex.h"
#include "dvr/F_Debug.h"
#include "dvr/F_Debug_Sector.h"

namespace velmora {

TMain* Main = nullptr;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string TrimBlanks(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

// The log pane's splitter: a thin bar above the pane; dragging it changes the
// pane's height.
class PaneSplitter : public QFrame {
 public:
  PaneSplitter(QWidget* pane, QWidget* parent) : QFrame(parent), pane_(pane) {
    setFixedHeight(4);
    setCursor(Qt::SizeVerCursor);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    startY_ = event->globalPosition().toPoint().y();
    startHeight_ = pane_->height();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const int dy = event->globalPosition().toPoint().y() - startY_;
    pane_->setFixedHeight(std::clamp(startHeight_ - dy, 30, 600));
  }

 private:
  QWidget* pane_;
  int startY_ = 0;
  int startHeight_ = 0;
};

// Status panel 1: hosts the progress bar, which it places on its own
// rectangle whenever it is laid out.
class ProgressPanel : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (Main != nullptr) Main->StatusBar1DrawPanel(1, rect());
  }
};

// The result list's style: the application's, but a cell's check box, icon
// and text are placed without measuring the text. In a table a cell's text
// takes all the room beside its box and icon whatever its size (the view
// shows an item's decoration as selected), yet the style shapes the whole
// text to lay the cell out before it shapes it again to draw it; a message's
// long body was shaped once more for nothing in every cell painted. The
// places are asked for with a one-space text instead; a wrapped text, whose
// lines may matter, is measured as before.
class ResultListStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  QRect subElementRect(SubElement element, const QStyleOption* option,
                       const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
    const bool cellPart = element == SE_ItemViewItemCheckIndicator ||
                          element == SE_ItemViewItemDecoration ||
                          element == SE_ItemViewItemText || element == SE_ItemViewItemFocusRect;
    if (cellPart && item != nullptr && item->showDecorationSelected &&
        !(item->features & QStyleOptionViewItem::WrapText) && item->text.size() > 1) {
      QStyleOptionViewItem placed(*item);
      placed.text = QStringLiteral(" ");
      return QProxyStyle::subElementRect(element, &placed, widget);
    }
    return QProxyStyle::subElementRect(element, option, widget);
  }
};

// The status bar. A panel's new text asks the bar to lay out again, and the
// bar then repaints all its panels, though their widths are fixed and a text
// moves nothing: while a scan runs that is a repaint of every panel at every
// message pump. When nothing the bar lays out by has changed since its last
// layout, the panel whose text changed repaints itself and the bar does not.
class PanelStatusBar : public QStatusBar {
 public:
  using QStatusBar::QStatusBar;

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::LayoutRequest) {
      std::vector<int> layout = LayoutInputs();
      if (layout == lastLayout_) return true;
      lastLayout_ = std::move(layout);
    }
    return QStatusBar::event(event);
  }

 private:
  // What the bar's layout follows: its font's height and each panel's place,
  // visibility and height limits.
  std::vector<int> LayoutInputs() const {
    std::vector<int> v{fontMetrics().height(), width(), height()};
    for (const QObject* child : children()) {
      const auto* w = qobject_cast<const QWidget*>(child);
      if (w == nullptr) continue;
      const QRect g = w->geometry();
      v.insert(v.end(), {w->isVisible() ? 1 : 0, g.x(), g.y(), g.width(), g.height(),
                         w->minimumHeight(), w->minimumSizeHint().height(), w->maximumHeight()});
    }
    return v;
  }

  std::vector<int> lastLayout_;
};

// A status panel's text. A label's new text makes its bar lay out again, and
// the layout measures the text anew for the label's size; while a scan runs
// the count text changes at every message pump. A panel of fixed width asks
// for that width and the height of its text; the height is measured once for
// texts that differ only in their digits (digits come from one font and
// give a line the same height), and anew for any other text or look.
class PanelLabel : public QLabel {
 public:
  using QLabel::QLabel;

  QSize sizeHint() const override { return Hint(false); }
  QSize minimumSizeHint() const override { return Hint(true); }

 private:
  QSize Hint(bool minimum) const {
    if (minimumWidth() != maximumWidth())
      return minimum ? QLabel::minimumSizeHint() : QLabel::sizeHint();
    QString digitless = text();
    for (QChar& c : digitless) {
      if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) c = QLatin1Char('0');
    }
    const Look look{font(), alignment(), indent(), margin(), contentsMargins(), wordWrap(),
                    textFormat(), style()};
    Measured& m = minimum ? minimum_ : preferred_;
    if (!m.valid || m.look != look || m.text != digitless) {
      m.height = (minimum ? QLabel::minimumSizeHint() : QLabel::sizeHint()).height();
      m.text = std::move(digitless);
      m.look = look;
      m.valid = true;
    }
    return QSize(maximumWidth(), m.height);
  }

  // What a label's measure follows besides its text.
  struct Look {
    QFont font;
    Qt::Alignment alignment;
    int indent = 0;
    int margin = 0;
    QMargins contents;
    bool wordWrap = false;
    Qt::TextFormat format = Qt::AutoText;
    const QStyle* style = nullptr;
    bool operator==(const Look&) const = default;
  };
  struct Measured {
    bool valid = false;
    Look look;
    QString text;  // digits as '0'
    int height = 0;
  };
  mutable Measured preferred_;
  mutable Measured minimum_;
};

}  // namespace

// ------------------------------------------------------------------ building

TMain::TMain(QWidget* parent) : QMainWindow(parent) {
  Main = this;
  setObjectName("Main");
  resize(1100, 720);
  BuildToolBar();
  BuildClientArea();
  BuildStatusBar();
  BuildMainMenu();
  BuildDvrSide();
  IdHTTP2 = new QObject(this);
  IdHTTP2->setObjectName("IdHTTP2");
  IdAntiFreeze1 = new QObject(this);
  IdAntiFreeze1->setObjectName("IdAntiFreeze1");
  FormCreate();
}

TMain::~TMain() {
  ++listingGeneration_;
  if (Main == this) Main = nullptr;
}

void TMain::BuildToolBar() {
  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setIconSize(QSize(48, 48));
  ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  ToolBar1->toggleViewAction()->setEnabled(false);
  addToolBar(Qt::TopToolBarArea, ToolBar1);

  // The style's images come in different sizes (some only up to 32 pixels),
  // and an icon is never drawn larger than its largest image: each is scaled
  // to 48 pixels here, so that every image is drawn at one size and the
  // captions under them stand on one line.
  const QSize iconSize(48, 48);
  const qreal ratio = devicePixelRatioF();
  auto image = [this, iconSize, ratio](QStyle::StandardPixmap which) {
    // The largest image the style has, scaled; the disabled look is made
    // from it as for any icon.
    QPixmap pixmap = style()->standardIcon(which).pixmap(iconSize * 4).scaled(
        iconSize * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(ratio);
    return QIcon(pixmap);
  };
  auto button = [this, iconSize, &image](const char* name, const char* caption,
                                         QStyle::StandardPixmap icon) {
    auto* b = new QToolButton(ToolBar1);
    b->setObjectName(name);
    b->setText(QString::fromUtf8(caption));
    b->setIcon(image(icon));
    b->setIconSize(iconSize);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    ToolBar1->addWidget(b);
    return b;
  };
  ToolButton3 = button("ToolButton3", "     开始扫描     ", QStyle::SP_MediaPlay);
  ToolButton5 = button("ToolButton5", "停止扫描", QStyle::SP_MediaStop);
  ToolButton4 = button("ToolButton4", "恢复数据", QStyle::SP_DialogSaveButton);
  ToolBar1->addSeparator();
  ToolButton8 = button("ToolButton8", "帮助", QStyle::SP_DialogHelpButton);
  ToolButton9 = button("ToolButton9", "关于", QStyle::SP_MessageBoxInformation);
  ToolButton2 = button("ToolButton2", "退出", QStyle::SP_DialogCloseButton);
  ToolButton5->setEnabled(false);
  ToolButton4->setEnabled(false);

  connect(ToolButton3, &QToolButton::clicked, this, &TMain::ToolButton3Click);
  connect(ToolButton5, &QToolButton::clicked, this, &TMain::ToolButton5Click);
  connect(ToolButton4, &QToolButton::clicked, this, &TMain::ToolButton4Click);
  connect(ToolButton8, &QToolButton::clicked, this, &TMain::ToolButton8Click);
  connect(ToolButton9, &QToolButton::clicked, this, &TMain::ToolButton9Click);
  connect(ToolButton2, &QToolButton::clicked, this, &TMain::ToolButton2Click);
}

void TMain::BuildClientArea() {
  auto* central = new QWidget(this);
  central->setObjectName("CentralWidget");
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // Panel1 (the DVR fragment list) and Panel3 (the result tree and list)
  // fill the same area; Panel3 lies on top.
  ClientArea = new QStackedWidget(central);
  ClientArea->setObjectName("ClientArea");

  Panel1 = new QWidget(ClientArea);
  Panel1->setObjectName("Panel1");
  auto* panel1Layout = new QVBoxLayout(Panel1);
  panel1Layout->setContentsMargins(0, 0, 0, 0);
  ListView3 = new QTableWidget(Panel1);
  ListView3->setObjectName("ListView3");
  ListView3->setColumnCount(6);
  ListView3->setHorizontalHeaderLabels(
      {"ID", "Start Cluster", "End Cluster", "Start Sector", "End Sector", " Size(MB)"});
  const int fragmentWidths[] = {50, 150, 120, 120, 100, 150};
  for (int i = 0; i < 6; ++i) ListView3->setColumnWidth(i, fragmentWidths[i]);
  ListView3->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView3->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView3->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView3->setShowGrid(true);
  ListView3->verticalHeader()->setVisible(false);
  panel1Layout->addWidget(ListView3);

  Panel3 = new QWidget(ClientArea);
  Panel3->setObjectName("Panel3");
  auto* panel3Layout = new QHBoxLayout(Panel3);
  panel3Layout->setContentsMargins(0, 0, 0, 0);
  auto* split = new QSplitter(Qt::Horizontal, Panel3);
  split->setObjectName("ResultSplitter");
  split->setChildrenCollapsible(false);

  TreeView1 = new QTreeWidget(split);
  TreeView1->setObjectName("TreeView1");
  TreeView1->setHeaderHidden(true);
  TreeView1->setColumnCount(1);
  TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
  TreeView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  TreeView1->setAllColumnsShowFocus(true);
  TreeView1->viewport()->installEventFilter(this);

  ListModel = new ResultModel(this);
  ListView1 = new ResultListView(split);
  ListView1->setObjectName("ListView1");
  if (QStyle* base = QStyleFactory::create(QApplication::style()->name())) {
    auto* listStyle = new ResultListStyle(base);
    listStyle->setParent(this);  // deleted after the list, which the window deletes first
    ListView1->setStyle(listStyle);
  }
  ListView1->setModel(ListModel);
  ListView1->setShowGrid(true);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setTextElideMode(Qt::ElideRight);
  ListView1->SetRowHeight(fontMetrics().height() + 6);
  ListView1->horizontalHeader()->setSectionsClickable(true);
  ListView1->horizontalHeader()->setHighlightSections(false);
  ListView1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  connect(ListView1->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &TMain::ListView1ColumnClick);

  // The result list's popup menu; its commands come with the list commands.
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  SelectAll1 = MenuItem(PopupMenu1, "SelectAll1", "Select All");
  N8 = MenuItem(PopupMenu1, "N8", "Check All");
  N10 = MenuItem(PopupMenu1, "N10", "Uncheck All");
  N9 = MenuItem(PopupMenu1, "N9", "Check Selected");
  N28 = MenuItem(PopupMenu1, "N28", "Uncheck Selected");
  N6 = MenuItem(PopupMenu1, "N6", "Recover Checked");
  connect(SelectAll1, &QAction::triggered, this, &TMain::SelectAll1Click);
  connect(N8, &QAction::triggered, this, &TMain::N8Click);
  connect(N10, &QAction::triggered, this, &TMain::N10Click);
  connect(N9, &QAction::triggered, this, &TMain::N9Click);
  connect(N28, &QAction::triggered, this, &TMain::N28Click);
  connect(N6, &QAction::triggered, this, &TMain::N6Click);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (!PopupMenu1->actions().isEmpty()) PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at));
  });

  split->addWidget(TreeView1);
  split->addWidget(ListView1);
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({200, 900});
  panel3Layout->addWidget(split);

  ClientArea->addWidget(Panel1);
  ClientArea->addWidget(Panel3);
  ClientArea->setCurrentWidget(Panel3);
  column->addWidget(ClientArea, 1);

  BuildLogPane();
  Splitter1 = new PaneSplitter(Panel2, central);
  Splitter1->setObjectName("Splitter1");
  column->addWidget(Splitter1);
  column->addWidget(Panel2);

  setCentralWidget(central);
}

void TMain::BuildLogPane() {
  Panel2 = new QWidget(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFixedHeight(100);
  auto* layout = new QVBoxLayout(Panel2);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* bar = new QFrame(Panel2);
  bar->setObjectName("LogBar");
  bar->setFrameShape(QFrame::StyledPanel);
  bar->setFixedHeight(16);
  auto* barLayout = new QHBoxLayout(bar);
  barLayout->setContentsMargins(0, 0, 2, 0);
  barLayout->addStretch(1);
  SpeedButton1 = new QToolButton(bar);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setText("×");
  SpeedButton1->setToolTip("Close Log");
  SpeedButton1->setAutoRaise(true);
  SpeedButton1->setFixedSize(16, 14);
  barLayout->addWidget(SpeedButton1);
  connect(SpeedButton1, &QToolButton::clicked, this, &TMain::SpeedButton1Click);
  layout->addWidget(bar);

  ListView2 = new QTreeWidget(Panel2);
  ListView2->setObjectName("ListView2");
  ListView2->setColumnCount(4);
  ListView2->setHeaderLabels({"类型", "日期", "时间", "信息"});
  ListView2->setColumnWidth(0, 100);
  ListView2->setColumnWidth(1, 80);
  ListView2->setColumnWidth(2, 80);
  ListView2->header()->setStretchLastSection(true);
  ListView2->setRootIsDecorated(false);
  ListView2->setUniformRowHeights(true);
  ListView2->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView2->setSelectionBehavior(QAbstractItemView::SelectRows);
  layout->addWidget(ListView2, 1);
}

void TMain::BuildStatusBar() {
  auto* bar = new PanelStatusBar(this);
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(true);
  setStatusBar(bar);

  StatusPanel0 = new PanelLabel("就绪", bar);
  StatusPanel0->setObjectName("StatusPanel0");
  StatusPanel0->setFixedWidth(200);
  StatusPanel0->setAlignment(Qt::AlignCenter);

  StatusPanel1 = new ProgressPanel(bar);
  StatusPanel1->setObjectName("StatusPanel1");
  StatusPanel1->setFixedWidth(400);
  StatusPanel1->setMinimumHeight(16);
  ProgressBar1 = new QProgressBar(StatusPanel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);

  StatusPanel2 = new PanelLabel(bar);
  StatusPanel2->setObjectName("StatusPanel2");
  StatusPanel2->setFixedWidth(500);

  bar->addWidget(StatusPanel0);
  bar->addWidget(StatusPanel1);
  bar->addWidget(StatusPanel2);
}

QAction* TMain::MenuItem(QMenu* menu, const char* name, const char* caption,
                         const QKeySequence& shortcut) {
  auto* action = new QAction(QString::fromUtf8(caption), this);
  action->setObjectName(name);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  action->setShortcutContext(Qt::WindowShortcut);
  menu->addAction(action);
  // The menu bar is hidden; the window itself carries the items so that their
  // shortcuts act. A disabled item's shortcut does nothing.
  addAction(action);
  return action;
}

void TMain::BuildMainMenu() {
  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName("MainMenu1");
  MainMenu1->setNativeMenuBar(false);
  setMenuBar(MainMenu1);

  QMenu* file = MainMenu1->addMenu("文件");
  N21 = MenuItem(file, "N21", "新建工程", QKeySequence(Qt::ALT | Qt::Key_S));
  N2 = MenuItem(file, "N2", "停止扫描", QKeySequence(Qt::ALT | Qt::Key_T));
  N16 = MenuItem(file, "N16", "恢复数据", QKeySequence(Qt::ALT | Qt::Key_R));
  file->addSeparator();
  IOStxl1 = MenuItem(file, "IOStxl1", "IOS通讯录");
  IOSdx1 = MenuItem(file, "IOSdx1", "IOS短信");
  IOSthjl1 = MenuItem(file, "IOSthjl1", "IOS通话记录");
  IOSwx1 = MenuItem(file, "IOSwx1", "IOS微信");
  Scan1 = MenuItem(file, "Scan1", "Scan");
  Scan11 = MenuItem(file, "Scan11", "Scan1");
  scan21 = MenuItem(file, "scan21", "scan2");
  Scan31 = MenuItem(file, "Scan31", "Scan3");
  for (QAction* a : {Scan1, Scan11, scan21, Scan31}) a->setVisible(false);
  file->addSeparator();
  N4 = MenuItem(file, "N4", "退出", QKeySequence(Qt::ALT | Qt::Key_E));

  QMenu* edit = MainMenu1->addMenu("&Edit");
  edit->setObjectName("N5");
  N13 = MenuItem(edit, "N13", "Select All");
  N14 = MenuItem(edit, "N14", "Check All");
  UncheckAll1 = MenuItem(edit, "UncheckAll1", "Uncheck All");
  N15 = MenuItem(edit, "N15", "Check Selected");
  UncheckSelected1 = MenuItem(edit, "UncheckSelected1", "Uncheck Selected");
  for (const char* caption : {"Show Info", "Save Scan Info", "Load Scan Info"}) {
    QAction* a = edit->addAction(caption);
    a->setVisible(false);
  }

  QMenu* view = MainMenu1->addMenu("查看");
  ShowLog1 = MenuItem(view, "ShowLog1", "显示日志");
  ShowLog1->setCheckable(true);
  ShowLog1->setChecked(true);
  ShowToolbar1 = MenuItem(view, "ShowToolbar1", "显示工具条");
  ShowToolbar1->setCheckable(true);
  ShowToolbar1->setChecked(true);
  Debug1 = MenuItem(view, "Debug1", "Debug");
  Debugbyte1 = MenuItem(view, "Debugbyte1", "Debug_byte");
  Debug1->setVisible(false);
  Debugbyte1->setVisible(false);

  QMenu* help = MainMenu1->addMenu("帮助");
  N23 = MenuItem(help, "N23", "帮助", QKeySequence(Qt::Key_F1));
  N25 = MenuItem(help, "N25", "关于", QKeySequence(Qt::Key_F3));

  for (QMenu* menu : {file, edit, view, help}) menu->menuAction()->setVisible(false);
  MainMenu1->setVisible(false);

  N2->setEnabled(false);
  N16->setEnabled(false);

  connect(N21, &QAction::triggered, this, &TMain::N21Click);
  connect(N2, &QAction::triggered, this, &TMain::N2Click);
  connect(N16, &QAction::triggered, this, &TMain::N16Click);
  connect(N4, &QAction::triggered, this, &TMain::N4Click);
  connect(N25, &QAction::triggered, this, &TMain::N25Click);
  connect(ShowLog1, &QAction::triggered, this, &TMain::ShowLog1Click);
  connect(ShowToolbar1, &QAction::triggered, this, &TMain::ShowToolbar1Click);
  connect(IOStxl1, &QAction::triggered, this, &TMain::IOStxl1Click);
  connect(IOSdx1, &QAction::triggered, this, &TMain::IOSdx1Click);
  connect(IOSthjl1, &QAction::triggered, this, &TMain::IOSthjl1Click);
  connect(IOSwx1, &QAction::triggered, this, &TMain::IOSwx1Click);
  connect(Scan31, &QAction::triggered, this, &TMain::Scan31Click);
  connect(scan21, &QAction::triggered, this, &TMain::scan21Click);
  connect(Scan11, &QAction::triggered, this, &TMain::Scan11Click);
}

// ------------------------------------------------------------------ start-up

void TMain::FormCreate() {
  SortAscending = false;
  FirstActivation = true;
  AppDir = ExecutableDir();
  const std::string configFile = AppDir + "config.ini";
  AppTitle = ReadIniString(configFile, "main", "title", kProductTitle);
  const std::string installed = ReadIniString(configFile, "main", "ver", "0");
  const std::string storedDate = ReadIniString(configFile, "main", "date", TodayText());

  // At most once a day: the first start of a day asks the maker's site for
  // the published version. The day is recorded before the fetch, so a failed
  // or declined check is not repeated that day.
  if (storedDate != TodayText()) {
    WriteIniValue(configFile, "main", "date", kIniString, TodayText());
    const std::string published =
        FetchPublishedVersion(VersionFileURL(), AppDir, kVersionRequestTimeoutMs);
    if (IsNewerPublished(installed, published)) {
      const auto answer =
          platform::ShowMessageBox(UpdateQuestionText(published, installed), "更新",
                                   platform::MbIcon::Question, platform::MbButtons::YesNo);
      if (answer == platform::MbResult::Yes) {
        platform::StartProgram(AppDir + "update");
        RequestApplicationEnd();
      }
    }
  }

  if (TrimBlanks(AppTitle).empty()) AppTitle = kProductTitle;
  WriteIniValue(configFile, "main", "ver", kIniString, std::string(AppVersion));
  WriteIniValue(configFile, "main", "date", kIniString, TodayText());

  setWindowTitle(Q(AppTitle + AppVersion));
  QCoreApplication::setApplicationName(Q(AppTitle));
  CenterOnDesktop(this);

  MachineId = ComputeMachineId();
  AddLogRow("System", TodayText(), NowTimeText(), "程序就绪...");
  ScanStopRequested = true;
  ScanEnabled = true;

  // Last: every later date and time text is "yyyy-mm-dd" and "hh:mm:ss".
  SetProgramFormats();
}

void TMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TMain::FormActivate() {
  if (!FirstActivation) return;
  if (ListModel->Count() == 0) ToolButton3Click();
  FirstActivation = false;
}

bool TMain::event(QEvent* event) {
  // Status tips would hide the status panels; the panels are the scanners'.
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TreeView1->viewport() && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) {
      // After the press has selected the node: list it once the release is
      // through.
      QMetaObject::invokeMethod(this, &TMain::TreeView1Click, Qt::QueuedConnection);
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// ------------------------------------------------------------------ commands

void TMain::ToolButton3Click() {
  if (Form2 == nullptr) return;
  Form2->show();
  Form2->raise();
  Form2->activateWindow();
  setEnabled(false);
  Form2->ProgressBar1->setValue(0);
}

void TMain::N21Click() { ToolButton3Click(); }

void TMain::ToolButton5Click() {
  const auto answer = platform::ShowMessageBox("您确定要停止扫描?", "Information",
                                               platform::MbIcon::Question,
                                               platform::MbButtons::YesNo);
  if (answer != platform::MbResult::Yes) return;
  ScanStopRequested = true;
  ScanEnabled = true;
  SetIdleCommands();
}

void TMain::N2Click() { ToolButton5Click(); }

void TMain::ShowPendingResultRows() {
  ListModel->ShowPendingRows();
  ListView1->LayOutNow();
}

void TMain::SetIdleCommands() {
  SetCommandEnabled(ScanCommand::Start, true);
  SetCommandEnabled(ScanCommand::Stop, false);
  if (ListModel->Count() > 0) SetCommandEnabled(ScanCommand::Recover, true);
}

void TMain::ToolButton4Click() {
  std::string folder;
  if (!BrowseForFolder("请选择保存目录:", "/", folder)) return;
  // The export pumps messages once per record; a scan started meanwhile
  // would empty the arrays under it, so Start waits until the files are out.
  const bool startWasEnabled = ToolButton3->isEnabledTo(this);
  SetCommandEnabled(ScanCommand::Start, false);
  const ExportOutcome outcome = ExportResults(folder, [this] { PumpMessages(); });
  SetCommandEnabled(ScanCommand::Start, startWasEnabled);
  if (!outcome.Ok) {
    platform::ShowMessageBox(outcome.Error, AppTitle, platform::MbIcon::Error);
    return;
  }
  platform::ShowMessageBox("恢复完成!", "Information", platform::MbIcon::Information);
}

void TMain::N16Click() { ToolButton4Click(); }

void TMain::N6Click() { ToolButton4Click(); }

void TMain::SelectAll1Click() { SelectAllRows(*ListView1); }
void TMain::N8Click() { CheckAllRows(*ListModel, true); }
void TMain::N10Click() { CheckAllRows(*ListModel, false); }
void TMain::N9Click() { CheckSelectedRows(*ListView1, *ListModel, true); }
void TMain::N28Click() { CheckSelectedRows(*ListView1, *ListModel, false); }

void TMain::ToolButton8Click() { platform::OpenUrl(HelpPageURL()); }

void TMain::ToolButton9Click() {
  if (Form6 != nullptr) Form6->exec();
}

void TMain::N25Click() { ToolButton9Click(); }

void TMain::ToolButton2Click() { close(); }

void TMain::N4Click() { close(); }

void TMain::ShowLog1Click() {
  // The item ticks itself when triggered; what counts is the tick before.
  const bool wasTicked = !ShowLog1->isChecked();
  Panel2->setVisible(!wasTicked);
  Splitter1->setVisible(!wasTicked);
  ShowLog1->setChecked(!wasTicked);
}

void TMain::ShowToolbar1Click() {
  const bool wasTicked = !ShowToolbar1->isChecked();
  ToolBar1->setVisible(!wasTicked);
  ShowToolbar1->setChecked(!wasTicked);
}

void TMain::SpeedButton1Click() {
  Panel2->setVisible(false);
  Splitter1->setVisible(false);
  ShowLog1->setChecked(false);
}

void TMain::ListView2Change() {
  QTreeWidgetItem* last = ListView2->topLevelItem(ListView2->topLevelItemCount() - 1);
  if (last == nullptr) return;
  ListView2->setCurrentItem(last);
  ListView2->scrollToItem(last);
}

void TMain::StatusBar1DrawPanel(int panel, const QRect& rect) {
  if (panel != 1) return;
  ProgressBar1->setGeometry(rect.left(), rect.top(), rect.width(), rect.height());
}

// ------------------------------------------------------------------ closing

void TMain::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->ignore();
    return;
  }
  if (!ScanStopRequested) {
    platform::ShowMessageBox("程序正在扫描中，请先停止扫描！", "提示",
                             platform::MbIcon::Information);
    event->ignore();
    return;
  }
  const auto answer = platform::ShowMessageBox("您确定要退出程序吗? ", "提示",
                                               platform::MbIcon::Question,
                                               platform::MbButtons::YesNo);
  if (answer != platform::MbResult::Yes) {
    event->ignore();
    return;
  }
  closing_ = true;
  ++listingGeneration_;  // an unfinished listing adds nothing more
  QCoreApplication::processEvents();
  if (Form9 != nullptr) {
    Form9->show();
    Form9->raise();
  }
  QCoreApplication::processEvents();
  setEnabled(false);
  SendUsageCount();
  RequestApplicationEnd();
  event->accept();
}

void TMain::SendUsageCount() {
  const std::string url = CountURL() + "?id=" + MachineId + "&software_name=" + kProductTitle +
                          "&version=" + AppVersion;
  try {
    const QByteArray answer = platform::HttpGet(Q(url), {}, kCountRequestTimeoutMs);
    (void)answer;  // read and dropped
  } catch (...) {
    // No network, no such host, a refused connection, an error status: the
    // exit goes on without a word.
  }
}

// ------------------------------------------------------------------ scanners
// Each hidden item runs its kind's scanner on the scan context that the
// scan-setup dialog has set, and returns when the scanner has finished, its
// last rows shown in the list.

void TMain::IOStxl1Click() {
  RunIosContactsScan(*this);
  ShowPendingResultRows();
}

void TMain::IOSdx1Click() {
  RunIosMessagesScan(*this);
  ShowPendingResultRows();
}

void TMain::IOSthjl1Click() {
  RunIosCallScan(*this);
  ShowPendingResultRows();
}

void TMain::IOSwx1Click() {
  RunWeChatScan(*this);
  ShowPendingResultRows();
}

// The invisible Android items (no shortcut; nothing clicks them) run their
// scanner on the scan context as the last scan left it. The temporary copy
// that a backup-mode scan removes lies under the program's folder.

void TMain::Scan31Click() {
  SetProgramFolder(AppDir);
  RunAndroidCallScan(*this);
  ShowPendingResultRows();
}

void TMain::scan21Click() {
  SetProgramFolder(AppDir);
  RunAndroidSmsScan(*this);
  ShowPendingResultRows();
}

void TMain::Scan11Click() {
  SetProgramFolder(AppDir);
  RunAndroidContactsScan(*this);
  ShowPendingResultRows();
}

void TMain::Scan1Click() {
  RunFixedLayoutSmsCarve(*this);
  ShowPendingResultRows();
}

}  // namespace velmora
