// INI files with the behaviour of the Windows profile functions: "[section]"
// lines, then "key=value" lines; sections and keys are found without regard to
// ASCII case; a missing file, section or key reads as absent; a write creates
// the file and the section when needed and leaves every other line byte for
// byte as it was.
//
// Texts in and out are UTF-8; the file holds the ANSI code page (CodePage.h).
// Every call reads the file anew; nothing is cached.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace platform {

class IniFile {
 public:
  explicit IniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  const std::string& FileName() const { return fileName_; }

  // The value of key in section with blanks around it removed and one pair of
  // matching surrounding quotes dropped; nothing when the file, the section or
  // the key is missing. The first of duplicate sections or keys counts.
  std::optional<std::string> Read(const std::string& section, const std::string& key) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;

  // Sets key in section to value. An existing key's line is rewritten in place
  // (keeping the file's spelling of the key and that line's line end); a new
  // key goes after the last non-blank line of its section; a new section is
  // appended at the end of the file. New files use CR LF; an existing file
  // keeps the line end of its first line. False when the file could not be
  // read or written.
  bool Write(const std::string& section, const std::string& key, const std::string& value) const;

 private:
  std::string fileName_;
};

}  // namespace platform
