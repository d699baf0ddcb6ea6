// The iOS contacts scanner: recovers an iPhone's contacts, live and deleted,
// from the AddressBook database's full-text content table
// ABPersonFullTextSearch_content. Instead of testing every byte offset as a
// record header it looks for the phone text that the address book keeps for
// each number (" +X 00X 011X", X the country code and the national number),
// walks back from it to the start of the record's header, decodes the row and
// asks the database whether a row with the same first name, last name and
// phone text still exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/CarvingEngine.h"
#include "engine/ScanView.h"

namespace velmora {

class TSQLiteDatabase;
class TSQLiteNumericAffinity;
class TSQLitePreparedQuery;

// The carved table and the positions of the key columns in its rows (the
// address book's fixed layout: docid, c0First, c1Last, ... c15Phone ... c22Date).
inline constexpr const char* kContactsTable = "ABPersonFullTextSearch_content";
inline constexpr int kContactsFirstColumn = 1;
inline constexpr int kContactsLastColumn = 2;
inline constexpr int kContactsPhoneColumn = 16;
inline constexpr int kContactsLayoutColumns = 24;

// The phone text at anchor offset p of image, when it is one.
struct PhoneTextMatch {
  bool holds = false;
  // The offset reached in the phone text, from p: past the third notation
  // when the test holds, where the test left off otherwise.
  std::size_t g = 0;
  // X without its first two characters (the country code); empty when X has
  // two characters or fewer.
  std::string phone;
};

// The anchor and phone-text test at p: a blank and a plus sign at p, a blank
// and "00" within the 19 bytes after p, and a blank and "011" where the first
// copy of X would end the second. Reads stay inside image.
PhoneTextMatch MatchPhoneText(std::span<const std::uint8_t> image, std::size_t p);

// Finds the start of the record header in front of an anchor: the nearest
// zero byte at or below the anchor (down to offset 1) is taken as the last
// column's serial type (NULL); from there `columns` serial types are counted
// back, bytes below 0x80 ending one and bytes of 0x80 and above passed over.
// Remembers its last answers, so that a walk over ascending anchors reads
// every byte a bounded number of times however the file is made. Offsets
// are file offsets (offsets into the span for an image held whole); bytes
// outside the window of a file image are read from the file.
class ContactHeaderFinder {
 public:
  explicit ContactHeaderFinder(std::span<const std::uint8_t> image, int columns);
  // Over a file image whose window moves: the finder reads it where it
  // stands at each call.
  ContactHeaderFinder(const CarveImage& image, int columns);
  ~ContactHeaderFinder();
  ContactHeaderFinder(const ContactHeaderFinder&) = delete;
  ContactHeaderFinder& operator=(const ContactHeaderFinder&) = delete;

  // The offset of the header's first serial type, or none (no zero byte, or
  // fewer than `columns` serial types before the start of the image).
  std::optional<std::uint64_t> HeaderStart(std::uint64_t anchor);

 private:
  std::optional<std::uint64_t> NearestZero(std::uint64_t anchor);

  std::unique_ptr<CarveImage> whole_;  // the span's image, when made from one
  const CarveImage* image_;
  int columns_;
  // Every byte below scannedTo_ has been looked at; lastZero_ is the nearest
  // zero byte (at offset 1 or above) below scannedTo_.
  std::uint64_t scannedTo_ = 1;
  std::optional<std::uint64_t> lastZero_;
  // The answer for the zero byte asked last.
  std::optional<std::uint64_t> cachedZero_;
  std::optional<std::uint64_t> cachedStart_;
};

// The Name of a contact: the first name, a blank and the last name, with
// every "NULL" removed (case-sensitive, also inside a name).
std::string ContactDisplayName(const std::string& first, const std::string& last);

// The live-test statement of one NULL/value shape: each key is "is NULL" when
// its value is the text "NULL", else compared with a bound parameter.
std::string ContactLiveQueryText(bool firstIsNull, bool lastIsNull, bool phoneIsNull);

// The live test as one statement per carved row: the statement of the row's
// NULL/value shape, prepared at its first use and reused, the values bound
// as texts of their full length, so a quote or a NUL byte inside a carved
// value is compared as part of it. Its cost grows with the rows of the
// table, which has no index; the scan uses it only where ContactLiveTest
// cannot answer from its row set. Errors of the SQLite layer leave as
// ESQLiteException.
class ContactLiveStatements {
 public:
  explicit ContactLiveStatements(TSQLiteDatabase& db);
  ~ContactLiveStatements();
  ContactLiveStatements(const ContactLiveStatements&) = delete;
  ContactLiveStatements& operator=(const ContactLiveStatements&) = delete;

  // True when the table has a row with these first name, last name and
  // phone text ("NULL" standing for a NULL cell).
  bool ContactIsLive(const std::string& first, const std::string& last,
                     const std::string& phone);

 private:
  TSQLiteDatabase& db_;
  std::unique_ptr<TSQLitePreparedQuery> shapes_[8];
};

// The live test of a scan: the same answer as ContactLiveStatements for
// every carved row, from one read of the content table. At its first use it
// reads the (c0First, c1Last, c15Phone) cells of every row into a set, each
// cell as the key under which SQLite's "=" finds it equal to a bound text:
// NULL (found only by "is NULL"); a text by its bytes, whole, in the form
// its collation compares (binary, NOCASE or RTRIM); an integer or real only
// in a column of numeric affinity, where a bound text that reads as a number
// becomes that number (SQLite itself converts it); a row with a cell that
// no bound text can equal (a blob, a number in a text column) is left out.
// A carved row is live when its values' key is in the set. In a file of
// another encoding than UTF-8, a table that is no ordinary table, under a
// collation of the caller's, or when the read fails, it runs the statements.
class ContactLiveTest {
 public:
  explicit ContactLiveTest(TSQLiteDatabase& db);
  ~ContactLiveTest();
  ContactLiveTest(const ContactLiveTest&) = delete;
  ContactLiveTest& operator=(const ContactLiveTest&) = delete;

  bool ContactIsLive(const std::string& first, const std::string& last,
                     const std::string& phone);

  // True when the answers come from the row set (known after the first
  // ContactIsLive).
  bool UsesRowSet() const { return mode_ == Mode::RowSet; }

  // How a key column compares a bound text: its affinity (a numeric one
  // turns a text that reads as a number into that number first) and its
  // collation.
  enum class Collation { Binary, NoCase, RTrim };
  struct KeyRule {
    bool numeric = false;
    Collation collation = Collation::Binary;
  };

 private:
  enum class Mode { Undecided, RowSet, Statements };
  void Decide();
  bool LoadRowSet();
  std::string CandidateKey(const std::string& first, const std::string& last,
                           const std::string& phone);

  TSQLiteDatabase& db_;
  Mode mode_ = Mode::Undecided;
  KeyRule rules_[3];
  std::unique_ptr<TSQLiteNumericAffinity> numericAffinity_;
  std::unordered_set<std::string> rows_;
  std::unique_ptr<ContactLiveStatements> statements_;
};

// The kind's parameters for the carving engine: the table, the fixed column
// layout, and the anchor walk in place of the candidate test. Each call makes
// a kind with its own live-test state; run it once.
CarveKind IosContactsKind();

// One whole scan of the file named by SourceRawPath / SourceDbPath into
// ContactRecords and the result list; returns when it has ended (also after
// Stop, a rejected file or an error of a live test, which keeps the hits so
// far). A live table of fewer than 17 columns has no phone column: the scan
// then reports no rows.
void RunIosContactsScan(ScanView& view);

}  // namespace velmora
