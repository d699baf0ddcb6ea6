// Stop, closing and the usage count; the about box, the help links and the
// progress window; this computer's identifier.
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>

#include "MainWindowFixture.h"
#include "platform/CodePage.h"

namespace velmora::testing_main {
namespace {

using platform::MbIcon;
using platform::MbResult;
using platform::ScriptedMessageBoxes;

class StopExitTest : public MainWindowTest {
 protected:
  // What a scanner's set-up leaves: scanning, Start and Recover off, Stop on.
  void EnterScanningState() {
    ScanStopRequested = false;
    main_->SetCommandEnabled(ScanCommand::Start, false);
    main_->SetCommandEnabled(ScanCommand::Stop, true);
    main_->SetCommandEnabled(ScanCommand::Recover, false);
  }
  void ExpectCommands(bool start, bool stop, bool recover) {
    EXPECT_EQ(main_->ToolButton3->isEnabled(), start);
    EXPECT_EQ(main_->N21->isEnabled(), start);
    EXPECT_EQ(main_->ToolButton5->isEnabled(), stop);
    EXPECT_EQ(main_->N2->isEnabled(), stop);
    EXPECT_EQ(main_->ToolButton4->isEnabled(), recover);
    EXPECT_EQ(main_->N16->isEnabled(), recover);
  }
};

TEST_F(StopExitTest, StopAnsweredNoChangesNothing) {
  ScriptedMessageBoxes boxes({MbResult::No});
  CreateWindows();
  EnterScanningState();
  main_->ToolButton5->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "您确定要停止扫描?");
  EXPECT_EQ(boxes.shown()[0].caption, "Information");
  EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Question);
  EXPECT_EQ(boxes.shown()[0].buttons, platform::MbButtons::YesNo);
  EXPECT_FALSE(ScanStopRequested);
  ExpectCommands(false, true, false);
}

TEST_F(StopExitTest, StopAnsweredYesSetsTheFlagsAndTheIdleCommands) {
  for (bool withRows : {false, true}) {
    SCOPED_TRACE(withRows ? "with rows" : "empty list");
    ScriptedMessageBoxes boxes({MbResult::Yes});
    CreateWindows();
    if (withRows) main_->ResultListAddRow({"10086", "x"});
    EnterScanningState();
    ScanEnabled = false;
    main_->N2->trigger();  // the menu twin clicks the button
    EXPECT_TRUE(ScanStopRequested);
    EXPECT_TRUE(ScanEnabled);
    ExpectCommands(true, false, withRows);
    DestroyWindows();
  }
}

