// Small shared functions of the scan engine: INI values, folder listing, the
// login name, a field splitter, byte-order swaps, the phone time bases as
// text, bit-string conversions, the packed DVR time, the folder chooser, the
// result-list comparator, the process-wide date and time formats, and the raw
// sector input and output with the SQLite header patch.
//
// Texts are UTF-8. INI files hold the ANSI code page (GB18030 here); the INI
// functions convert at the file.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velmora {

// ---------------------------------------------------------------- formats
// The process-wide date and time formats. Until start-up sets them (the last
// step of the main window's creation) they are the system's own short date
// and time formats. Patterns use the letters yyyy, yy, m, mm, d, dd, h, hh,
// n, nn, s, ss; the separators are literal in the pattern.
struct FormatSettings {
  std::string ShortDateFormat;
  std::string LongTimeFormat;
};
FormatSettings& CurrentFormats();
// Sets "yyyy-mm-dd" and "hh:mm:ss".
void SetProgramFormats();
// Puts back the system's own formats (what the program starts with).
void ResetSystemFormats();

// A point in local time, broken down, with milliseconds.
struct DateTimeParts {
  int Year = 1970, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
DateTimeParts NowParts();
std::string FormatDate(const DateTimeParts& t);  // CurrentFormats().ShortDateFormat
std::string FormatTime(const DateTimeParts& t);  // CurrentFormats().LongTimeFormat
std::string TodayText();                         // FormatDate(NowParts())
std::string NowTimeText();                       // FormatTime(NowParts())

// ---------------------------------------------------------------- INI
enum : std::uint8_t {
  kIniInteger = 0, kIniFloat = 1, kIniString = 2, kIniDateTime = 3, kIniDate = 4, kIniTime = 5,
  kIniBool = 6,
};
// An INI value: nothing (unassigned), integer, float (also dates as days since
// 1899-12-30), text or Boolean.
using IniValue = std::variant<std::monostate, std::int64_t, double, std::string, bool>;
IniValue ReadIniValue(const std::string& fileName, const std::string& section,
                      const std::string& key, std::uint8_t kind, const IniValue& defaultValue);
void WriteIniValue(const std::string& fileName, const std::string& section, const std::string& key,
                   std::uint8_t kind, const IniValue& value);
// The text of a kind-2 read (convenience for callers that read texts only).
std::string ReadIniString(const std::string& fileName, const std::string& section,
                          const std::string& key, const std::string& defaultValue);

// ---------------------------------------------------------------- files
// Appends Folder + name of every entry of Folder (which ends in "/") in the
// order the file system gives, "." and ".." skipped; folders to dirList (no
// trailing "/") and, with recurse, listed at once depth first; files to
// fileList when their upper-cased name contains the upper-cased nameFilter.
void ListFolder(const std::string& folder, const std::string& nameFilter, bool recurse,
                std::vector<std::string>& fileList, std::vector<std::string>& dirList);
std::string GetWindowsUserName();

// ---------------------------------------------------------------- text
std::string SplitField(const std::string& text, char sep, int index);
std::uint16_t SwapWord(std::uint16_t v);
std::uint32_t SwapLong(std::uint32_t v);
std::uint64_t SwapInt64(std::uint64_t v);
std::string UnixMsToText(std::int64_t ms);   // 1970-01-01 08:00:00 + ms
std::string CocoaMsToText(std::int64_t ms);  // 2001-01-01 08:00:00 + ms
// The same texts written into `out` (its room reused from call to call);
// the view is of `out`.
std::string_view UnixMsToText(std::int64_t ms, std::string& out);
std::string_view CocoaMsToText(std::int64_t ms, std::string& out);
std::string IntToBin(std::uint32_t value, int bits);
// Raises EConvertError on a character that is not a decimal digit.
std::int64_t BinToInt64(const std::string& text);
std::int64_t HexToInt64(const std::string& text);
std::string Int64ToBin(std::int64_t value);
// The program's general text of a float: the value rounded to 15 significant
// digits (a tie away from zero), trailing zeros dropped, "." before a
// fraction. Fixed notation from 0.00001 up to 15 digits before the point
// ("0.00001", "123456789012345"), otherwise one digit, the fraction, "E" and
// the exponent without "+" or leading zeros ("1E20", "1.23456789012346E15",
// "-2.5E-6"). Zero (either sign) gives "0"; "NAN", "INF" and "-INF" the rest.
std::string FloatToText(double value);
std::string DvrTimeToText(const std::string& dateSep, const std::string& timeSep,
                          std::uint64_t value);

// The platform's conversion error: "'%s' is not a valid integer value".
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The folder chooser: true and `folder` with a trailing "/" (none added to the
// root "/"), or false and an empty `folder` on cancel.
bool BrowseForFolder(const std::string& prompt, const std::string& root, std::string& folder);

// ---------------------------------------------------------------- sorting
extern bool SortAscending;
// A row of the result list: caption first, then the sub-items.
using ListRow = std::vector<std::string>;
// The list compares texts in the ANSI code page (so Chinese sorts as that
// code page orders it), byte by byte, with the letters a to z folded to A to
// Z; a text that is a prefix of the other sorts first. A text's sort key is
// those folded code-page bytes, made once per text: two keys compare as
// their texts do.
std::string ListSortKey(std::string_view text);
// Appends the sort key of `text` to `key`.
void AppendListSortKey(std::string_view text, std::string& key);
// Negative, zero or positive as the texts of keys `a` and `b` order.
int CompareListSortKeys(std::string_view a, std::string_view b);
// Compares the two rows' cells at `column` (0 = caption, k = sub-item k - 1)
// by their sort keys; the result is negated when SortAscending is False. A
// row that lacks the cell makes the pair equal.
int CompareListItems(const ListRow& item1, const ListRow& item2, int column);

// ---------------------------------------------------------------- sectors
// The buffer type of the sector routines and of a scan's file image.
using Fbuf = std::vector<std::uint8_t>;
inline constexpr std::uint32_t kSectorSize = 512;

// Reads `count` bytes at byte offset sector * 512 of `path` into the first
// `count` bytes of `buffer` (sized by the caller). Opens the file for reading
// and writing, as the header patch needs. False, with its message box shown
// and `buffer` unchanged, when the file cannot be opened or fewer bytes were
// read.
bool ReadSectors(const std::string& path, bool fromEnd, std::uint64_t sector, std::int32_t count,
                 Fbuf& buffer);
// The message boxes ReadSectors shows when the file cannot be opened and when
// a read fails; a scan's windowed reads end with the same ones.
void ShowOpenErrorBox();
void ShowReadErrorBox();
// Writes the first `count` bytes of `buffer` at sector * 512; a missing file is
// created. False, with its message box shown, on failure.
bool WriteSectors(const std::string& path, bool fromEnd, std::uint64_t sector, std::int32_t count,
                  const Fbuf& buffer);
// Size in bytes of the file at the plain `path`. Raises EFOpenError when the
// file cannot be opened.
std::int64_t FileSize64(const std::string& path);

class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class PatchMode { Always, IfNeeded };
// Sets header bytes 18 and 19 to 1 in `header` (the 512 bytes just read from
// sector 0) and writes it back; with IfNeeded only when either byte is above 1.
void PatchSQLiteHeader(const std::string& rawPath, Fbuf& header, PatchMode mode);

}  // namespace velmora
