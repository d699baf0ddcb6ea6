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

ContactLiveTest::ContactLiveTest(TSQLiteDatabase& db) : db_(db) {}
ContactLiveTest::~ContactLiveTest() = default;

bool ContactLiveTest::ContactIsLive(const std::string& first, const std::string& last,
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
