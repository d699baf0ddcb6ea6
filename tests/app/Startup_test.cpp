// Start-up of the main window: config.ini, the once-a-day update check, the
// title, the first log row and the formats, the first activation and the
// hidden menu's shortcuts.
#include <QAction>
#include <QImage>
#include <QLinearGradient>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QThreadPool>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <regex>

#include "MainWindowFixture.h"
#include "app/ProgramMain.h"
#include "app/ResultListView.h"
#include "app/ResultModel.h"
#include "app/UpdateCheck.h"
#include "platform/CodePage.h"

namespace velmora::testing_main {
namespace {

using platform::MbButtons;
using platform::MbIcon;
using platform::MbResult;
using platform::ScriptedMessageBoxes;

TEST_F(MainWindowTest, FirstStartWithoutConfigAsksNothingAndWritesVersionAndDay) {
  ScriptedMessageBoxes boxes;
  const std::string today = TodayText();  // still the system's format
  CreateWindows();

  EXPECT_TRUE(server_.requests().empty());
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(main_->windowTitle().toStdString(), "Kestrova2.0 ");
  EXPECT_EQ(AppTitle, "Kestrova");
  EXPECT_EQ(AppDir, AppFolder());
  const std::string config = ReadWholeFile(ConfigPath());
  EXPECT_NE(config.find("ver=2.0 \r\n"), std::string::npos) << config;
  EXPECT_NE(config.find("date=" + today + "\r\n"), std::string::npos) << config;
  EXPECT_TRUE(ScanStopRequested);
  EXPECT_TRUE(ScanEnabled);
  EXPECT_FALSE(ApplicationEndRequested());
}

TEST_F(MainWindowTest, SecondStartOnTheSameDayUsesNoNetwork) {
  ScriptedMessageBoxes boxes;
  RouteVersionFile("9.9");
  WriteConfig("[main]\r\nver=2.0 \r\ndate=" + TodayText() + "\r\n");
  CreateWindows();
  EXPECT_TRUE(server_.requests().empty());
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MainWindowTest, NewDayWithNewerVersionAsksAndNoGoesOn) {
  ScriptedMessageBoxes boxes({MbResult::No});
  RouteVersionFile("2.1");
  WriteConfig("[main]\r\nver=2.0\r\ndate=1999-01-01\r\n");
  const std::string today = TodayText();
  CreateWindows();

  ASSERT_EQ(server_.countFor(kVersionPath), 1);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "当前程序最新版本是2.1,你现在的版本是2.0,是否要更新？");
  EXPECT_EQ(boxes.shown()[0].caption, "更新");
  EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Question);
  EXPECT_EQ(boxes.shown()[0].buttons, MbButtons::YesNo);
  EXPECT_TRUE(started_.empty());
  EXPECT_FALSE(ApplicationEndRequested());
  EXPECT_TRUE(fs::exists(dir_ / "updatever.ini"));
  EXPECT_EQ(ReadIniString(ConfigPath().string(), "main", "date", ""), today);
  EXPECT_EQ(main_->ListView2->topLevelItemCount(), 1);

  // The next start that day asks no more.
  DestroyWindows();
  ResetSystemFormats();
  boxes.clear();
  CreateWindows();
  EXPECT_EQ(server_.countFor(kVersionPath), 1);
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MainWindowTest, UpdateAcceptedStartsTheUpdaterAndEndsAfterCreation) {
  ScriptedMessageBoxes boxes({MbResult::Yes});
  RouteVersionFile("2.1");
  WriteConfig("[main]\r\nver=2.0 \r\ndate=1999-01-01\r\n");
  CreateWindows();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "当前程序最新版本是2.1,你现在的版本是2.0,是否要更新？");
  EXPECT_EQ(started_, std::vector<std::string>{AppFolder() + "update"});
  EXPECT_TRUE(ApplicationEndRequested());
  // The rest of the creation still ran.
  EXPECT_EQ(main_->windowTitle().toStdString(), "Kestrova2.0 ");
  EXPECT_EQ(CurrentFormats().ShortDateFormat, "yyyy-mm-dd");
  EXPECT_TRUE(ScanStopRequested);
}

struct VersionCase {
  const char* name;
  const char* installed;
  const char* published;  // nullptr: the version file is not there (404)
  bool reachable;         // false: nothing listens at the site's address
  bool asks;
};

