#include "engine/IosContactsScanner.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/ResultRows.h"
#include "engine/SQLiteFormat.h"
#include "engine/SQLiteTable3.h"

namespace velmora {

namespace fmt = sqlitefmt;

namespace {

bool BytesAre(std::span<const std::uint8_t> image, std::size_t off, std::string_view text) {
  if (!fmt::Fits(image.size(), off, text.size())) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (image[off + i] != static_cast<std::uint8_t>(text[i])) return false;
  }
  return true;
}

}  // namespace

PhoneTextMatch MatchPhoneText(std::span<const std::uint8_t> image, std::size_t p) {
  PhoneTextMatch r;
  if (!BytesAre(image, p, " +")) return r;
  std::size_t g = 1;
  std::uint16_t m = 0;
  bool first = false;
  bool second = false;
  while (g < 20) {
    if (BytesAre(image, p + g, " 00")) {
      m = static_cast<std::uint16_t>(g - 2);
      // X starts at p + 2; its first two characters are the country code.
      r.phone = m > 2 ? std::string(reinterpret_cast<const char*>(image.data() + p + 4), m - 2)
                      : std::string();
      g += m + 3;
      first = true;
    }
    if (first && BytesAre(image, p + g, " 011")) {
      g += m + 4;
      second = true;
    }
    if (first && second) {
      r.holds = true;
      r.g = g;
      return r;
    }
    ++g;
  }
  r.g = g;
  return r;
}

ContactHeaderFinder::ContactHeaderFinder(std::span<const std::uint8_t> image, int columns)
    : whole_(std::make_unique<CarveImage>(image)), image_(whole_.get()), columns_(columns) {}

ContactHeaderFinder::ContactHeaderFinder(const CarveImage& image, int columns)
    : image_(&image), columns_(columns) {}

ContactHeaderFinder::~ContactHeaderFinder() = default;

std::optional<std::uint64_t> ContactHeaderFinder::NearestZero(std::uint64_t anchor) {
  if (anchor >= image_->Total()) return std::nullopt;
  std::uint64_t zero = 0;
  if (anchor >= scannedTo_) {
    // The nearest zero among the bytes not yet seen, else the last one seen.
    if (image_->LastZeroIn(scannedTo_, anchor, zero)) lastZero_ = zero;
    scannedTo_ = anchor + 1;
    return lastZero_;
  }
  // An anchor below the bytes already seen (the walk went back to a page
  // start): no zero lies between lastZero_ and scannedTo_.
  if (lastZero_ && *lastZero_ <= anchor) return lastZero_;
  if (image_->LastZeroIn(1, anchor, zero)) return zero;
  return std::nullopt;
}

std::optional<std::uint64_t> ContactHeaderFinder::HeaderStart(std::uint64_t anchor) {
  const std::optional<std::uint64_t> zero = NearestZero(anchor);
  if (!zero) return std::nullopt;
  if (cachedZero_ == zero) return cachedStart_;
  // Signed: a byte of 0x80 or above at offset 0 moves q to -1.
  std::int64_t q = static_cast<std::int64_t>(*zero);
  int c = 0;
  const CarveImage& image = *image_;
  while (c < columns_ && q > 0) {
    if (image.ByteAt(static_cast<std::uint64_t>(q)) < 0x80) {
      ++c;
      --q;
    }
    if (image.ByteAt(static_cast<std::uint64_t>(q)) >= 0x80) --q;
  }
  cachedZero_ = zero;
  cachedStart_ = c < columns_ ? std::nullopt
                              : std::optional<std::uint64_t>(static_cast<std::uint64_t>(q + 1));
  return cachedStart_;
}

std::string ContactDisplayName(const std::string& first, const std::string& last) {
  std::string name = first + " " + last;
  for (std::size_t at = name.find("NULL"); at != std::string::npos; at = name.find("NULL", at)) {
    name.erase(at, 4);
  }
  return name;
}

