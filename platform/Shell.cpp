#include "platform/Shell.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

extern char** environ;

namespace platform {

namespace {

// Children this process started and has not collected yet. Each start first
// collects the ones that have ended (without waiting), so no zombies pile up
// and no other child of the process is touched.
std::vector<pid_t>& Children() {
  static std::vector<pid_t> children;
  return children;
}

void ReapEndedChildren() {
  auto& children = Children();
  std::erase_if(children, [](pid_t pid) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    return r == pid || r < 0;  // ended, or no longer ours to wait for
  });
}

// Starts `program` with argv {program, arg...} in a session of its own, so it
// outlives us and takes none of our terminal signals. Never waits for it.
bool Spawn(const std::string& program, const std::vector<std::string>& args, bool searchPath) {
  ReapEndedChildren();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return false;
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
  flags |= POSIX_SPAWN_SETSID;
#endif
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, flags);

  pid_t pid = 0;
  int rc = searchPath ? posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv.data(), environ)
                      : posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;
  Children().push_back(pid);
  return true;
}

bool DefaultStartProgram(const std::string& path) {
  if (path.empty()) return false;
  return Spawn(path, {}, false);
}

bool DefaultOpenUrl(const std::string& url) {
  if (url.empty()) return false;
  return Spawn("xdg-open", {url}, true);
}

std::optional<std::string> DefaultChooseFolder(const std::string&, const std::string&) {
  return std::nullopt;
}

ProgramStarter& CurrentStarter() {
  static ProgramStarter starter = DefaultStartProgram;
  return starter;
}

UrlOpener& CurrentOpener() {
  static UrlOpener opener = DefaultOpenUrl;
  return opener;
}

FolderChooser& CurrentChooser() {
  static FolderChooser chooser = DefaultChooseFolder;
  return chooser;
}

std::string WithoutTrailingSlash(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

std::string& SiteUrl() {
#ifdef VELMORA_SITE_URL
  static std::string url = WithoutTrailingSlash(VELMORA_SITE_URL);
#else
  static std::string url;
#endif
  return url;
}

}  // namespace

ProgramStarter SetProgramStarter(ProgramStarter starter) {
  if (!starter) starter = DefaultStartProgram;
  return std::exchange(CurrentStarter(), std::move(starter));
}

bool StartProgram(const std::string& path) {
  ProgramStarter starter = CurrentStarter();
  return starter(path);
}

UrlOpener SetUrlOpener(UrlOpener opener) {
  if (!opener) opener = DefaultOpenUrl;
  return std::exchange(CurrentOpener(), std::move(opener));
}

bool OpenUrl(const std::string& url) {
  UrlOpener opener = CurrentOpener();
  return opener(url);
}

FolderChooser SetFolderChooser(FolderChooser chooser) {
  if (!chooser) chooser = DefaultChooseFolder;
  return std::exchange(CurrentChooser(), std::move(chooser));
}

std::optional<std::string> ChooseFolder(const std::string& prompt, const std::string& root) {
  FolderChooser chooser = CurrentChooser();
  return chooser(prompt, root);
}

std::string SiteBaseUrl() { return SiteUrl(); }

void SetSiteBaseUrl(const std::string& url) { SiteUrl() = WithoutTrailingSlash(url); }

}  // namespace platform
