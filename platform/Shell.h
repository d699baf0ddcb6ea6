// Shell services: start a program, open a web page, choose a folder. Each has
// a hook so that the windows can supply the real thing and tests can record.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

// Starts the program at `path` with no arguments, detached. False when it could
// not be started.
using ProgramStarter = std::function<bool(const std::string& path)>;
ProgramStarter SetProgramStarter(ProgramStarter starter);  // empty = default (posix_spawn)
bool StartProgram(const std::string& path);

// Opens `url` in the desktop's default browser.
using UrlOpener = std::function<bool(const std::string& url)>;
UrlOpener SetUrlOpener(UrlOpener opener);  // empty = default (xdg-open)
bool OpenUrl(const std::string& url);

// Asks the user for a folder: the chosen path (no trailing "/" needed) or
// nothing on cancel. The default chooser (no window system) cancels.
using FolderChooser =
    std::function<std::optional<std::string>(const std::string& prompt, const std::string& root)>;
FolderChooser SetFolderChooser(FolderChooser chooser);
std::optional<std::string> ChooseFolder(const std::string& prompt, const std::string& root);

// The maker's web site address (no trailing "/"), a build-time setting;
// tests point it elsewhere.
std::string SiteBaseUrl();
void SetSiteBaseUrl(const std::string& url);

}  // namespace platform