TEST_F(MainWindowTest, NewDayAsksOnlyForAHigherPublishedNumber) {
  const VersionCase cases[] = {
      {"higher", "2.0", "2.1", true, true},
      {"equal with the trailing blank", "2.0 ", "2.0", true, false},
      {"lower", "2.0 ", "1.9", true, false},
      {"file missing", "2.0 ", nullptr, true, false},
      {"site unreachable", "2.0 ", "3.0", false, false},
      {"published not a number", "2.0 ", "2.1beta", true, false},
      {"installed not a number", "abc", "2.1", true, false},
      {"nothing installed yet", "0", "2.0", true, true},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSystemFormats();
    ClearApplicationEndRequest();
    ScriptedMessageBoxes boxes({MbResult::No});
    if (c.published != nullptr) {
      RouteVersionFile(c.published);
    } else {
      server_.Unroute(kVersionPath);
    }
    platform::SetSiteBaseUrl(c.reachable ? server_.baseUrl().toStdString() : "http://127.0.0.1:1");
    WriteConfig(std::string("[main]\r\nver=") + c.installed + "\r\ndate=1999-01-01\r\n");
    CreateWindows();
    EXPECT_EQ(boxes.shown().size(), c.asks ? 1u : 0u);
    // Start-up ran to its end whatever the version texts were.
    EXPECT_TRUE(ScanStopRequested);
    EXPECT_TRUE(ScanEnabled);
    EXPECT_EQ(CurrentFormats().ShortDateFormat, "yyyy-mm-dd");
    EXPECT_EQ(main_->ListView2->topLevelItemCount(), 1);
    DestroyWindows();
  }
}

TEST_F(MainWindowTest, ChangedSystemDateFormatCountsAsANewDay) {
  ScriptedMessageBoxes boxes;
  RouteVersionFile("2.0");
  CurrentFormats().ShortDateFormat = "dd/mm/yyyy";
  const std::string todayOtherFormat = [] {
    FormatSettings saved = CurrentFormats();
    CurrentFormats().ShortDateFormat = "yyyy-mm-dd";
    std::string t = TodayText();
    CurrentFormats() = saved;
    return t;
  }();
  WriteConfig("[main]\r\nver=2.0 \r\ndate=" + todayOtherFormat + "\r\n");
  CreateWindows();
  EXPECT_EQ(server_.countFor(kVersionPath), 1);
}

TEST_F(MainWindowTest, BlankTitleFallsBackToTheProductTitle) {
  ScriptedMessageBoxes boxes;
  WriteConfig("[main]\r\ntitle=   \r\n");
  CreateWindows();
  EXPECT_EQ(AppTitle, "Kestrova");
  EXPECT_EQ(main_->windowTitle().toStdString(), "Kestrova2.0 ");
  EXPECT_EQ(QCoreApplication::applicationName().toStdString(), "Kestrova");
}

TEST_F(MainWindowTest, ConfiguredTitleIsTheCaption) {
  ScriptedMessageBoxes boxes;
  WriteConfig(platform::Utf8ToAnsi("[main]\r\ntitle=手机取证\r\n"));
  CreateWindows();
  EXPECT_EQ(main_->windowTitle().toStdString(), "手机取证2.0 ");
  // The title is read, never written.
  EXPECT_NE(ReadWholeFile(ConfigPath()).find("title="), std::string::npos);
  EXPECT_EQ(ReadIniString(ConfigPath().string(), "main", "title", ""), "手机取证");
}

TEST_F(MainWindowTest, FirstLogRowUsesTheSystemFormatsLaterRowsTheProgramFormats) {
  ScriptedMessageBoxes boxes;
  CurrentFormats().ShortDateFormat = "dd/mm/yyyy";
  CurrentFormats().LongTimeFormat = "hh.nn.ss";
  CreateWindows();

  ASSERT_EQ(main_->ListView2->topLevelItemCount(), 1);
  QTreeWidgetItem* first = main_->ListView2->topLevelItem(0);
  EXPECT_EQ(first->text(0).toStdString(), "System");
  EXPECT_TRUE(std::regex_match(first->text(1).toStdString(), std::regex(R"(\d\d/\d\d/\d{4})")))
      << first->text(1).toStdString();
  EXPECT_TRUE(std::regex_match(first->text(2).toStdString(), std::regex(R"(\d\d\.\d\d\.\d\d)")))
      << first->text(2).toStdString();
  EXPECT_EQ(first->text(3).toStdString(), "程序就绪...");
  // config.ini's day is in the system's format as well.
  EXPECT_TRUE(std::regex_match(ReadIniString(ConfigPath().string(), "main", "date", ""),
                               std::regex(R"(\d\d/\d\d/\d{4})")));

  AddSystemLog(*main_, "扫描... ");
  ASSERT_EQ(main_->ListView2->topLevelItemCount(), 2);
  QTreeWidgetItem* later = main_->ListView2->topLevelItem(1);
  EXPECT_TRUE(std::regex_match(later->text(1).toStdString(), std::regex(R"(\d{4}-\d\d-\d\d)")));
  EXPECT_TRUE(std::regex_match(later->text(2).toStdString(), std::regex(R"(\d\d:\d\d:\d\d)")));
  // The newest row is the selected one.
  EXPECT_EQ(main_->ListView2->currentItem(), later);
  EXPECT_TRUE(later->isSelected());
}

