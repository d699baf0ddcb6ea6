// The scan-setup dialog's logic without any window: where this user's phone
// backups lie, the list of backups read from each backup's property list,
// the marker tables that tell a database's kind, the identification of one
// database file, and the per-kind search of a backup folder.
//
// Paths are plain paths with "/" as separator (the raw path of a file is its
// plain path here). Texts are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// ---------------------------------------------------------------- backup root
// The decimal number that "major.minor" reads as (6.1 for major 6, minor 1).
double WindowsVersionNumber(int major, int minor);

// The per-user backup folder of the Windows forms: from version 6 on below
// "c:\users\", above 5 below "C:\Documents and Settings\", none at 5.0 and
// lower. The user name is trimmed of blanks. The result ends in "\".
std::optional<std::string> WindowsBackupRoot(double version, const std::string& userName);

// This user's backup folder here: $XDG_DATA_HOME/MobileSync/Backup/, with
// ~/.local/share when XDG_DATA_HOME is unset, empty or relative. Empty when
// neither XDG_DATA_HOME nor HOME gives a folder. Ends in "/".
std::string BackupRoot();

// ---------------------------------------------------------------- backup list
struct BackupEntry {
  std::string DeviceName;  // between <string> and </string> below "Device Name"
  std::string BackupDate;  // between <date> and </date> below "Last Backup Date"
  std::string Path;        // the backup folder, no trailing "/"
};

// Reads the two keys from the property list's lines: the first line that
// contains the key, then the text between the first opening and the first
// closing tag of the line after it. A key not found, found on the last line,
// or whose next line lacks the tags gives an empty text. `pump` runs once per
// line examined by each key's search. Only the first 64 KiB of a value line
// are looked at.
BackupEntry ParseBackupInfo(const std::vector<std::string>& lines,
                            const std::function<void()>& pump = {});

// The bytes of a property list, in order: fills `into` from where the last
// call stopped and returns the count; fewer than asked at the end, or where
// the rest cannot be read (then it sets `failed`).
using BackupInfoSource = std::function<std::size_t(std::span<char> into, bool& failed)>;

// ParseBackupInfo of a property list read line by line (lines end at CR LF,
// LF or CR) in pieces of 64 KiB: the reading stops as soon as both values are
// taken, and no line is held whole beyond the 64 KiB looked at, so a large
// list costs neither its size in memory nor, with its values near the start,
// the time to read it. `pump` also runs once per piece read inside a line
// longer than a piece. False when the bytes cannot be read before both values
// are taken. `entry`'s Path is not touched.
bool ReadBackupInfo(const BackupInfoSource& read, BackupEntry& entry,
                    const std::function<void()>& pump = {});
// ReadBackupInfo of the file at `path`; false when it cannot be opened, or
// read as far as the values.
bool ReadBackupInfoFile(const std::string& path, BackupEntry& entry,
                        const std::function<void()>& pump = {});

// The property list of one backup folder: "info.plist" matched without regard
// to case (current backups name it "Info.plist"); an exact "info.plist" is
// preferred when both exist. Empty when there is none.
std::string FindBackupInfoFile(const std::string& folder);

// One entry per sub-folder of `root` (which ends in "/") that holds a property
// list, in listing order. A missing root or an empty one lists nothing; files
// directly in the root are not looked at; a property list that cannot be read
// as far as its values gives no entry. `pump` runs once per sub-folder and as
// ReadBackupInfo runs it.
std::vector<BackupEntry> ListBackups(const std::string& root,
                                     const std::function<void()>& pump = {});

// ---------------------------------------------------------------- kinds
// The marker table that the file chooser looks for, by kind (0 to 3).
const char* FileModeMarkerTable(std::uint8_t kind);
// The marker table that the backup search looks for, by kind (0 to 3).
const char* BackupMarkerTable(std::uint8_t kind);

// True when the first 15 bytes of `header` are "SQLite format 3".
bool HasSQLiteSignature(const std::vector<std::uint8_t>& header);

// File mode: reads the first 512 bytes of the chosen file and, when it carries
// the SQLite signature, sets header bytes 18 and 19 to 1 on disk whatever they
// held. A failed read has shown its own message and changes nothing.
void PatchChosenFile(const std::string& path);

// File mode: opens the file through the SQLite layer and tests the marker
// tables in the order contacts, messages, call history, WeChat; the last one
// found is the answer, nothing when none is there. Raises ESQLiteException
// when SQLite rejects the file.
std::optional<std::uint8_t> IdentifyDatabaseKind(const std::string& path);

// The identification rule of a backup file for one kind: at least 1024
// bytes, the SQLite signature, the header patch (always), and the kind's
// marker table. A file that fails the size or signature test is neither
// written nor opened. Raises what the size query (EFOpenError) or the SQLite
// layer (ESQLiteException) raises.
bool IsKindDatabase(const std::string& path, std::uint8_t kind);

// Every file below `folder` (which ends in "/"), recursively, in listing order.
std::vector<std::string> ListBackupFiles(const std::string& folder);

// Progress of a search: called once with the file count, then with the
// position (1 based) before each file is tested.
struct SearchProgress {
  std::function<void(int fileCount)> begin;
  std::function<void(int position)> step;
};

// The per-kind search of a backup folder: lists every file below `folder`
// anew and tests each in listing order with IsKindDatabase. With `allMatches`
// false it ends at the first match. A file whose test raises is skipped and
// the search goes on with the next one.
std::vector<std::string> SearchBackupForKind(const std::string& folder, std::uint8_t kind,
                                             bool allMatches,
                                             const SearchProgress& progress = {});

// The name of a file without its folder.
std::string FileNameOf(const std::string& path);

}  // namespace velmora