std::string ContactLiveQueryText(bool firstIsNull, bool lastIsNull, bool phoneIsNull) {
  std::string sql = "select * from ABPersonFullTextSearch_content where ";
  sql += firstIsNull ? "   c0First is NULL" : "   c0First=?";
  sql += lastIsNull ? " and c1Last is NULL" : " and c1Last=?";
  sql += phoneIsNull ? " and c15Phone is NULL" : " and c15Phone=?";
  return sql;
}

ContactLiveStatements::ContactLiveStatements(TSQLiteDatabase& db) : db_(db) {}
ContactLiveStatements::~ContactLiveStatements() = default;

bool ContactLiveStatements::ContactIsLive(const std::string& first, const std::string& last,
                                          const std::string& phone) {
  const bool firstNull = first == "NULL";
  const bool lastNull = last == "NULL";
  const bool phoneNull = phone == "NULL";
  const int shape = (firstNull ? 4 : 0) | (lastNull ? 2 : 0) | (phoneNull ? 1 : 0);
  auto& query = shapes_[shape];
  if (!query) {
    query = std::make_unique<TSQLitePreparedQuery>(
        db_, ContactLiveQueryText(firstNull, lastNull, phoneNull));
  }
  std::vector<std::string> values;
  if (!firstNull) values.push_back(first);
  if (!lastNull) values.push_back(last);
  if (!phoneNull) values.push_back(phone);
  return query->Run(values)->RowCount > 0;
}

namespace {

// The key columns, in the order of the live test's statement.
constexpr const char* kLiveKeyColumns[3] = {"c0First", "c1Last", "c15Phone"};

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// SQLite's affinity of a declared type, by its rules in this order: INT
// gives integer; CHAR, CLOB or TEXT text; BLOB or no type none; REAL, FLOA
// or DOUB real; anything else numeric.
enum class Affinity { Integer, Text, None, Real, Numeric };
Affinity AffinityOfDeclaredType(const std::string& declared) {
  const std::string t = AsciiUpper(declared);
  auto has = [&](const char* word) { return t.find(word) != std::string::npos; };
  if (has("INT")) return Affinity::Integer;
  if (has("CHAR") || has("CLOB") || has("TEXT")) return Affinity::Text;
  if (has("BLOB") || t.empty()) return Affinity::None;
  if (has("REAL") || has("FLOA") || has("DOUB")) return Affinity::Real;
  return Affinity::Numeric;
}

using Collation = ContactLiveTest::Collation;

// Key cells of the row set, each a tag and its bytes, made so that two cells
// have the same key exactly when SQLite's "=" finds them equal under the
// column's rules: NULL (only "is NULL" finds it), an integer, a real that is
// no integer, or a text in its collation's form.
void AppendNullKey(std::string& key) { key += 'N'; }

void AppendEightBytes(std::string& key, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) key += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void AppendIntegerKey(std::string& key, std::int64_t v) {
  key += 'I';
  AppendEightBytes(key, static_cast<std::uint64_t>(v));
}

// A real equals an integer when it has the same value exactly.
void AppendRealKey(std::string& key, double v) {
  if (std::trunc(v) == v && v >= -9223372036854775808.0 && v < 9223372036854775808.0) {
    AppendIntegerKey(key, static_cast<std::int64_t>(v));
    return;
  }
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  key += 'R';
  AppendEightBytes(key, bits);
}

void AppendTextKey(std::string& key, std::string_view text, Collation collation) {
  key += 'T';
  switch (collation) {
    case Collation::Binary:
      break;
    case Collation::RTrim:
      // Trailing blanks do not count.
      while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
      break;
    case Collation::NoCase: {
      // Equal lengths, and equal up to the first NUL byte (which both hold
      // at the same place) with ASCII letters folded; the bytes after that
      // NUL are not compared.
      AppendEightBytes(key, text.size());
      const std::size_t nul = text.find('\0');
      const std::size_t compared = nul == std::string_view::npos ? text.size() : nul + 1;
      for (std::size_t i = 0; i < compared; ++i) {
        const char c = text[i];
        key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      }
      return;
    }
  }
  AppendEightBytes(key, text.size());
  key.append(text);
}

}  // namespace

