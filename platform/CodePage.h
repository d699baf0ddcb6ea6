// Conversion between the engine's UTF-8 and the ANSI code page of the files
// the programs write and read (export files, INI files). The code page is
// GB18030: byte-identical to GBK for every character GBK holds, and it keeps
// the characters GBK lacks (emoji in chat messages) instead of '?'.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 to the ANSI code page. Ill-formed UTF-8 sequences become '?'.
std::string Utf8ToAnsi(std::string_view utf8);
// The ANSI code page to UTF-8. Bytes that do not decode become U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace platform
