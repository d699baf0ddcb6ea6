// The backup search of a 5,000-file backup with all four kinds ticked: the
// recursive listing and IsKindDatabase over every file, once per kind, as the
// scan button runs it. The tree is laid out as current backups are (40-hex
// names in two-character folders); 40 of the files are SQLite databases, one
// of each kind among them, the rest other data of mixed sizes.
// Target: a few seconds at most.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/ScanSetup.h"
#include "platform/MessageBox.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {

std::string HexName(unsigned n) {
  static const char* kDigits = "0123456789abcdef";
  std::string name(40, '0');
  unsigned x = n * 2654435761u + 977u;
  for (int i = 0; i < 40; ++i) {
    name[i] = kDigits[(x >> ((i % 8) * 4)) & 15];
    if (i % 8 == 7) x = x * 1103515245u + 12345u + n;
  }
  return name;
}

void MakeDb(const std::string& path, const char* table) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const std::string sql = std::string("CREATE TABLE ") + table + " (id INTEGER PRIMARY KEY, v TEXT)";
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace

int main() {
  platform::ScriptedMessageBoxes quiet;
  char tmpl[] = "/tmp/velmora-backup-bench-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string backup = std::string(tmpl) + "/";
  const char* tables[] = {"ABPersonFullTextSearch_content", "chat_message_join", "call", "Friend",
                          "other"};
  for (unsigned n = 0; n < 5000; ++n) {
    const std::string name = HexName(n);
    fs::create_directories(backup + name.substr(0, 2));
    const std::string path = backup + name.substr(0, 2) + "/" + name;
    if (n % 125 == 7) {
      MakeDb(path, tables[(n / 125) % 5]);
    } else {
      std::ofstream out(path, std::ios::binary);
      out << std::string(n % 3 == 0 ? 600 : 2000 + n % 5000, static_cast<char>('a' + n % 26));
    }
  }
  const auto t0 = std::chrono::steady_clock::now();
  std::size_t found = 0;
  for (std::uint8_t kind = 0; kind < 4; ++kind) {
    found += SearchBackupForKind(backup, kind, kind == 3).size();
  }
  const auto t1 = std::chrono::steady_clock::now();
  std::printf("backup search, 5000 files, four kinds: %.3f s (%zu databases chosen or offered)\n",
              std::chrono::duration<double>(t1 - t0).count(), found);
  fs::remove_all(tmpl);
  return 0;
}