TEST_F(MainWindowTest, ToolBarImagesAreDrawnAtOneSizeWithTheirCaptionsOnOneLine) {
  ScriptedMessageBoxes boxes;
  CreateWindows();
  main_->show();
  QApplication::processEvents();
  const QToolButton* buttons[] = {main_->ToolButton3, main_->ToolButton5, main_->ToolButton4,
                                  main_->ToolButton8, main_->ToolButton9, main_->ToolButton2};
  const QToolButton* first = buttons[0];
  for (const QToolButton* b : buttons) {
    SCOPED_TRACE(b->objectName().toStdString());
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_EQ(b->iconSize(), QSize(48, 48));
    // Drawn at 48 pixels, enabled or not: no image is smaller than the
    // size asked for.
    for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
      EXPECT_EQ(b->icon().actualSize(QSize(48, 48), mode), QSize(48, 48));
      EXPECT_EQ(b->icon().pixmap(QSize(48, 48), mode).deviceIndependentSize(), QSizeF(48, 48));
    }
    // The caption whole on one line: no line break, the button as wide as
    // it asks to be and wider than the caption, and as high as the others.
    EXPECT_FALSE(b->text().contains('\n'));
    EXPECT_GE(b->width(), b->sizeHint().width());
    EXPECT_GT(b->width(), b->fontMetrics().horizontalAdvance(b->text()));
    EXPECT_EQ(b->height(), first->height());
    EXPECT_EQ(b->y(), first->y());
  }
  main_->hide();
}

TEST_F(MainWindowTest, ComponentsCarryTheirNamesCaptionsAndIdleStates) {
  ScriptedMessageBoxes boxes;
  CreateWindows();
  struct Button {
    const char* name;
    const char* caption;
    bool enabled;
  };
  const Button buttons[] = {
      {"ToolButton3", "     开始扫描     ", true}, {"ToolButton5", "停止扫描", false},
      {"ToolButton4", "恢复数据", false},          {"ToolButton8", "帮助", true},
      {"ToolButton9", "关于", true},               {"ToolButton2", "退出", true},
  };
  for (const Button& b : buttons) {
    SCOPED_TRACE(b.name);
    auto* button = main_->findChild<QToolButton*>(b.name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text().toStdString(), b.caption);
    EXPECT_EQ(button->isEnabled(), b.enabled);
  }
  for (const char* name : {"TreeView1", "ListView2"}) {
    EXPECT_NE(main_->findChild<QTreeWidget*>(name), nullptr) << name;
  }
  EXPECT_NE(main_->findChild<ResultListView*>("ListView1"), nullptr);
  EXPECT_NE(main_->findChild<QToolBar*>("ToolBar1"), nullptr);
  EXPECT_NE(main_->findChild<QStatusBar*>("StatusBar1"), nullptr);
  auto* progress = main_->findChild<QProgressBar*>("ProgressBar1");
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->parentWidget()->parentWidget(), main_->statusBar());
  for (const char* name : {"Panel2", "Splitter1", "SpeedButton1", "ListView3"}) {
    EXPECT_NE(main_->findChild<QWidget*>(name), nullptr) << name;
  }
  EXPECT_EQ(main_->StatusText(0), "就绪");
  EXPECT_EQ(main_->ListView1->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(main_->ListView1->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_TRUE(main_->ListView1->showGrid());
  const char* logHeads[] = {"类型", "日期", "时间", "信息"};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(main_->ListView2->headerItem()->text(c).toStdString(), logHeads[c]) << c;
  }
  EXPECT_EQ(main_->ListView2->columnWidth(0), 100);
  EXPECT_EQ(main_->ListView2->columnWidth(1), 80);
  EXPECT_EQ(main_->ListView2->columnWidth(2), 80);
  EXPECT_EQ(main_->SpeedButton1->text().toStdString(), "×");
  EXPECT_EQ(main_->SpeedButton1->toolTip().toStdString(), "Close Log");
  for (const char* name : {"IdHTTP2", "IdAntiFreeze1"}) {
    EXPECT_NE(main_->findChild<QObject*>(name), nullptr) << name;
  }

  const struct {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
    bool enabled;
    bool visible;
  } items[] = {
      {"N21", "新建工程", QKeySequence(Qt::ALT | Qt::Key_S), true, true},
      {"N2", "停止扫描", QKeySequence(Qt::ALT | Qt::Key_T), false, true},
      {"N16", "恢复数据", QKeySequence(Qt::ALT | Qt::Key_R), false, true},
      {"N4", "退出", QKeySequence(Qt::ALT | Qt::Key_E), true, true},
      {"N25", "关于", QKeySequence(Qt::Key_F3), true, true},
      {"N23", "帮助", QKeySequence(Qt::Key_F1), true, true},
      {"ShowLog1", "显示日志", QKeySequence(), true, true},
      {"ShowToolbar1", "显示工具条", QKeySequence(), true, true},
      {"IOStxl1", nullptr, QKeySequence(), true, true},
      {"IOSdx1", nullptr, QKeySequence(), true, true},
      {"IOSthjl1", nullptr, QKeySequence(), true, true},
      {"IOSwx1", nullptr, QKeySequence(), true, true},
      {"Scan1", "Scan", QKeySequence(), true, false},
      {"Scan11", "Scan1", QKeySequence(), true, false},
      {"scan21", "scan2", QKeySequence(), true, false},
      {"Scan31", "Scan3", QKeySequence(), true, false},
      {"Debug1", "Debug", QKeySequence(), true, false},
      {"Debugbyte1", "Debug_byte", QKeySequence(), true, false},
  };
  for (const auto& item : items) {
    SCOPED_TRACE(item.name);
    auto* action = main_->findChild<QAction*>(item.name);
    ASSERT_NE(action, nullptr);
    if (item.caption != nullptr) {
      EXPECT_EQ(action->text().toStdString(), item.caption);
    }
    EXPECT_EQ(action->shortcut(), item.shortcut);
    EXPECT_EQ(action->isVisible(), item.visible);
    // An invisible item is out of reach whatever its state.
    if (item.visible) {
      EXPECT_EQ(action->isEnabled(), item.enabled);
    }
  }
  EXPECT_TRUE(main_->ShowLog1->isChecked());
  EXPECT_TRUE(main_->ShowToolbar1->isChecked());
  EXPECT_FALSE(main_->menuBar()->isVisible());
}

