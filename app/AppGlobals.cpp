#include "app/AppGlobals.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QThread>

#include "platform/Shell.h"

namespace velmora {

std::string AppDir;
std::string AppTitle = kProductTitle;
bool FirstActivation = true;
std::string MachineId;

namespace {
std::string g_executableDirOverride;
bool g_endRequested = false;
}  // namespace

std::string VersionFileURL() { return platform::SiteBaseUrl() + "/shouji/software/update/version.txt"; }
std::string CountURL() { return platform::SiteBaseUrl() + "/shouji/software/count/count.asp"; }
std::string HelpPageURL() { return platform::SiteBaseUrl() + "/shouji/software/help/"; }
std::string ContactPageURL() { return platform::SiteBaseUrl() + "/shouji/software/contact/qq/"; }
std::string HomePageURL() { return platform::SiteBaseUrl() + "/"; }

std::string ExecutableDir() {
  if (!g_executableDirOverride.empty()) {
    std::string dir = g_executableDirOverride;
    if (dir.back() != '/') dir += '/';
    return dir;
  }
  QString dir = QCoreApplication::applicationDirPath();
  std::string out = dir.toStdString();
  if (out.empty() || out.back() != '/') out += '/';
  return out;
}

void SetExecutableDirOverride(const std::string& dir) { g_executableDirOverride = dir; }

std::string ComputeMachineId(const std::string& machineIdFile) {
  QByteArray id;
  const QStringList candidates =
      machineIdFile.empty()
          ? QStringList{QStringLiteral("/etc/machine-id"), QStringLiteral("/var/lib/dbus/machine-id")}
          : QStringList{QString::fromStdString(machineIdFile)};
  for (const QString& path : candidates) {
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
      id = f.readAll().trimmed();
      if (!id.isEmpty()) break;
    }
  }
  // Keyed, so that the value cannot be matched with the machine id that other
  // programs see or send.
  QByteArray mac = QMessageAuthenticationCode::hash(id, QByteArrayLiteral("Velmora usage count"),
                                                    QCryptographicHash::Sha256);
  return mac.left(16).toHex().toStdString();
}

void RequestApplicationEnd() {
  g_endRequested = true;
  // Only a running loop is told to end: asking with no loop running would
  // make every later local loop (an HTTP wait, a modal box) return at once.
  // The program's entry does not enter its loop once the flag is set.
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

bool ApplicationEndRequested() { return g_endRequested; }
void ClearApplicationEndRequest() { g_endRequested = false; }

}  // namespace velmora
