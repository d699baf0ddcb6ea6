// The main window under test: a temporary program folder, message boxes
// answered by script, programs and web pages recorded instead of started, and
// the maker's site on a loopback server that the test owns.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/AppGlobals.h"
#include "app/F_About.h"
#include "app/F_ExitWait.h"
#include "app/ResultModel.h"
#include "app/T_Main.h"
#include "app/T_Option.h"
#include "app/Unit7.h"
#include "engine/CarvingEngine.h"
#include "engine/MyFuns_.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "support/LocalHttpServer.h"

namespace velmora::testing_main {

namespace fs = std::filesystem;

inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

inline std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A key press and release as the keyboard would send them to `widget`.
inline void PressKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers);
  QApplication::sendEvent(widget, &release);
}

inline constexpr const char* kVersionPath = "/shouji/software/update/version.txt";
inline constexpr const char* kCountPath = "/shouji/software/count/count.asp";

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velmora-main-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    SetExecutableDirOverride(dir_.string());
    ResetScanContext();
    ResetSystemFormats();
    ClearApplicationEndRequest();
    previousSite_ = platform::SiteBaseUrl();
    ASSERT_TRUE(server_.listening());
    platform::SetSiteBaseUrl(server_.baseUrl().toStdString());
    previousStarter_ = platform::SetProgramStarter([this](const std::string& path) {
      started_.push_back(path);
      return true;
    });
    previousOpener_ = platform::SetUrlOpener([this](const std::string& url) {
      opened_.push_back(url);
      return true;
    });
  }

  void TearDown() override {
    DestroyWindows();
    platform::SetProgramStarter(previousStarter_);
    platform::SetUrlOpener(previousOpener_);
    platform::SetSiteBaseUrl(previousSite_);
    SetExecutableDirOverride("");
    ResetScanContext();
    ResetSystemFormats();
    ClearApplicationEndRequest();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path ConfigPath() const { return dir_ / "config.ini"; }
  std::string AppFolder() const { return dir_.string() + "/"; }

  void WriteConfig(const std::string& body) { WriteWholeFile(ConfigPath(), body); }

  // The windows in the program's order: the main window (its creation runs
  // the start-up steps), then the dialog, the about box, the progress and
  // the exit-wait windows.
  void CreateWindows() {
    main_ = std::make_unique<TMain>();
    form2_ = std::make_unique<TForm2>();
    Form2 = form2_.get();
    form6_ = std::make_unique<TForm6>();
    Form6 = form6_.get();
    form7_ = std::make_unique<TForm7>();
    Form7 = form7_.get();
    form9_ = std::make_unique<TForm9>();
    Form9 = form9_.get();
  }

  void DestroyWindows() {
    form9_.reset();
    form7_.reset();
    form6_.reset();
    form2_.reset();
    main_.reset();
  }

  // Shows the main window and waits until it is the active window.
  void ShowMain(bool firstActivationDone = true) {
    if (firstActivationDone) FirstActivation = false;
    main_->show();
    main_->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == main_.get(); }));
  }

  void RouteVersionFile(const std::string& lastver) {
    testsupport::HttpRoute route;
    route.body = QByteArray::fromStdString("[IOSver]\r\nlastver=" + lastver +
                                           "\r\nUpdateURL=http://127.0.0.1/setup.exe\r\n");
    server_.Route(kVersionPath, route);
  }

  fs::path dir_;
  testsupport::LocalHttpServer server_;
  std::string previousSite_;
  platform::ProgramStarter previousStarter_;
  platform::UrlOpener previousOpener_;
  std::vector<std::string> started_;
  std::vector<std::string> opened_;
  std::unique_ptr<TMain> main_;
  std::unique_ptr<TForm2> form2_;
  std::unique_ptr<TForm6> form6_;
  std::unique_ptr<TForm7> form7_;
  std::unique_ptr<TForm9> form9_;
};

// Runs `sql` on the database at path (made if there is none).
inline void ExecSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  const std::string message = error != nullptr ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

// The phone's call-history table (4096-byte pages), for the scans through
// the window; the tests add their own rows.
inline constexpr const char* kCallHistoryTableSql =
    "PRAGMA page_size=4096;"
    "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, "
    "duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT, "
    "network_code TEXT, read INTEGER, assisted INTEGER, face_time_data BLOB, "
    "originalAddress TEXT);";

// Every row of the result list's model (waiting rows too), as texts.
inline std::vector<ListRow> ModelRows(const ResultModel& model) {
  std::vector<ListRow> rows;
  for (std::size_t i = 0; i < model.Count(); ++i) rows.push_back(model.Row(i));
  return rows;
}

// A main-window test whose scanners pump the window after every page (no
// pump interval), as the scans through the window's items are run.
class ScanWindowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    savedInterval_ = CarvePumpInterval;
    CarvePumpInterval = std::chrono::milliseconds(0);
  }
  void TearDown() override {
    CarvePumpInterval = savedInterval_;
    MainWindowTest::TearDown();
  }

 private:
  std::chrono::milliseconds savedInterval_{};
};

}  // namespace velmora::testing_main
