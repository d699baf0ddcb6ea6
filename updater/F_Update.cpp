#include "updater/F_Update.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <charconv>
#include <climits>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "engine/MyFuns_.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "platform/qt/HttpClient.h"

namespace F_Update {
namespace {

std::string& ProgramDirOverride() {
  static std::string dir;
  return dir;
}

AppEndHook& CurrentAppEnd() {
  static AppEndHook hook = [] { QCoreApplication::quit(); };
  return hook;
}

// The path of the version file on the maker's site.
constexpr const char* kVersionFilePath = "/shouji/software/update/version.txt";

#ifdef _WIN32
constexpr const char* kSetupFileName = "update.exe";
#else
constexpr const char* kSetupFileName = "update";
#endif

// Writes `bytes` to `path`, replacing the file. Raises on failure.
void SaveBytes(const std::string& path, const QByteArray& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot create " + path);
  out.write(bytes.constData(), bytes.size());
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string ProgramDir() {
  std::string dir = ProgramDirOverride();
  if (dir.empty()) dir = QCoreApplication::applicationDirPath().toStdString();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

void SetProgramDir(const std::string& dir) { ProgramDirOverride() = dir; }

AppEndHook SetAppEndHook(AppEndHook hook) {
  if (!hook) hook = [] { QCoreApplication::quit(); };
  return std::exchange(CurrentAppEnd(), std::move(hook));
}

std::optional<double> VersionNumber(const std::string& text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  const std::string s = text.substr(b, e - b);

  // sign? digits* ("." digits*)? with at least one digit, then (e sign? digits+)?
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const std::size_t start = i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;

  std::string body = s.substr(start);
  if (body.front() == '.') body.insert(body.begin(), '0');  // ".5"
  double value = 0;
  const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
  if (ec != std::errc() || end != body.data() + body.size()) return std::nullopt;
  return negative ? -value : value;
}

QByteArray TIdHTTP::Get(const QString& url) {
  platform::HttpCallbacks callbacks;
  callbacks.onBegin = OnWorkBegin;
  callbacks.onWork = OnWork;
  return platform::HttpGet(url, callbacks, 0);
}

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Kestrova更新"));

  Label1 = new QLabel(QStringLiteral("更新日志："), this);
  Label1->setObjectName("Label1");
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  Label2 = new QLabel(QString(), this);
  Label2->setObjectName("Label2");
  Button2 = new QPushButton(QStringLiteral("更新"), this);
  Button2->setObjectName("Button2");
  Button1 = new QPushButton(QStringLiteral("关闭"), this);
  Button1->setObjectName("Button1");
  IdHTTP1 = new TIdHTTP(this);
  IdHTTP1->setObjectName("IdHTTP1");
  IdAntiFreeze1 = new QObject(this);
  IdAntiFreeze1->setObjectName("IdAntiFreeze1");

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Label2, 1);
  buttons->addWidget(Button2);
  buttons->addWidget(Button1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Memo1, 1);
  layout->addWidget(ProgressBar1);
  layout->addLayout(buttons);

  QObject::connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  QObject::connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  IdHTTP1->OnWorkBegin = [this](std::int64_t total) { IdHTTP1WorkBegin(total); };
  IdHTTP1->OnWork = [this](std::int64_t received) { IdHTTP1Work(received); };

  FormCreate();
}

void TForm1::FormCreate() {
  // A single fixed border with only the system menu's close box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(420, 300);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  Memo1->clear();
  Log(QStringLiteral("正在连接网络..."));
}

void TForm1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::ActivationChange) return;
  if (!isActiveWindow()) {
    // Activation that goes to one of our own boxes comes back without being a
    // new activation of the program's window.
    leftForOwnWindow_ = QApplication::activeModalWidget() != nullptr ||
                        (QApplication::activeWindow() != nullptr && QApplication::activeWindow() != this);
    return;
  }
  const bool fresh = !activatedOnce_ || !leftForOwnWindow_;
  activatedOnce_ = true;
  leftForOwnWindow_ = false;
  if (fresh) FormActivate();
}

void TForm1::closeEvent(QCloseEvent* event) {
  ending_ = true;
  QWidget::closeEvent(event);
}

void TForm1::FormActivate() {
  // A flow under way goes on; "更新" is disabled meanwhile.
  if (flowRunning_) return;
  QCoreApplication::processEvents();
  QThread::msleep(1000);
  Button2->click();
}

