// The update program's window and flow, headless, against a loopback server.
#include "updater/F_Update.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "support/LocalHttpServer.h"

using F_Update::TForm1;
using platform::MbIcon;
using platform::ScriptedMessageBoxes;
using testsupport::HttpRoute;
using testsupport::LocalHttpServer;

namespace {

namespace fs = std::filesystem;

constexpr const char* kVersionPath = "/shouji/software/update/version.txt";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

QByteArray Pattern(int size) {
  QByteArray b(size, '\0');
  for (int i = 0; i < size; ++i) b[i] = static_cast<char>(i * 7 + 3);
  return b;
}

class UpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    dir_ = tmp_.path().toStdString() + "/";
    F_Update::SetProgramDir(dir_);
    platform::SetSiteBaseUrl(server_.baseUrl().toStdString());
    oldStarter_ = platform::SetProgramStarter([this](const std::string& path) {
      started_.push_back(path);
      return true;
    });
    oldEnd_ = F_Update::SetAppEndHook([this] { ++appEnds_; });
  }
  void TearDown() override {
    platform::SetProgramStarter(oldStarter_);
    F_Update::SetAppEndHook(oldEnd_);
    F_Update::SetProgramDir("");
  }

  void Installed(const std::string& ver) { WriteFile(dir_ + "config.ini", "[main]\r\nver=" + ver + "\r\n"); }

  std::string SetupUrl() const { return server_.baseUrl().toStdString() + "/download/setup.exe"; }

  std::string Publish(const std::string& lastver, bool withUrl = true) {
    std::string body = "[IOSver]\r\nlastver=" + lastver + "\r\n";
    if (withUrl) body += "UpdateURL=" + SetupUrl() + "\r\n";
    body += "[other]\r\nkey=value\r\n";
    server_.Route(kVersionPath, {200, QByteArray::fromStdString(body)});
    return body;
  }

  std::vector<std::string> Log(const TForm1& form) const {
    std::vector<std::string> lines;
    for (const QString& l : form.LogLines()) lines.push_back(l.toStdString());
    return lines;
  }

  std::string SetupPath() const { return dir_ + "update_temp/update"; }

  QTemporaryDir tmp_;
  std::string dir_;
  LocalHttpServer server_;
  ScriptedMessageBoxes boxes_;
  std::vector<std::string> started_;
  int appEnds_ = 0;
  platform::ProgramStarter oldStarter_;
  F_Update::AppEndHook oldEnd_;
};