TEST_F(MainWindowTest, FirstActivationWithAnEmptyListOpensTheScanSetup) {
  ScriptedMessageBoxes boxes;
  CreateWindows();
  ASSERT_TRUE(FirstActivation);
  main_->show();
  main_->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return form2_->isVisible(); }));
  EXPECT_FALSE(main_->isEnabled());
  EXPECT_FALSE(FirstActivation);

  // Closing the dialog gives the window back; activating it again opens nothing.
  form2_->close();
  ASSERT_TRUE(WaitFor([&] { return main_->isEnabled(); }));
  main_->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == main_.get(); }));
  QCoreApplication::processEvents();
  EXPECT_FALSE(form2_->isVisible());
}

TEST_F(MainWindowTest, FirstActivationWithRowsOpensNothing) {
  ScriptedMessageBoxes boxes;
  CreateWindows();
  main_->ResultListAddRow({"a", "b"});
  main_->show();
  main_->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == main_.get(); }));
  QCoreApplication::processEvents();
  EXPECT_FALSE(form2_->isVisible());
  EXPECT_FALSE(FirstActivation);
}

TEST_F(MainWindowTest, ShortcutsActWithoutAMenuBarAndNotWhileDisabled) {
  ScriptedMessageBoxes boxes;
  CreateWindows();
  ShowMain();
  ASSERT_FALSE(main_->menuBar()->isVisible());

  // Alt+T and Alt+R: their items are disabled, nothing happens. F1: no action.
  PressKey(main_.get(), Qt::Key_T, Qt::AltModifier);
  PressKey(main_.get(), Qt::Key_R, Qt::AltModifier);
  PressKey(main_.get(), Qt::Key_F1);
  QCoreApplication::processEvents();
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_FALSE(form2_->isVisible());
  EXPECT_TRUE(main_->isEnabled());

  // Alt+T once Stop is enabled: the stop question.
  main_->SetCommandEnabled(ScanCommand::Stop, true);
  PressKey(main_.get(), Qt::Key_T, Qt::AltModifier);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "您确定要停止扫描?");
  main_->SetCommandEnabled(ScanCommand::Stop, false);
  boxes.clear();

  // F3: the about box, modal.
  bool aboutShown = false;
  QTimer::singleShot(0, [&] {
    aboutShown = form6_->isVisible();
    form6_->close();
  });
  PressKey(main_.get(), Qt::Key_F3);
  EXPECT_TRUE(aboutShown);
  main_->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == main_.get(); }));

  // Alt+E: the exit question; No keeps the window.
  PressKey(main_.get(), Qt::Key_E, Qt::AltModifier);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "您确定要退出程序吗? ");
  EXPECT_TRUE(main_->isVisible());

  // Alt+S: the scan-setup dialog over the disabled window.
  PressKey(main_.get(), Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(form2_->isVisible());
  EXPECT_FALSE(main_->isEnabled());
  EXPECT_EQ(form2_->ProgressBar1->value(), 0);
}