void TForm1::Button1Click() { RequestAppEnd(); }

void TForm1::RequestAppEnd() {
  ending_ = true;
  AppEndHook hook = CurrentAppEnd();
  hook();
}

void TForm1::IdHTTP1WorkBegin(std::int64_t total) {
  expected_ = total;
  if (total < 0) {
    // No expected size: a busy bar, and Label2 counts what arrives.
    barUnit_ = 1;
    ProgressBar1->setRange(0, 0);
    ProgressBar1->setValue(0);
    return;
  }
  barUnit_ = total > INT_MAX ? 1024 : 1;
  // A range of 0..0 would show the busy bar; an empty answer shows an empty bar.
  ProgressBar1->setRange(0, total == 0 ? 1 : static_cast<int>(total / barUnit_));
  ProgressBar1->setValue(0);
}

void TForm1::IdHTTP1Work(std::int64_t received) {
  if (expected_ < 0) {
    Label2->setText(QStringLiteral("已下载:%1K字节").arg(received / 1024));
    return;
  }
  const std::int64_t position = std::min(std::max<std::int64_t>(received, 0), expected_);
  ProgressBar1->setValue(static_cast<int>(position / barUnit_));
  Label2->setText(QStringLiteral("已下载:%1K字节,总共:%2K字节").arg(position / 1024).arg(expected_ / 1024));
}

void TForm1::Log(const QString& line) { Memo1->appendPlainText(line); }

QStringList TForm1::LogLines() const {
  const QString text = Memo1->toPlainText();
  return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TForm1::Button2Click() {
  if (flowRunning_) return;
  flowRunning_ = true;
  Button2->setEnabled(false);
  RunFlow();
  flowRunning_ = false;
  Button2->setEnabled(true);
}

void TForm1::RunFlow() {
  const std::string dir = ProgramDir();
  const std::string installed = velmora::ReadIniString(dir + "config.ini", "main", "ver", "0");

  std::string published;
  std::string updateUrl;
  try {
    const QByteArray versionFile =
        IdHTTP1->Get(QString::fromStdString(platform::SiteBaseUrl() + kVersionFilePath));
    const std::string saved = dir + "updatever.ini";
    SaveBytes(saved, versionFile);
    published = velmora::ReadIniString(saved, "IOSver", "lastver", "0");
    updateUrl = velmora::ReadIniString(saved, "IOSver", "UpdateURL", platform::SiteBaseUrl() + "/");
  } catch (const std::exception&) {
    Log(QStringLiteral("网络连接失败，无法更新..."));
    return;
  }
  Log(QStringLiteral("正在检测版本..."));

  const std::optional<double> installedNumber = VersionNumber(installed);
  const std::optional<double> publishedNumber = VersionNumber(published);
  if (!installedNumber || !publishedNumber) {
    Log(QStringLiteral("版本信息无效，无法更新..."));
    return;
  }
  if (*installedNumber >= *publishedNumber) {
    Log(QStringLiteral("你使用的是最新程序，无需更新"));
    return;
  }
  Log(QStringLiteral("你当前使用的版本是：") + QString::fromStdString(installed));
  Log(QStringLiteral("本程序最新的版本是：") + QString::fromStdString(published));
  Log(QStringLiteral("正在下载更新文件..."));

  try {
    const QByteArray setup = IdHTTP1->Get(QString::fromStdString(updateUrl));
    const std::filesystem::path folder = std::filesystem::path(dir) / "update_temp";
    std::filesystem::create_directories(folder);
    const std::string setupPath = dir + "update_temp/" + kSetupFileName;
    SaveBytes(setupPath, setup);
    std::filesystem::permissions(setupPath, std::filesystem::perms(0755),
                                 std::filesystem::perm_options::replace);
    platform::ShowMessageBox("最新版本程序已下载完成，请关闭主程序后进行更新！", "提示",
                             platform::MbIcon::Information);
    platform::StartProgram(setupPath);
    close();
    RequestAppEnd();
  } catch (const std::exception&) {
    // The program is ending ("关闭" during the download): no box.
    if (ending_) return;
    platform::ShowMessageBox("更新失败，请点“更新”按钮重试！", "提示", platform::MbIcon::Error);
  }
}

}  // namespace F_Update
