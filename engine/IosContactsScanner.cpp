#include "engine/IosContactsScanner.h"

#include <algorithm>
#include <cstring>

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

std::optional<std::size_t> ContactHeaderFinder::NearestZero(std::size_t anchor) {
  if (anchor >= image_.size()) return std::nullopt;
  if (anchor >= scannedTo_) {
    for (std::size_t i = scannedTo_; i <= anchor; ++i) {
      if (image_[i] == 0) lastZero_ = i;
    }
    scannedTo_ = anchor + 1;
    return lastZero_;
  }
  // An anchor below the bytes already seen (the walk went back to a page
  // start): no zero lies between lastZero_ and scannedTo_.
  if (lastZero_ && *lastZero_ <= anchor) return lastZero_;
  for (std::size_t q = anchor; q >= 1; --q) {
    if (image_[q] == 0) return q;
  }
  return std::nullopt;
}

std::optional<std::size_t> ContactHeaderFinder::HeaderStart(std::size_t anchor) {
  const std::optional<std::size_t> zero = NearestZero(anchor);
  if (!zero) return std::nullopt;
  if (cachedZero_ == zero) return cachedStart_;
  // Signed: a byte of 0x80 or above at offset 0 moves q to -1.
  std::int64_t q = static_cast<std::int64_t>(*zero);
  int c = 0;
  while (c < columns_ && q > 0) {
    if (image_[static_cast<std::size_t>(q)] < 0x80) {
      ++c;
      --q;
    }
    if (image_[static_cast<std::size_t>(q)] >= 0x80) --q;
  }
  cachedZero_ = zero;
  cachedStart_ = c < columns_ ? std::nullopt
                              : std::optional<std::size_t>(static_cast<std::size_t>(q + 1));
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

// A key cell of the row set: NULL, or a text as its length and bytes.
void AppendNullKey(std::string& key) { key += 'N'; }
void AppendTextKey(std::string& key, std::string_view text) {
  key += 'T';
  const std::uint64_t n = text.size();
  for (int i = 0; i < 8; ++i) key += static_cast<char>((n >> (8 * i)) & 0xFF);
  key.append(text);
}

// The key of a carved row's three values: "NULL" is compared with "is NULL",
// any other value as a bound text.
std::string CandidateKey(const std::string& first, const std::string& last,
                         const std::string& phone) {
  std::string key;
  for (const std::string* v : {&first, &last, &phone}) {
    if (*v == "NULL") {
      AppendNullKey(key);
    } else {
      AppendTextKey(key, *v);
    }
  }
  return key;
}

}  // namespace

ContactLiveTest::ContactLiveTest(TSQLiteDatabase& db) : db_(db) {}
ContactLiveTest::~ContactLiveTest() = default;

bool ContactLiveTest::LoadRowSet() {
  // A bound text equals a stored value byte for byte only in a UTF-8 file
  // (another encoding converts it), in an ordinary table (a view or virtual
  // table compares as its definition says), without numeric affinity (which
  // turns "1.0" into a number) and under the binary collation.
  const std::unique_ptr<TSQLiteTable> encoding = db_.QueryAllRows("PRAGMA encoding");
  if (encoding->RowCount != 1 || encoding->CellString(0) != "UTF-8") return false;
  const std::unique_ptr<TSQLiteTable> list =
      db_.QueryAllRows(std::string("PRAGMA table_list(") + kContactsTable + ")");
  if (list->RowCount != 1) return false;
  const std::string type = list->CellString(list->ColumnIndexOf("type"));
  if ((type != "table" && type != "shadow") || list->CellString(list->ColumnIndexOf("strict")) != "0") {
    return false;
  }
  for (const char* column : kLiveKeyColumns) {
    const std::optional<TSQLiteColumnInfo> info = db_.ColumnInfo(kContactsTable, column);
    if (!info || AsciiUpper(info->Collation) != "BINARY") return false;
    const Affinity affinity = AffinityOfDeclaredType(info->DeclaredType);
    if (affinity != Affinity::Text && affinity != Affinity::None) return false;
  }
  rows_.clear();
  std::string key;
  db_.ForEachRow(std::string("select c0First, c1Last, c15Phone from ") + kContactsTable,
                 [&](const TSQLiteRow& row) {
                   key.clear();
                   for (int c = 0; c < 3; ++c) {
                     const int storage = row.StorageClass(c);
                     if (storage == kColumnNull) {
                       AppendNullKey(key);
                     } else if (storage == kColumnText) {
                       AppendTextKey(key, row.Bytes(c));
                     } else {
                       return;  // an integer, real or blob never equals a bound text
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
    mode_ = Mode::Statements;
    statements_ = std::make_unique<ContactLiveStatements>(db_);
  }
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
  const std::uint8_t* finderImage = nullptr;
  void Release() {
    liveTest.reset();
    database = nullptr;
  }
};

void AddContact(const std::string& name, const std::string& phone, bool live, CarveRun& run) {
  // Hit n goes to index n (the array is not emptied at the start).
  ContactRecords.resize(static_cast<std::size_t>(run.hits) + 1);
  PtelValue& c = ContactRecords.back();
  c.Name = name;
  c.Phone = phone;
  c.Deleted = !live;
  run.view.ResultListAddRow({name, phone, StatusWord(!live)});
  run.CountHit(live);
}

// The anchor walk over one page: at every offset whose bytes are a blank and
// a plus sign, the phone-text test, the walk back to the header, the decode
// and the live test. Returns the position the walk reached.
std::size_t WalkContactsPage(ContactsRunState& st, CarveRun& run, std::size_t pageEnd) {
  const std::span<const std::uint8_t> image = run.image;
  const std::uint8_t* bytes = image.data();
  const std::size_t end = std::min(pageEnd, image.size());
  if (!st.finder || st.finderImage != bytes) {
    st.finder = std::make_unique<ContactHeaderFinder>(image, st.columns);
    st.finderImage = bytes;
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
      const std::optional<std::size_t> start = st.finder->HeaderStart(p);
      if (!start) {
        p += match.g;  // no header in front: go on past the phone text
        continue;
      }
      if (DecodeRecordAt(image, *start, 0, st.columns, false, rec) != DecodeStatus::Ok) {
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
  return k;
}

void RunIosContactsScan(ScanView& view) {
  const CarveKind kind = IosContactsKind();
  RunCarve(view, kind);
}

}  // namespace velmora
