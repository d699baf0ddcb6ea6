// Small operating-system queries: folder entries in the order the file system
// gives them, the login name of the current user, the operating system's
// version numbers.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct DirEntry {
  std::string Name;          // no folder part
  bool IsDirectory = false;  // a folder, or a symbolic link to one
  bool IsSymlink = false;    // the entry itself is a symbolic link
};

// The entries of `folder` (with or without a trailing "/") in the order that
// readdir returns them, "." and ".." left out. Empty when the folder cannot be
// opened.
std::vector<DirEntry> ListDirectory(const std::string& folder);

// The login name of the user the process runs as (the password database,
// else $USER / $LOGNAME); empty when none is known.
std::string LoginName();

struct OsVersionNumbers {
  int Major = 0;
  int Minor = 0;
};
// The major and minor numbers of the running kernel's release (uname), 0 for
// what cannot be read.
OsVersionNumbers OsVersion();

}  // namespace platform