TEST_F(MainWindowTest, LogPaneAndToolBarToggles) {
  ScriptedMessageBoxes boxes;
  CreateWindows();
  ShowMain();
  main_->SpeedButton1->click();
  EXPECT_FALSE(main_->Panel2->isVisible());
  EXPECT_FALSE(main_->Splitter1->isVisible());
  EXPECT_FALSE(main_->ShowLog1->isChecked());
  main_->ShowLog1->trigger();
  EXPECT_TRUE(main_->Panel2->isVisible());
  EXPECT_TRUE(main_->Splitter1->isVisible());
  EXPECT_TRUE(main_->ShowLog1->isChecked());
  main_->ShowLog1->trigger();
  EXPECT_FALSE(main_->Panel2->isVisible());
  EXPECT_FALSE(main_->ShowLog1->isChecked());

  main_->ShowToolbar1->trigger();
  EXPECT_FALSE(main_->ToolBar1->isVisible());
  EXPECT_FALSE(main_->ShowToolbar1->isChecked());
  main_->ShowToolbar1->trigger();
  EXPECT_TRUE(main_->ToolBar1->isVisible());
  EXPECT_TRUE(main_->ShowToolbar1->isChecked());
}

TEST_F(MainWindowTest, ProgressBarFillsStatusPanelOne) {
  ScriptedMessageBoxes boxes;
  CreateWindows();
  ShowMain();
  QCoreApplication::processEvents();
  EXPECT_EQ(main_->ProgressBar1->geometry(), main_->StatusPanel1->rect());
  EXPECT_EQ(main_->StatusPanel1->width(), 400);
  main_->SetProgressRange(0, 9);
  main_->SetProgressPosition(4);
  EXPECT_EQ(main_->ProgressBar1->value(), 4);
  EXPECT_EQ(main_->ProgressBar1->maximum(), 9);
  main_->SetProgressRange(0, 0);  // a one-page file: no busy animation
  EXPECT_GT(main_->ProgressBar1->maximum(), main_->ProgressBar1->minimum());
}

// Fills tall enough for the paint engine to cut them into pool tasks: a
// gradient and a translucent line, each hundreds of rows high.
QImage PaintTallFills() {
  QImage image(40, 600, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, 30, 0);
  gradient.setColorAt(0, QColor(10, 20, 30, 120));
  gradient.setColorAt(1, QColor(200, 100, 50, 200));
  painter.fillRect(QRect(2, 3, 30, 590), gradient);
  painter.setPen(QColor(0, 0, 0, 60));
  painter.drawLine(35, 0, 35, 599);
  return image;
}

TEST(PaintThreads, LargeFillsOnOnePoolThreadPaintTheSamePixels) {
  QThreadPool* pool = QThreadPool::globalInstance();
  const int threads = pool->maxThreadCount();
  const QImage expected = PaintTallFills();
  PaintLargeFillsOnOneThread();
  EXPECT_EQ(pool->maxThreadCount(), 1);
  EXPECT_EQ(PaintTallFills(), expected);
  pool->setMaxThreadCount(threads);
}

TEST(UpdateCheck, VersionTextsReadAsDecimalNumbers) {
  EXPECT_EQ(ParseVersionNumber("2.0 "), 2.0);
  EXPECT_EQ(ParseVersionNumber(" 2.1"), 2.1);
  EXPECT_EQ(ParseVersionNumber("0"), 0.0);
  EXPECT_EQ(ParseVersionNumber("+3"), 3.0);
  for (const char* bad : {"", "   ", "abc", "2.1beta", "2,1", "inf", "nan", "0x10", "+"}) {
    EXPECT_FALSE(ParseVersionNumber(bad).has_value()) << bad;
  }
  EXPECT_TRUE(IsNewerPublished("2.0 ", "2.1"));
  EXPECT_FALSE(IsNewerPublished("2.0 ", "2.0"));
  EXPECT_FALSE(IsNewerPublished("x", "2.1"));
}

}  // namespace
}  // namespace velmora::testing_main
