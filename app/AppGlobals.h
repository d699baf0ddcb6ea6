// Program-wide values of the main window's module: where the program lives,
// its title and version, the addresses on the maker's site, the first
// activation flag and this computer's identifier.
#pragma once

#include <string>

namespace velmora {

// The product title: the default window title and the name the usage count
// always reports.
inline constexpr const char* kProductTitle = "Kestrova";

// The program's version text. The trailing blank is part of it: it is shown
// after the title, stored as config.ini's `ver` and sent with the usage count.
inline constexpr const char* AppVersion = "2.0 ";

// Folder of the running executable with a trailing "/"; every file the main
// window reads or writes lies there.
extern std::string AppDir;
// Window and application title (config.ini [main] title).
extern std::string AppTitle;
// True from creation of the main window until its first activation is handled.
extern bool FirstActivation;
// This computer's identifier, sent as the usage count's `id`.
extern std::string MachineId;

// The version file and the usage-count page on the maker's site.
std::string VersionFileURL();
std::string CountURL();
// Pages opened in the browser.
std::string HelpPageURL();
std::string ContactPageURL();
std::string HomePageURL();

// The folder of the running executable with a trailing "/". Tests may put
// another folder in its place (an empty text puts the real one back).
std::string ExecutableDir();
void SetExecutableDirOverride(const std::string& dir);

// A stable identifier of this computer that tells nothing about its user: a
// keyed SHA-256 of the system's machine id, as 32 hex digits. Never a user
// name, host name or hardware serial. `machineIdFile` is the file it reads;
// without it (or when unreadable) the fixed digest of an empty id is used.
std::string ComputeMachineId(const std::string& machineIdFile = "");

// Asks the application to end: the message loop ends as soon as it runs (or
// is not entered at all when it has not started yet).
void RequestApplicationEnd();
bool ApplicationEndRequested();
void ClearApplicationEndRequest();  // tests

}  // namespace velmora
