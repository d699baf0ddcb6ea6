#include "platform/System.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace platform {

std::vector<DirEntry> ListDirectory(const std::string& folder) {
  std::vector<DirEntry> entries;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return entries;
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  while (const dirent* e = readdir(dir)) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    DirEntry entry;
    entry.Name = name;
    switch (e->d_type) {
      case DT_DIR:
        entry.IsDirectory = true;
        break;
      case DT_REG:
        break;
      default: {
        // Links, and file systems that do not fill in the type: ask.
        const std::string path = prefix + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0) {
          entry.IsSymlink = S_ISLNK(st.st_mode);
          if (entry.IsSymlink) {
            struct stat target {};
            entry.IsDirectory = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
          } else {
            entry.IsDirectory = S_ISDIR(st.st_mode);
          }
        }
        break;
      }
    }
    entries.push_back(std::move(entry));
  }
  closedir(dir);
  return entries;
}

std::string LoginName() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buf(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr && found->pw_name[0] != '\0')
    return found->pw_name;
  for (const char* var : {"USER", "LOGNAME"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && v[0] != '\0') return v;
  }
  return {};
}

OsVersionNumbers OsVersion() {
  OsVersionNumbers v;
  utsname u{};
  if (uname(&u) != 0) return v;
  // The release starts "major.minor": 6.1.0-18-amd64.
  const char* p = u.release;
  char* end = nullptr;
  long major = std::strtol(p, &end, 10);
  if (end == p) return v;
  v.Major = static_cast<int>(major);
  if (*end == '.') {
    p = end + 1;
    long minor = std::strtol(p, &end, 10);
    if (end != p) v.Minor = static_cast<int>(minor);
  }
  return v;
}

}  // namespace platform