TEST_F(UpdaterTest, WindowHasItsComponentsAndFirstLogLine) {
  TForm1 form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Kestrova更新"));
  for (const char* name : {"Label1", "Memo1", "ProgressBar1", "Label2", "Button2", "Button1"}) {
    EXPECT_NE(form.findChild<QWidget*>(name), nullptr) << name;
  }
  for (const char* name : {"IdHTTP1", "IdAntiFreeze1"}) EXPECT_NE(form.findChild<QObject*>(name), nullptr) << name;
  EXPECT_EQ(form.findChild<QLabel*>("Label1")->text(), QStringLiteral("更新日志："));
  EXPECT_EQ(form.findChild<QLabel*>("Label2")->text(), QString());
  EXPECT_EQ(form.findChild<QPushButton*>("Button2")->text(), QStringLiteral("更新"));
  EXPECT_EQ(form.findChild<QPushButton*>("Button1")->text(), QStringLiteral("关闭"));
  EXPECT_EQ(Log(form), std::vector<std::string>{"正在连接网络..."});
  // Fixed size, no minimise or maximise box.
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(UpdaterTest, SameVersionLogsThreeLinesAndDownloadsNothing) {
  Installed("2.0 ");
  const std::string config = ReadFile(dir_ + "config.ini");
  // An earlier, longer copy is replaced.
  WriteFile(dir_ + "updatever.ini", std::string(500, 'x'));
  const std::string published = Publish("2.0");

  TForm1 form;
  form.findChild<QPushButton*>("Button2")->click();

  EXPECT_EQ(Log(form), (std::vector<std::string>{"正在连接网络...", "正在检测版本...", "你使用的是最新程序，无需更新"}));
  EXPECT_EQ(ReadFile(dir_ + "updatever.ini"), published);
  EXPECT_EQ(ReadFile(dir_ + "config.ini"), config);
  EXPECT_EQ(server_.countFor("/download/setup.exe"), 0);
  EXPECT_FALSE(fs::exists(dir_ + "update_temp"));
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(appEnds_, 0);
  EXPECT_TRUE(form.Button2->isEnabled());
}

TEST_F(UpdaterTest, NewerVersionIsDownloadedWithProgressThenStarted) {
  Installed("2.0 ");
  const std::string config = ReadFile(dir_ + "config.ini");
  Publish("2.1");
  const QByteArray setup = Pattern(300 * 1024);
  HttpRoute route{200, setup};
  route.pieceBytes = 32 * 1024;
  route.pieceDelayMs = 5;
  server_.Route("/download/setup.exe", route);

  TForm1 form;
  std::vector<std::int64_t> begins;
  std::vector<QString> labels;
  std::vector<int> bar;
  form.IdHTTP1->OnWorkBegin = [&](std::int64_t total) {
    form.IdHTTP1WorkBegin(total);
    begins.push_back(total);
  };
  form.IdHTTP1->OnWork = [&](std::int64_t received) {
    form.IdHTTP1Work(received);
    labels.push_back(form.Label2->text());
    bar.push_back(form.ProgressBar1->value());
  };
  boxes_.onShow = [&](const platform::MessageBoxRequest&) {
    EXPECT_TRUE(started_.empty()) << "started before the notice was dismissed";
    EXPECT_EQ(ReadFile(SetupPath()), setup.toStdString());
  };

  form.Button2->click();

  EXPECT_EQ(Log(form), (std::vector<std::string>{"正在连接网络...", "正在检测版本...", "你当前使用的版本是：2.0",
                                                 "本程序最新的版本是：2.1", "正在下载更新文件..."}));
  // The bar shows the version file first, then the setup program.
  ASSERT_EQ(begins.size(), 2u);
  EXPECT_EQ(begins[1], setup.size());
  EXPECT_EQ(form.ProgressBar1->maximum(), setup.size());
  ASSERT_GE(labels.size(), 3u);
  EXPECT_EQ(labels.back(), QStringLiteral("已下载:300K字节,总共:300K字节"));
  EXPECT_TRUE(std::is_sorted(bar.begin() + 1, bar.end()));
  EXPECT_LT(bar[1], setup.size()) << "the bar did not move in steps";
  EXPECT_EQ(bar.back(), setup.size());

  ASSERT_EQ(boxes_.shown().size(), 1u);
  EXPECT_EQ(boxes_.shown()[0].text, "最新版本程序已下载完成，请关闭主程序后进行更新！");
  EXPECT_EQ(boxes_.shown()[0].caption, "提示");
  EXPECT_EQ(boxes_.shown()[0].icon, MbIcon::Information);
  EXPECT_EQ(started_, std::vector<std::string>{SetupPath()});
  EXPECT_EQ(ReadFile(SetupPath()), setup.toStdString());
  EXPECT_EQ(fs::status(SetupPath()).permissions() & fs::perms::all, fs::perms(0755));
  EXPECT_EQ(appEnds_, 1);
  EXPECT_EQ(ReadFile(dir_ + "config.ini"), config);
}

TEST_F(UpdaterTest, NoConfigIniCountsAsVersionZero) {
  Publish("0.5");
  server_.Route("/download/setup.exe", {200, "new setup"});
  // update_temp exists already with an older download: it is replaced.
  fs::create_directories(dir_ + "update_temp");
  WriteFile(SetupPath(), std::string(4000, 'o'));

  TForm1 form;
  form.Button2->click();

  EXPECT_EQ(Log(form)[2], "你当前使用的版本是：0");
  EXPECT_EQ(ReadFile(SetupPath()), "new setup");
  EXPECT_EQ(started_.size(), 1u);
  EXPECT_FALSE(fs::exists(dir_ + "config.ini"));
}

struct ProgressCase {
  std::int64_t total;
  std::int64_t received;
  const char* label;
  int barMax;
  int barValue;
};

class UpdaterProgress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(UpdaterProgress, Label2ShowsWholeKilobytes) {
  const ProgressCase& c = GetParam();
  TForm1 form;
  form.IdHTTP1WorkBegin(c.total);
  form.IdHTTP1Work(c.received);
  EXPECT_EQ(form.Label2->text(), QString::fromUtf8(c.label));
  EXPECT_EQ(form.ProgressBar1->maximum(), c.barMax);
  EXPECT_EQ(form.ProgressBar1->value(), c.barValue);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdaterProgress,
    ::testing::Values(ProgressCase{3000000, 1048576, "已下载:1024K字节,总共:2929K字节", 3000000, 1048576},
                      ProgressCase{3000000, 3000000, "已下载:2929K字节,总共:2929K字节", 3000000, 3000000},
                      ProgressCase{1023, 1023, "已下载:0K字节,总共:0K字节", 1023, 1023},
                      // No expected size: a busy bar and the kilobytes received.
                      ProgressCase{-1, 5000, "已下载:4K字节", 0, 0}));

TEST_F(UpdaterTest, NoServerLogsAndRetryWorks) {
  Installed("2.0");
  quint16 closedPort = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress(QHostAddress::LocalHost), 0));
    closedPort = probe.serverPort();
  }
  platform::SetSiteBaseUrl("http://127.0.0.1:" + std::to_string(closedPort));

  TForm1 form;
  form.Button2->click();
  EXPECT_EQ(Log(form), (std::vector<std::string>{"正在连接网络...", "网络连接失败，无法更新..."}));
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_EQ(appEnds_, 0);
  EXPECT_TRUE(form.Button2->isEnabled());
  EXPECT_FALSE(fs::exists(dir_ + "updatever.ini"));

  // The network is back: "更新" tries again.
  platform::SetSiteBaseUrl(server_.baseUrl().toStdString());
  Publish("2.0");
  form.Button2->click();
  EXPECT_EQ(Log(form).back(), "你使用的是最新程序，无需更新");
}