ContactLiveTest::ContactLiveTest(TSQLiteDatabase& db) : db_(db) {}
ContactLiveTest::~ContactLiveTest() = default;

bool ContactLiveTest::LoadRowSet() {
  // The statement binds UTF-8 texts: in a file of another encoding they are
  // converted before they are compared. A view or a virtual table compares
  // as its definition says.
  const std::unique_ptr<TSQLiteTable> encoding = db_.QueryAllRows("PRAGMA encoding");
  if (encoding->RowCount != 1 || encoding->CellString(0) != "UTF-8") return false;
  const std::unique_ptr<TSQLiteTable> list =
      db_.QueryAllRows(std::string("PRAGMA table_list(") + kContactsTable + ")");
  if (list->RowCount != 1) return false;
  const std::string type = list->CellString(list->ColumnIndexOf("type"));
  if ((type != "table" && type != "shadow") || list->CellString(list->ColumnIndexOf("strict")) != "0") {
    return false;
  }
  bool anyNumeric = false;
  for (int c = 0; c < 3; ++c) {
    const std::optional<TSQLiteColumnInfo> info = db_.ColumnInfo(kContactsTable, kLiveKeyColumns[c]);
    if (!info) return false;
    const std::string collation = AsciiUpper(info->Collation);
    if (collation == "BINARY") {
      rules_[c].collation = Collation::Binary;
    } else if (collation == "NOCASE") {
      rules_[c].collation = Collation::NoCase;
    } else if (collation == "RTRIM") {
      rules_[c].collation = Collation::RTrim;
    } else {
      return false;  // a collation of the caller's, which only SQLite can apply
    }
    const Affinity affinity = AffinityOfDeclaredType(info->DeclaredType);
    rules_[c].numeric = affinity != Affinity::Text && affinity != Affinity::None;
    anyNumeric = anyNumeric || rules_[c].numeric;
  }
  if (anyNumeric) numericAffinity_ = std::make_unique<TSQLiteNumericAffinity>(db_);
  rows_.clear();
  std::string key;
  db_.ForEachRow(std::string("select c0First, c1Last, c15Phone from ") + kContactsTable,
                 [&](const TSQLiteRow& row) {
                   key.clear();
                   for (int c = 0; c < 3; ++c) {
                     switch (row.StorageClass(c)) {
                       case kColumnNull:
                         AppendNullKey(key);
                         break;
                       case kColumnText:
                         AppendTextKey(key, row.Bytes(c), rules_[c].collation);
                         break;
                       case kColumnInteger:
                         // A bound text becomes a number only in a numeric column.
                         if (!rules_[c].numeric) return;
                         AppendIntegerKey(key, row.Int64(c));
                         break;
                       case kColumnFloat:
                         if (!rules_[c].numeric) return;
                         AppendRealKey(key, row.Double(c));
                         break;
                       default:
                         return;  // a blob never equals a text or a number
                     }
                   }
                   rows_.insert(key);
                 });
  return true;
}

void ContactLiveTest::Decide() {
  bool loaded = false;
  try {
    loaded = LoadRowSet();
  } catch (const ESQLiteException&) {
    // The statements meet the same fault and report it as the scan expects.
    loaded = false;
  }
  if (loaded) {
    mode_ = Mode::RowSet;
  } else {
    rows_.clear();
    numericAffinity_.reset();
    mode_ = Mode::Statements;
    statements_ = std::make_unique<ContactLiveStatements>(db_);
  }
}