TEST_F(StopExitTest, CloseDuringAScanIsRefused) {
  ScriptedMessageBoxes boxes;
  CreateWindows();
  ShowMain();
  EnterScanningState();
  EXPECT_FALSE(main_->close());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "程序正在扫描中，请先停止扫描！");
  EXPECT_EQ(boxes.shown()[0].caption, "提示");
  EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Information);
  EXPECT_TRUE(main_->isVisible());
  EXPECT_FALSE(ScanStopRequested);  // the scan goes on
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(StopExitTest, CloseAnsweredNoKeepsTheWindowAndAsksAgain) {
  ScriptedMessageBoxes boxes({MbResult::No, MbResult::No});
  CreateWindows();
  ShowMain();
  main_->ToolButton2->click();
  EXPECT_TRUE(main_->isVisible());
  EXPECT_TRUE(main_->isEnabled());
  main_->close();
  ASSERT_EQ(boxes.shown().size(), 2u);
  for (const auto& box : boxes.shown()) {
    EXPECT_EQ(box.text, "您确定要退出程序吗? ");
    EXPECT_EQ(box.caption, "提示");
    EXPECT_EQ(box.icon, MbIcon::Question);
    EXPECT_EQ(box.buttons, platform::MbButtons::YesNo);
  }
  EXPECT_TRUE(main_->isVisible());
  EXPECT_FALSE(form9_->isVisible());
  EXPECT_FALSE(ApplicationEndRequested());
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(StopExitTest, ConfirmedCloseSendsTheUsageCountAndEnds) {
  ScriptedMessageBoxes boxes({MbResult::Yes});
  server_.Route(kCountPath, {200, "ok"});
  WriteConfig(platform::Utf8ToAnsi("[main]\r\ntitle=别的标题\r\n"));
  CreateWindows();
  ShowMain();
  EXPECT_TRUE(main_->close());
  EXPECT_TRUE(ApplicationEndRequested());
  EXPECT_TRUE(form9_->isVisible());
  EXPECT_FALSE(main_->isEnabled());
  ASSERT_EQ(server_.requests().size(), 1u);
  const testsupport::RecordedRequest& request = server_.requests()[0];
  // The product title, not the configured one; the version with its blank.
  EXPECT_EQ(request.target().toStdString(),
            std::string(kCountPath) + "?id=" + MachineId + "&software_name=Kestrova&version=2.0%20");
  EXPECT_EQ(request.header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_EQ(boxes.shown().size(), 1u);  // nothing but the question
  auto* label = form9_->findChild<QLabel*>("Label1");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text().toStdString(), "软件关闭中，请稍等......");
}

TEST_F(StopExitTest, CloseWithoutNetworkOrWithAnErrorStatusEndsSilently) {
  for (bool reachable : {false, true}) {
    SCOPED_TRACE(reachable ? "error status" : "refused");
    ClearApplicationEndRequest();
    ScriptedMessageBoxes boxes({MbResult::Yes});
    server_.Route(kCountPath, {500, "down"});
    platform::SetSiteBaseUrl(reachable ? server_.baseUrl().toStdString() : "http://127.0.0.1:1");
    CreateWindows();
    ShowMain();
    EXPECT_TRUE(main_->close());
    EXPECT_TRUE(ApplicationEndRequested());
    EXPECT_EQ(boxes.shown().size(), 1u);
    DestroyWindows();
  }
}

TEST_F(StopExitTest, ExitWaitsBoundedForAServerThatNeverAnswers) {
  ScriptedMessageBoxes boxes({MbResult::Yes});
  testsupport::HttpRoute slow;
  slow.delayMs = 60000;
  server_.Route(kCountPath, slow);
  CreateWindows();
  ShowMain();
  QElapsedTimer timer;
  timer.start();
  EXPECT_TRUE(main_->close());
  EXPECT_LT(timer.elapsed(), 30000);
  EXPECT_TRUE(ApplicationEndRequested());
}

TEST_F(StopExitTest, AboutBoxTitleLinksAndHover) {
  ScriptedMessageBoxes boxes;
  WriteConfig("[main]\r\ntitle=Kestrova\r\n");
  CreateWindows();
  EXPECT_EQ(form6_->windowTitle().toStdString(), "About");
  EXPECT_EQ(form6_->Label1->text().toStdString(), "Kestrova2.0 ");
  EXPECT_EQ(form6_->size(), QSize(480, 230));

  form6_->Label7Click();
  form6_->Image1Click();
  form6_->Label5Click();
  const std::string site = server_.baseUrl().toStdString();
  EXPECT_EQ(opened_, (std::vector<std::string>{site + "/shouji/software/help/",
                                               site + "/shouji/software/contact/qq/", site + "/"}));
  opened_.clear();
  main_->ToolButton8->click();
  EXPECT_EQ(opened_, (std::vector<std::string>{site + "/shouji/software/help/"}));

  // Pointer over "访问官网" and away: black and plain afterwards.
  form6_->show();
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), form6_->Label5->mapToGlobal(QPointF(5, 5)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(form6_->Label5, &move);
  EXPECT_TRUE(form6_->Label5->font().underline());
  EXPECT_NE(form6_->Label5->palette().color(QPalette::WindowText), QColor(Qt::black));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(form6_->Label5, &leave);
  EXPECT_FALSE(form6_->Label5->font().underline());
  EXPECT_EQ(form6_->Label5->palette().color(QPalette::WindowText), QColor(Qt::black));
  // "使用帮助" has no hover handling.
  EXPECT_TRUE(form6_->Label7->font().underline());
  EXPECT_EQ(form6_->Label7->palette().color(QPalette::WindowText), QColor(Qt::blue));
  form6_->Button1->click();
  EXPECT_FALSE(form6_->isVisible());
}

TEST_F(StopExitTest, ProgressWindowAsksBeforeClosingDuringAScan) {
  ScriptedMessageBoxes boxes({MbResult::No, MbResult::Yes});
  CreateWindows();
  EXPECT_EQ(form7_->windowTitle().toStdString(), "Recovering...");
  EXPECT_EQ(form7_->size(), QSize(592, 151));
  const struct {
    QLabel* label;
    const char* text;
  } labels[] = {{form7_->Label2, "Current progress"},
                {form7_->Label3, "Total progress："},
                {form7_->Label1, "Label1"}};
  for (const auto& l : labels) {
    EXPECT_EQ(l.label->text().toStdString(), l.text);
  }
  EXPECT_EQ(form7_->Button1->text().toStdString(), "Cancel");
  main_->setEnabled(false);
  form7_->show();
  ScanStopRequested = false;

  form7_->Button1->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "Are you sure you want stop the recovery process?");
  EXPECT_EQ(boxes.shown()[0].caption, "Information");
  EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Question);
  EXPECT_EQ(boxes.shown()[0].buttons, platform::MbButtons::YesNo);
  EXPECT_TRUE(form7_->isVisible());
  EXPECT_FALSE(ScanStopRequested);

  form7_->close();
  EXPECT_FALSE(form7_->isVisible());
  EXPECT_TRUE(ScanStopRequested);
  EXPECT_TRUE(main_->isEnabled());

  // Idle: no question.
  form7_->show();
  form7_->close();
  EXPECT_EQ(boxes.shown().size(), 2u);
  EXPECT_FALSE(form7_->isVisible());
}

TEST(MachineIdTest, StableHexThatRevealsNothing) {
  char tmpl[] = "/tmp/velmora-id-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  WriteWholeFile(dir / "a", "0123456789abcdef0123456789abcdef\n");
  WriteWholeFile(dir / "b", "fedcba9876543210fedcba9876543210\n");
  const std::string a = ComputeMachineId((dir / "a").string());
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(a, ComputeMachineId((dir / "a").string()));
  EXPECT_NE(a, ComputeMachineId((dir / "b").string()));
  EXPECT_EQ(a.find("0123456789abcdef"), std::string::npos);
  // The real one: stable, and neither the login nor the host name.
  const std::string real = ComputeMachineId();
  EXPECT_EQ(real, ComputeMachineId());
  for (const char* var : {"USER", "LOGNAME", "HOSTNAME"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && *v != '\0') {
      EXPECT_EQ(real.find(v), std::string::npos) << var;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace velmora::testing_main