TEST_F(UpdaterTest, ErrorStatusOfTheVersionFileIsANetworkFailure) {
  server_.Route(kVersionPath, {503, "busy"});
  TForm1 form;
  form.Button2->click();
  EXPECT_EQ(Log(form).back(), "网络连接失败，无法更新...");
}

TEST_F(UpdaterTest, VersionFileThatCannotBeSavedIsANetworkFailure) {
  Publish("2.1");
  fs::create_directories(dir_ + "updatever.ini");  // a folder in the file's place
  TForm1 form;
  form.Button2->click();
  EXPECT_EQ(Log(form).back(), "网络连接失败，无法更新...");
  EXPECT_EQ(server_.countFor("/download/setup.exe"), 0);
}

struct FailureCase {
  const char* name;
  bool download404;
  bool folderIsFile;
};

class UpdaterFailure : public UpdaterTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UpdaterFailure, ErrorBoxAndTheWindowStays) {
  Installed("2.0");
  Publish("2.1");
  if (GetParam().download404) {
    server_.Route("/download/setup.exe", {404, "Not Found"});
  } else {
    server_.Route("/download/setup.exe", {200, "setup"});
  }
  if (GetParam().folderIsFile) WriteFile(dir_ + "update_temp", "not a folder");

  TForm1 form;
  form.Button2->click();

  ASSERT_EQ(boxes_.shown().size(), 1u);
  EXPECT_EQ(boxes_.shown()[0].text, "更新失败，请点“更新”按钮重试！");
  EXPECT_EQ(boxes_.shown()[0].caption, "提示");
  EXPECT_EQ(boxes_.shown()[0].icon, MbIcon::Error);
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(appEnds_, 0);
  EXPECT_TRUE(form.Button2->isEnabled());
  EXPECT_FALSE(fs::exists(SetupPath()));