// The key of a carved row's three values: "NULL" is compared with "is NULL",
// any other value as a bound text, which a numeric column first turns into
// a number when it reads as one.
std::string ContactLiveTest::CandidateKey(const std::string& first, const std::string& last,
                                          const std::string& phone) {
  std::string key;
  const std::string* values[3] = {&first, &last, &phone};
  for (int c = 0; c < 3; ++c) {
    const std::string& v = *values[c];
    if (v == "NULL") {
      AppendNullKey(key);
      continue;
    }
    if (rules_[c].numeric) {
      const TSQLiteNumericText n = numericAffinity_->Apply(v);
      if (n.StorageClass == kColumnInteger) {
        AppendIntegerKey(key, n.Int);
        continue;
      }
      if (n.StorageClass == kColumnFloat) {
        AppendRealKey(key, n.Real);
        continue;
      }
    }
    AppendTextKey(key, v, rules_[c].collation);
  }
  return key;
}

bool ContactLiveTest::ContactIsLive(const std::string& first, const std::string& last,
                                    const std::string& phone) {
  if (mode_ == Mode::Undecided) Decide();
  if (mode_ == Mode::Statements) return statements_->ContactIsLive(first, last, phone);
  return rows_.contains(CandidateKey(first, last, phone));
}

}  // namespace velmora

namespace velmora {

namespace {

// The address book's column names, by position.
constexpr const char* kLayout[kContactsLayoutColumns] = {
    "docid",        "c0First",         "c1Last",       "c2Middle",
    "c3FirstPhonetic", "c4MiddlePhonetic", "c5LastPhonetic", "c6Organization",
    "c7Department", "c8Note",          "c9Birthday",   "c10JobTitle",
    "c11Nickname",  "c12Prefix",       "c13Suffix",    "c14DisplayName",
    "c15Phone",     "c16Email",        "c17Address",   "c18SocialProfile",
    "c19URL",       "c20RelatedNames", "c21IM",        "c22Date"};

// Candidates between two looks at the clock of the message pump.
constexpr std::size_t kBytesPerTick = 4096;

// The live test and header finder of one run. The statements must be
// finalized before the run closes the database, on every way out.
struct ContactsRunState {
  int columns = 0;  // N: commas of the live CREATE text + 1
  std::unique_ptr<ContactLiveTest> liveTest;
  TSQLiteDatabase* database = nullptr;
  std::unique_ptr<ContactHeaderFinder> finder;
  std::uint64_t finderImage = 0;  // the serial of the image it reads
  void Release() {
    liveTest.reset();
    database = nullptr;
  }
};

void AddContact(std::string_view name, std::string_view phone, bool live, CarveRun& run) {
  // Hit n goes to index n (the array is not emptied at the start).
  const auto n = static_cast<std::size_t>(run.hits);
  PtelValue& c = ResultSlot(ContactRecords, n);
  c.Name = ContactRecords.Keep(name);
  c.Phone = ContactRecords.Keep(phone);
  c.Deleted = !live;
  run.view.ResultListAddRecord(kKindContacts, n);
  run.CountHit(live);
}

// The anchor walk over one page: at every offset whose bytes are a blank and
// a plus sign, the phone-text test, the walk back to the header, the decode
// and the live test. Returns the position the walk reached.
std::size_t WalkContactsPage(ContactsRunState& st, CarveRun& run, std::size_t pageEnd) {
  // The window holds the page and the bytes just after it; the finder and
  // the decode read what lies outside it from the file.
  const std::span<const std::uint8_t> image = run.image;
  const std::uint8_t* bytes = image.data();
  const std::size_t end = std::min(pageEnd, image.size());
  if (!st.finder || st.finderImage != run.image.Serial()) {
    st.finder = std::make_unique<ContactHeaderFinder>(run.image, st.columns);
    st.finderImage = run.image.Serial();
  }
  if (!st.liveTest || st.database != run.database) {
    // One read transaction for all the live tests of the walk: the file is
    // locked and checked once, not once per candidate.
    run.database->RunStatement("BEGIN");
    st.liveTest = std::make_unique<ContactLiveTest>(*run.database);
    st.database = run.database;
  }
  CarvedRecord rec;
  std::size_t p = run.pos;
  while (p < end) {
    const std::size_t chunkEnd = std::min(end, p + kBytesPerTick);
    while (p < chunkEnd) {
      // The anchor: a blank followed by a plus sign.
      const void* blank = std::memchr(bytes + p, 0x20, chunkEnd - p);
      if (!blank) {
        p = chunkEnd;
        break;
      }
      p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(blank) - bytes);
      if (p + 1 >= image.size() || bytes[p + 1] != 0x2B) {
        ++p;
        continue;
      }
      const PhoneTextMatch match = MatchPhoneText(image, p);
      if (!match.holds) {
        ++p;
        continue;
      }
      const std::optional<std::uint64_t> start = st.finder->HeaderStart(run.image.Start() + p);
      if (!start) {
        p += match.g;  // no header in front: go on past the phone text
        continue;
      }
      if (DecodeRecordAtFileOffset(run.image, *start, 0, st.columns, false, rec) != DecodeStatus::Ok) {
        ++p;
        continue;
      }
      const std::string first = rec.Text(kContactsFirstColumn);
      const std::string last = rec.Text(kContactsLastColumn);
      const bool live = st.liveTest->ContactIsLive(first, last, rec.Text(kContactsPhoneColumn));
      AddContact(ContactDisplayName(first, last), match.phone, live, run);
      ++p;
      run.Tick();
    }
    run.Tick();
  }
  return p;
}

}  // namespace

