#include "platform/qt/QtPresenters.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QString>
#include <QUrl>

#include "platform/MessageBox.h"
#include "platform/Shell.h"

namespace platform {
namespace {

QMessageBox::Icon ToQtIcon(MbIcon icon) {
  switch (icon) {
    case MbIcon::Information: return QMessageBox::Information;
    case MbIcon::Question: return QMessageBox::Question;
    case MbIcon::Warning: return QMessageBox::Warning;
    case MbIcon::Error: return QMessageBox::Critical;
    case MbIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MbButtons buttons) {
  switch (buttons) {
    case MbButtons::Ok: return QMessageBox::Ok;
    case MbButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MbButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MbButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

// The answer when the box is closed without a button (Esc, the title bar's
// close box): what the platform's own boxes give.
MbResult Dismissed(MbButtons buttons) {
  switch (buttons) {
    case MbButtons::Ok: return MbResult::Ok;
    case MbButtons::OkCancel:
    case MbButtons::YesNoCancel: return MbResult::Cancel;
    case MbButtons::YesNo: return MbResult::No;
  }
  return MbResult::Ok;
}

MbResult ShowQtMessageBox(const MessageBoxRequest& request) {
  QMessageBox box(ToQtIcon(request.icon), QString::fromStdString(request.caption),
                  QString::fromStdString(request.text), ToQtButtons(request.buttons),
                  QApplication::activeWindow());
  // The first button is the default, as in the platform's own boxes.
  box.setDefaultButton(request.buttons == MbButtons::YesNo || request.buttons == MbButtons::YesNoCancel
                           ? QMessageBox::Yes
                           : QMessageBox::Ok);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == nullptr) return Dismissed(request.buttons);
  switch (box.standardButton(clicked)) {
    case QMessageBox::Ok: return MbResult::Ok;
    case QMessageBox::Cancel: return MbResult::Cancel;
    case QMessageBox::Yes: return MbResult::Yes;
    case QMessageBox::No: return MbResult::No;
    default: return Dismissed(request.buttons);
  }
}

std::optional<std::string> ChooseQtFolder(const std::string& prompt, const std::string& root) {
  const QString folder = QFileDialog::getExistingDirectory(
      QApplication::activeWindow(), QString::fromStdString(prompt), QString::fromStdString(root));
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

// No arguments and no working folder of its own: the new program starts in
// the current folder, as the shell's default action does.
bool StartQtProgram(const std::string& path) {
  return QProcess::startDetached(QString::fromStdString(path), QStringList());
}

bool OpenQtUrl(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::TolerantMode));
}

}  // namespace

void InstallQtPresenters() {
  SetMessageBoxPresenter(ShowQtMessageBox);
  SetFolderChooser(ChooseQtFolder);
  SetProgramStarter(StartQtProgram);
  SetUrlOpener(OpenQtUrl);
}

}  // namespace platform