  // Fixed on the server: the retry succeeds.
  server_.Route("/download/setup.exe", {200, "setup"});
  if (GetParam().folderIsFile) fs::remove(dir_ + "update_temp");
  form.Button2->click();
  EXPECT_EQ(started_, std::vector<std::string>{SetupPath()});
  EXPECT_EQ(appEnds_, 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdaterFailure,
                         ::testing::Values(FailureCase{"Download404", true, false},
                                           FailureCase{"FolderIsAFile", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdaterTest, VersionFileWithoutUpdateUrlDownloadsTheSiteRoot) {
  Installed("2.0");
  Publish("2.1", /*withUrl=*/false);
  server_.Route("/", {200, "<html>home</html>", false, false, 0, 0, 0, "text/html"});

  TForm1 form;
  form.Button2->click();

  EXPECT_EQ(server_.countFor("/"), 1);
  EXPECT_EQ(ReadFile(SetupPath()), "<html>home</html>");
  EXPECT_EQ(started_, std::vector<std::string>{SetupPath()});
  EXPECT_EQ(appEnds_, 1);
}

TEST_F(UpdaterTest, VersionFileWithoutLastverCountsAsCurrent) {
  Installed("2.0");
  server_.Route(kVersionPath, {200, "[IOSver]\r\nUpdateURL=http://127.0.0.1:1/x\r\n"});
  TForm1 form;
  form.Button2->click();
  EXPECT_EQ(Log(form).back(), "你使用的是最新程序，无需更新");
}

struct BadVersionCase {
  const char* installed;
  const char* published;
};

class UpdaterBadVersion : public UpdaterTest, public ::testing::WithParamInterface<BadVersionCase> {};

TEST_P(UpdaterBadVersion, EndsWithALogLineAndTheWindowStaysUsable) {
  Installed(GetParam().installed);
  Publish(GetParam().published);
  TForm1 form;
  form.Button2->click();
  EXPECT_EQ(Log(form), (std::vector<std::string>{"正在连接网络...", "正在检测版本...", "版本信息无效，无法更新..."}));
  EXPECT_EQ(server_.countFor("/download/setup.exe"), 0);
  EXPECT_TRUE(boxes_.shown().empty());
  EXPECT_TRUE(form.Button2->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdaterBadVersion,
                         ::testing::Values(BadVersionCase{"2.0", "v2.1"}, BadVersionCase{"2.0", "2.1beta"},
                                           BadVersionCase{"2,0", "2.1"}, BadVersionCase{"", "2.1"}));

TEST(UpdaterVersionNumber, ReadsDecimalTexts) {
  EXPECT_EQ(F_Update::VersionNumber("2.0 "), 2.0);
  EXPECT_EQ(F_Update::VersionNumber(" 2.1"), 2.1);
  EXPECT_EQ(F_Update::VersionNumber("0"), 0.0);
  EXPECT_EQ(F_Update::VersionNumber(".5"), 0.5);
  EXPECT_EQ(F_Update::VersionNumber("3."), 3.0);
  EXPECT_EQ(F_Update::VersionNumber("-1.5"), -1.5);
  EXPECT_EQ(F_Update::VersionNumber("1e1"), 10.0);
  for (const char* bad : {"", " ", ".", "abc", "2.1.1", "2,1", "inf", "nan", "1e", "+"}) {
    EXPECT_FALSE(F_Update::VersionNumber(bad).has_value()) << bad;
  }
}

TEST_F(UpdaterTest, NoSecondFlowWhileOneRuns) {
  Installed("2.0");
  Publish("2.1");
  HttpRoute slow{200, "setup"};
  slow.delayMs = 200;
  server_.Route("/download/setup.exe", slow);

  TForm1 form;
  bool checked = false;
  form.IdHTTP1->OnWorkBegin = [&](std::int64_t total) {
    form.IdHTTP1WorkBegin(total);
    if (server_.countFor("/download/setup.exe") == 0 || checked) return;
    checked = true;
    // Inside the download: "更新" is disabled and neither a click nor a new
    // activation starts another flow.
    EXPECT_TRUE(form.FlowRunning());
    EXPECT_FALSE(form.Button2->isEnabled());
    form.Button2->click();
    form.Button2Click();
    form.FormActivate();
  };
  form.Button2->click();

  EXPECT_TRUE(checked);
  EXPECT_EQ(server_.countFor(kVersionPath), 1);
  EXPECT_EQ(server_.countFor("/download/setup.exe"), 1);
  EXPECT_EQ(started_.size(), 1u);
  EXPECT_FALSE(form.FlowRunning());
}

TEST_F(UpdaterTest, CloseButtonAsksTheApplicationToEnd) {
  TForm1 form;
  form.findChild<QPushButton*>("Button1")->click();
  EXPECT_EQ(appEnds_, 1);
}

TEST_F(UpdaterTest, FirstActivationStartsTheFlowAfterAPause) {
  Installed("2.0");
  Publish("2.0");
  TForm1 form;
  QElapsedTimer clock;
  clock.start();
  form.show();
  form.activateWindow();
  while (form.LogLines().size() < 3 && clock.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_GE(clock.elapsed(), 1000);
  EXPECT_EQ(Log(form).back(), "你使用的是最新程序，无需更新");
  EXPECT_EQ(server_.countFor(kVersionPath), 1);

  form.close();
}

}  // namespace
