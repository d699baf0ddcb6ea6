// The updater's window: a log of the steps, the progress of the current
// transfer, "更新" and "关闭". Its first activation starts the update flow:
// fetch the version file, compare it with the installed version, download the
// new setup program below the program's folder and start it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace F_Update {

// The program's folder with a trailing "/": the executable's folder unless a
// test set another one (an empty text puts the executable's folder back).
std::string ProgramDir();
void SetProgramDir(const std::string& dir);

// What "ask the application to end" does; by default QCoreApplication::quit.
using AppEndHook = std::function<void()>;
AppEndHook SetAppEndHook(AppEndHook hook);  // empty = default; returns the old one

// A version text as a number: optional blanks around it, an optional sign,
// digits with "." as the decimal point, an optional exponent ("2.0 " is 2).
// Nothing when the text is not such a number.
std::optional<double> VersionNumber(const std::string& text);

// The HTTP client component: one blocking GET at a time with the begin and
// progress events, the fixed request headers, no proxy and no time-out.
class TIdHTTP : public QObject {
 public:
  explicit TIdHTTP(QObject* parent) : QObject(parent) {}
  std::function<void(std::int64_t total)> OnWorkBegin;
  std::function<void(std::int64_t received)> OnWork;
  // The body of `url`; raises platform::HttpError on failure.
  QByteArray Get(const QString& url);
};

class TForm1 : public QWidget {
 public:
  explicit TForm1(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Button2 = nullptr;  // "更新"
  QPushButton* Button1 = nullptr;  // "关闭"
  TIdHTTP* IdHTTP1 = nullptr;
  // Keeps window messages flowing while IdHTTP1 blocks: the client waits in
  // an event loop of its own, so this is the marker of that behaviour.
  QObject* IdAntiFreeze1 = nullptr;

  void FormCreate();
  void FormActivate();
  void Button2Click();
  void Button1Click();
  void IdHTTP1WorkBegin(std::int64_t total);
  void IdHTTP1Work(std::int64_t received);

  // True while the update flow runs.
  bool FlowRunning() const { return flowRunning_; }
  // The log, one entry per line.
  QStringList LogLines() const;

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Log(const QString& line);
  void RunFlow();
  void RequestAppEnd();

  bool flowRunning_ = false;
  bool ending_ = false;
  bool activatedOnce_ = false;
  bool leftForOwnWindow_ = false;
  // The current transfer: expected size (-1 unknown) and the bar's unit.
  std::int64_t expected_ = 0;
  std::int64_t barUnit_ = 1;
};

}  // namespace F_Update