CarveKind IosContactsKind() {
  auto state = std::make_shared<ContactsRunState>();
  CarveKind k;
  k.kindCode = kKindContacts;
  k.taggedTree = true;
  k.word = "通讯录";
  k.onSetUp = [] { ContactDataRows.clear(); };
  k.tableName = kContactsTable;
  k.missingTableText = "没有找到通讯录，扫描结束！";
  k.emptySchemaText = "没有找到通讯录，扫描结束！";
  k.keepDatabaseOpen = true;
  k.bodyCut = 2;
  k.blobKind = false;
  k.keyNames = {"c0first", "c1last", "c15phone"};
  k.decodeBlobs = false;
  // The live text gives the column count only; the descriptors and the key
  // positions are those of the address book's layout.
  k.adjustColumns = [state](ATableField& columns, std::vector<int>& keys) {
    state->columns = static_cast<int>(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
      PTableField f;
      if (i < static_cast<std::size_t>(kContactsLayoutColumns)) {
        f.Name = kLayout[i];
        f.Kind = i == 0 ? "i" : "c";
        f.MaxSerialType = i == 0 ? 9 : 13;
      }
      columns[i] = f;
    }
    keys = {kContactsFirstColumn, kContactsLastColumn, kContactsPhoneColumn};
  };
  k.scanPage = [state](CarveRun& run, std::size_t pageEnd) {
    // Without a phone column there is nothing to carve.
    if (state->columns <= kContactsPhoneColumn || !run.database) {
      run.pos = pageEnd;
      return;
    }
    try {
      run.pos = WalkContactsPage(*state, run, pageEnd);
    } catch (...) {
      state->Release();  // the run closes the database next
      throw;
    }
  };
  k.statusText = " 条联系人, ";
  k.logText = " 条联系人, 其中有";
  k.statusAtFinish = true;
  k.afterWalk = [state](CarveRun&) { state->Release(); };
  k.beforeFinishUi = [state](CarveRun&) { state->Release(); };
  k.onAbort = [state](CarveRun&) { state->Release(); };
  return k;
}

void RunIosContactsScan(ScanView& view) {
  const CarveKind kind = IosContactsKind();
  RunCarve(view, kind);
}

}  // namespace velmora
