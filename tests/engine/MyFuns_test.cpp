// The value, text and time helpers: field splitting, bit strings, byte swaps,
// the phone time bases as text under both sets of formats, the packed DVR
// time, INI values of every kind, the folder listing, the folder chooser's
// trailing "/" and the result-list comparator.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/MyFuns_.h"
#include "engine/ScanView.h"
#include "platform/Shell.h"
#include "platform/System.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A scratch folder removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "myfuns-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }
  std::string Slash() const { return path_.string() + "/"; }

 private:
  fs::path path_;
};

void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every test starts from the system formats and leaves them so.
class MyFunsTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetSystemFormats(); }
};

// ---------------------------------------------------------------- SplitField
struct SplitCase {
  const char* text;
  char sep;
  int index;
  const char* field;
};

class SplitFieldCases : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFieldCases, GivesField) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(SplitField(c.text, c.sep, c.index), c.field)
      << "text " << c.text << " index " << c.index;
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitFieldCases,
                         ::testing::Values(SplitCase{"a,b,c", ',', 0, "a"},
                                           SplitCase{"a,b,c", ',', 1, "b"},
                                           SplitCase{"a,b,c", ',', 2, "c"},
                                           SplitCase{"a,b,c", ',', 5, "c"},  // beyond: the last
                                           SplitCase{"abc", ',', 0, ""},     // no Sep at all
                                           SplitCase{"abc", ',', 1, "abc"},
                                           SplitCase{"", ',', 0, ""},
                                           SplitCase{"", ',', 3, ""},
                                           SplitCase{",x", ',', 0, ""},
                                           SplitCase{",x", ',', 1, "x"},
                                           SplitCase{"a,,c", ',', 1, ""},
                                           SplitCase{"a,,c", ',', 2, "c"},
                                           SplitCase{"a,b,", ',', 2, ""},
                                           SplitCase{"a,b,", ',', 9, ""},
                                           SplitCase{"k=v", '=', 1, "v"}));

// ---------------------------------------------------------------- bit strings
struct IntToBinCase {
  std::uint32_t value;
  int bits;
  const char* text;
};

class IntToBinCases : public ::testing::TestWithParam<IntToBinCase> {};

TEST_P(IntToBinCases, GivesDigits) {
  EXPECT_EQ(IntToBin(GetParam().value, GetParam().bits), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntToBinCases,
    ::testing::Values(IntToBinCase{5, 8, "00000101"}, IntToBinCase{133, 8, "10000101"},
                      IntToBinCase{0xFF, 8, "11111111"}, IntToBinCase{0x1FF, 8, "11111111"},
                      IntToBinCase{5, 3, "101"}, IntToBinCase{5, 0, ""}, IntToBinCase{5, -4, ""},
                      IntToBinCase{0x80000000u, 32, "10000000000000000000000000000000"},
                      // Positions past 31 read bit (p mod 32).
                      IntToBinCase{1, 34, "0100000000000000000000000000000001"}));

struct BinCase {
  const char* text;
  std::int64_t value;
};

class BinToInt64Cases : public ::testing::TestWithParam<BinCase> {};

TEST_P(BinToInt64Cases, GivesValue) { EXPECT_EQ(BinToInt64(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    Cases, BinToInt64Cases,
    ::testing::Values(BinCase{"0000101", 5}, BinCase{"", 0}, BinCase{"1", 1},
                      BinCase{"10000101", 133}, BinCase{"0", 0},
                      BinCase{"2", 2},    // each character is read as a decimal digit
                      BinCase{"21", 5},   // 2*2 + 1
                      BinCase{"111111111111111111111111111111111111111111111111111111111111111",
                              std::numeric_limits<std::int64_t>::max()},
                      // 64 ones wrap to all bits set.
                      BinCase{"1111111111111111111111111111111111111111111111111111111111111111",
                              -1}));

TEST(BinToInt64, NonDigitRaisesConversionError) {
  for (const std::string text : {"01a", " 1", "1-", "\xE4\xB8\xAD"}) {
    try {
      BinToInt64(text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
    }
  }
}

TEST(HexToInt64, ReadsHexadecimal) {
  EXPECT_EQ(HexToInt64("0"), 0);
  EXPECT_EQ(HexToInt64("ff"), 255);
  EXPECT_EQ(HexToInt64("7FFFFFFFFFFFFFFF"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(HexToInt64("FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(HexToInt64("0000000000000000001"), 1);
  EXPECT_EQ(HexToInt64("1B4A1245"), 0x1B4A1245);
}

TEST(HexToInt64, BadTextRaisesConversionError) {
  for (const std::string text : {"", "G1", "-1", "1 ", "10000000000000000"}) {
    try {
      HexToInt64(text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'$" + text + "' is not a valid integer value");
    }
  }
}

TEST(Int64ToBin, DigitsWithoutLeadingZeros) {
  EXPECT_EQ(Int64ToBin(0), "");
  EXPECT_EQ(Int64ToBin(6), "110");
  EXPECT_EQ(Int64ToBin(1), "1");
  EXPECT_EQ(Int64ToBin(-5), "");
  EXPECT_EQ(Int64ToBin(std::numeric_limits<std::int64_t>::max()), std::string(63, '1'));
  EXPECT_EQ(BinToInt64(Int64ToBin(0x1234567890LL)), 0x1234567890LL);
}

// ---------------------------------------------------------------- swaps
TEST(Swaps, ReverseBytes) {
  EXPECT_EQ(SwapWord(16), 4096);  // page size bytes 10 00 read in host order
  EXPECT_EQ(SwapWord(0x1234), 0x3412);
  EXPECT_EQ(SwapLong(1024), 262144u);
  EXPECT_EQ(SwapLong(0x12345678u), 0x78563412u);
  EXPECT_EQ(SwapInt64(0x0102030405060708ULL), 0x0807060504030201ULL);
  EXPECT_EQ(SwapInt64(SwapInt64(0xDEADBEEF00C0FFEEULL)), 0xDEADBEEF00C0FFEEULL);
}

// ---------------------------------------------------------------- times
struct TimeCase {
  const char* name;
  bool cocoa;
  std::int64_t ms;
  const char* text;
};

class TimeTextCases : public MyFunsTest, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(TimeTextCases, ProgramFormats) {
  SetProgramFormats();
  const TimeCase& c = GetParam();
  EXPECT_EQ(c.cocoa ? CocoaMsToText(c.ms) : UnixMsToText(c.ms), c.text);
}

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeTextCases,
    ::testing::Values(
        TimeCase{"UnixZero", false, 0, "1970-01-01 08:00:00"},
        TimeCase{"CocoaZero", true, 0, "2001-01-01 08:00:00"},
        TimeCase{"MidnightDateOnly", false, 57'600'000, "1970-01-02"},
        TimeCase{"OneMsAfterMidnight", false, 57'600'001, "1970-01-02 00:00:00"},
        TimeCase{"MillisecondsNotShown", false, 999, "1970-01-01 08:00:00"},
        TimeCase{"UnixSeconds", false, 1'393'994'096'000LL, "2014-03-05 12:34:56"},
        TimeCase{"CocoaSeconds", true, 415'686'896'000LL, "2014-03-05 12:34:56"},
        TimeCase{"BeforeEpoch", false, -28'800'000, "1970-01-01"},
        TimeCase{"NegativeMs", false, -1, "1970-01-01 07:59:59"},
        TimeCase{"CocoaNegative", true, -86'400'000, "2000-12-31 08:00:00"},
        TimeCase{"LeapDay", false, 951'753'600'000LL, "2000-02-29"},
        // Outside the years 1 to 9999 the text stays at the ends of that range.
        TimeCase{"HugeIsLastMoment", false, kMax, "9999-12-31 23:59:59"},
        TimeCase{"HugeCocoa", true, kMax, "9999-12-31 23:59:59"},
        TimeCase{"MostNegativeIsFirstDay", false, kMin, "0001-01-01"},
        TimeCase{"MostNegativeCocoa", true, kMin, "0001-01-01"},
        TimeCase{"Year999", false, -30'610'310'400'000LL, "0999-12-31 08:00:00"}),
    [](const ::testing::TestParamInfo<TimeCase>& info) { return std::string(info.param.name); });

TEST_F(MyFunsTest, TimeTextFollowsCurrentFormats) {
  CurrentFormats() = FormatSettings{"yyyy/m/d", "h:nn:ss"};
  EXPECT_EQ(UnixMsToText(0), "1970/1/1 8:00:00");
  EXPECT_EQ(UnixMsToText(57'600'000), "1970/1/2");
  SetProgramFormats();
  EXPECT_EQ(CurrentFormats().ShortDateFormat, "yyyy-mm-dd");
  EXPECT_EQ(CurrentFormats().LongTimeFormat, "hh:mm:ss");
  EXPECT_EQ(UnixMsToText(0), "1970-01-01 08:00:00");
}

// The program's formats are written by a route of their own; the same
// patterns in capitals take the general pattern route. Both give one text.
TEST_F(MyFunsTest, ProgramFormatsTextEqualsGeneralPatternText) {
  constexpr std::int64_t kDay = 86'400'000;
  constexpr std::int64_t kHour = 3'600'000;
  std::vector<std::int64_t> times = {
      0, 1, -1, 999, 1000, -999, -1000, 57'600'000, 57'600'001, 57'599'999, -28'800'000,
      -28'800'001, -28'799'999, 946'684'800'000LL - 8 * kHour,  // 2000-01-01 00:00 at UTC+8
      946'684'800'000LL - 8 * kHour - 1, 946'684'800'000LL - 8 * kHour + 1,
      946'684'800'000LL - 8 * kHour - kDay, 915'148'800'000LL - 8 * kHour,  // 1999-01-01
      951'753'600'000LL, 951'782'400'000LL, 4'102'444'800'000LL, 4'102'444'800'000LL - 8 * kHour,
      -2'208'988'800'000LL, -62'135'596'800'000LL, -62'135'596'800'001LL, 253'402'300'799'999LL,
      253'402'300'800'000LL, 253'402'300'800'000LL - 8 * kHour, -30'610'310'400'000LL,
      kMax, kMin, kMax - 1, kMin + 1, 1'393'994'096'000LL, -978'307'200'000LL};
  std::uint64_t seed = 7;
  for (int i = 0; i < 20000; ++i) {  // spread over the years 1 to 9999 and past them
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    const auto r = static_cast<std::int64_t>(seed >> 1);
    times.push_back(r % 330'000'000'000'000LL - 64'000'000'000'000LL);
    times.push_back((r % 4'000'000'000LL) * 1000);  // whole seconds, midnights among them
    times.push_back((r % 200'000) * kDay - 8 * kHour);  // midnights at UTC+8
  }
  for (const std::int64_t ms : times) {
    SetProgramFormats();
    const std::string unixProgram = UnixMsToText(ms), cocoaProgram = CocoaMsToText(ms);
    CurrentFormats() = FormatSettings{"YYYY-MM-DD", "HH:MM:SS"};
    EXPECT_EQ(unixProgram, UnixMsToText(ms)) << ms;
    EXPECT_EQ(cocoaProgram, CocoaMsToText(ms)) << ms;
    CurrentFormats() = FormatSettings{"yyyy-mm-dd", "hh:nn:ss"};
    EXPECT_EQ(unixProgram, UnixMsToText(ms)) << ms;
    EXPECT_EQ(cocoaProgram, CocoaMsToText(ms)) << ms;
  }
}

struct PatternCase {
  const char* pattern;
  const char* text;  // of 2013-07-04 09:05:03.007
};

class PatternCases : public MyFunsTest, public ::testing::WithParamInterface<PatternCase> {};

TEST_P(PatternCases, Formats) {
  CurrentFormats().ShortDateFormat = GetParam().pattern;
  DateTimeParts t;
  t.Year = 2013, t.Month = 7, t.Day = 4, t.Hour = 9, t.Minute = 5, t.Second = 3,
  t.Millisecond = 7;
  EXPECT_EQ(FormatDate(t), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternCases,
    ::testing::Values(PatternCase{"yyyy-mm-dd", "2013-07-04"}, PatternCase{"yyyy/m/d", "2013/7/4"},
                      PatternCase{"dd.mm.yy", "04.07.13"}, PatternCase{"YYYY-MM-DD", "2013-07-04"},
                      PatternCase{"hh:mm:ss", "09:05:03"},  // mm after hh: minutes
                      PatternCase{"h:nn:ss.zzz", "9:05:03.007"},
                      PatternCase{"h mm", "9 05"},          // a blank between: still minutes
                      PatternCase{"hh:nn mm", "09:05 07"},  // after n, not h: the month
                      PatternCase{"hh dd/mm", "09 04/07"},  // another specifier between: month
                      PatternCase{"yyyy\"y\"m", "2013y7"},  // quoted literal
                      PatternCase{"yyyy年m月d日", "2013年7月4日"}));

TEST_F(MyFunsTest, PlainCLocaleGivesDefaultSystemFormats) {
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  setenv("LC_ALL", "C", 1);
  ResetSystemFormats();
  EXPECT_EQ(CurrentFormats().ShortDateFormat, "yyyy/m/d");
  EXPECT_EQ(CurrentFormats().LongTimeFormat, "h:nn:ss");
  if (saved)
    setenv("LC_ALL", keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

TEST(DvrTimeToText, PackedFieldsWithoutLeadingZeros) {
  const std::uint64_t packed = (13ULL << 26) | (7ULL << 22) | (4ULL << 17) | (9ULL << 12) |
                               (5ULL << 6) | 3ULL;
  EXPECT_EQ(DvrTimeToText("-", ".", packed), "2013-7-4 9.5.3");
  EXPECT_EQ(DvrTimeToText("/", ":", 0), "2000/0/0 0:0:0");
  EXPECT_EQ(DvrTimeToText("-", ".", 0xFFFFFFFFULL), "2063-15-31 31.63.63");
  EXPECT_EQ(DvrTimeToText("-", ".", packed | (0xABCDULL << 32)), "2013-7-4 9.5.3");
}

// ---------------------------------------------------------------- INI values
class IniValueTest : public MyFunsTest {
 protected:
  void SetUp() override { file_ = dir_.Slash() + "config.ini"; }
  TempDir dir_;
  std::string file_;
};

TEST_F(IniValueTest, MissingFileReadsDefaultOfEachKind) {
  EXPECT_EQ(ReadIniValue(file_, "main", "k", kIniInteger, IniValue{std::int64_t{7}}),
            IniValue{std::int64_t{7}});
  EXPECT_EQ(ReadIniValue(file_, "main", "k", kIniFloat, IniValue{1.5}), IniValue{1.5});
  EXPECT_EQ(ReadIniValue(file_, "main", "k", kIniString, IniValue{std::string("0")}),
            IniValue{std::string("0")});
  EXPECT_EQ(ReadIniValue(file_, "main", "k", kIniString, IniValue{std::int64_t{3}}),
            IniValue{std::string("3")});  // the default converted to text
  EXPECT_EQ(ReadIniValue(file_, "main", "k", kIniBool, IniValue{true}), IniValue{true});
  EXPECT_EQ(ReadIniValue(file_, "main", "k", kIniDate, IniValue{2.0}), IniValue{2.0});
  EXPECT_EQ(ReadIniValue(file_, "main", "k", 7, IniValue{std::int64_t{1}}),
            IniValue{std::monostate{}});
  EXPECT_EQ(ReadIniString(file_, "main", "title", "Kestrova"), "Kestrova");
  EXPECT_FALSE(fs::exists(file_));
}

TEST_F(IniValueTest, StringWriteCreatesFileAndReadsBack) {
  WriteIniValue(file_, "main", "ver", kIniString, IniValue{std::string("2.0 ")});
  WriteIniValue(file_, "main", "title", kIniString, IniValue{std::string("手机")});
  EXPECT_EQ(ReadAll(file_), "[main]\r\nver=2.0 \r\ntitle=\xCA\xD6\xBB\xFA\r\n");
  EXPECT_EQ(ReadIniString(file_, "MAIN", "Title", ""), "手机");
  EXPECT_EQ(ReadIniString(file_, "main", "ver", "0"), "2.0");
}

TEST_F(IniValueTest, TypedValuesRoundTrip) {
  SetProgramFormats();
  WriteIniValue(file_, "s", "i", kIniInteger, IniValue{std::int64_t{-42}});
  WriteIniValue(file_, "s", "f", kIniFloat, IniValue{2.5});
  WriteIniValue(file_, "s", "b", kIniBool, IniValue{true});
  WriteIniValue(file_, "s", "n", kIniBool, IniValue{false});
  // 2013-07-04 is day 41459 of the date values; .375 is 09:00.
  WriteIniValue(file_, "s", "dt", kIniDateTime, IniValue{41459.375});
  WriteIniValue(file_, "s", "d", kIniDate, IniValue{41459.375});
  WriteIniValue(file_, "s", "t", kIniTime, IniValue{41459.375});
  WriteIniValue(file_, "s", "midnight", kIniDateTime, IniValue{41459.0});
  WriteIniValue(file_, "s", "none", 9, IniValue{std::int64_t{1}});
  EXPECT_EQ(ReadAll(file_),
            "[s]\r\ni=-42\r\nf=2.5\r\nb=1\r\nn=0\r\ndt=2013-07-04 09:00:00\r\nd=2013-07-04\r\n"
            "t=09:00:00\r\nmidnight=2013-07-04\r\n");

  const IniValue none;
  EXPECT_EQ(ReadIniValue(file_, "s", "i", kIniInteger, none), IniValue{std::int64_t{-42}});
  EXPECT_EQ(ReadIniValue(file_, "s", "f", kIniFloat, none), IniValue{2.5});
  EXPECT_EQ(ReadIniValue(file_, "s", "b", kIniBool, none), IniValue{true});
  EXPECT_EQ(ReadIniValue(file_, "s", "n", kIniBool, IniValue{true}), IniValue{false});
  EXPECT_EQ(ReadIniValue(file_, "s", "dt", kIniDateTime, none), IniValue{41459.375});
  EXPECT_EQ(ReadIniValue(file_, "s", "d", kIniDate, none), IniValue{41459.0});
  EXPECT_EQ(ReadIniValue(file_, "s", "t", kIniTime, none), IniValue{0.375});
  EXPECT_EQ(ReadIniValue(file_, "s", "midnight", kIniDateTime, none), IniValue{41459.0});
}

TEST_F(IniValueTest, ValueThatDoesNotConvertReadsDefault) {
  std::ofstream(file_) << "[s]\nnum=12x\nbig=99999999999\nf=1.5.2\nd=2013-13-01\nt=25:00\n"
                          "hex=$1F\nb=yes\n";
  const IniValue seven{std::int64_t{7}};
  EXPECT_EQ(ReadIniValue(file_, "s", "num", kIniInteger, seven), seven);
  EXPECT_EQ(ReadIniValue(file_, "s", "big", kIniInteger, seven), seven);
  EXPECT_EQ(ReadIniValue(file_, "s", "hex", kIniInteger, seven), IniValue{std::int64_t{31}});
  EXPECT_EQ(ReadIniValue(file_, "s", "f", kIniFloat, IniValue{0.5}), IniValue{0.5});
  EXPECT_EQ(ReadIniValue(file_, "s", "d", kIniDate, IniValue{1.0}), IniValue{1.0});
  EXPECT_EQ(ReadIniValue(file_, "s", "t", kIniTime, IniValue{1.0}), IniValue{1.0});
  EXPECT_EQ(ReadIniValue(file_, "s", "b", kIniBool, IniValue{true}), IniValue{true});
}

// The general float text and what the float route of the INI writes and reads
// back.
struct FloatCase {
  double value;
  const char* text;
};
const FloatCase kFloatCases[] = {
    {0.0, "0"},
    {-0.0, "0"},
    {1.0, "1"},
    {-1.0, "-1"},
    {2.5, "2.5"},
    {-0.5, "-0.5"},
    {100.0, "100"},
    {12345.678, "12345.678"},
    {0.1 + 0.2, "0.3"},  // 0.30000000000000004: rounded at 15 digits
    {1.0 / 3, "0.333333333333333"},
    {-2.0 / 3, "-0.666666666666667"},
    // Integers: fixed up to 15 digits, then the exponent form.
    {123456789012345.0, "123456789012345"},
    {999999999999999.0, "999999999999999"},
    {999999999999999.9, "1E15"},  // rounds up to 16 digits
    {1e15, "1E15"},
    {1234567890123456.0, "1.23456789012346E15"},
    {1234567890123454.0, "1.23456789012345E15"},
    {1234567890123465.0, "1.23456789012347E15"},  // a tie rounds away from zero
    {-1234567890123465.0, "-1.23456789012347E15"},
    {1e20, "1E20"},
    {-1e20, "-1E20"},
    {1.5e300, "1.5E300"},
    {std::numeric_limits<double>::max(), "1.79769313486232E308"},
    // Small values: fixed from 0.00001 on, the exponent form below it.
    {0.00001, "0.00001"},
    {-0.0000123, "-0.0000123"},
    {9.999999999999999e-6, "0.00001"},  // rounds up to 0.00001
    {0.0000099999, "9.9999E-6"},
    {0.000001, "1E-6"},
    {-2.5e-6, "-2.5E-6"},
    {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
    {std::numeric_limits<double>::quiet_NaN(), "NAN"},
    {std::numeric_limits<double>::infinity(), "INF"},
    {-std::numeric_limits<double>::infinity(), "-INF"},
};

TEST(FloatToTextTest, FifteenSignificantDigitsInFixedOrExponentForm) {
  for (const FloatCase& c : kFloatCases) EXPECT_EQ(FloatToText(c.value), c.text) << c.text;
}

TEST_F(IniValueTest, TheFloatRouteWritesTheGeneralFloatTextAndReadsItBack) {
  for (const FloatCase& c : kFloatCases) {
    SCOPED_TRACE(c.text);
    fs::remove(file_);
    WriteIniValue(file_, "s", "f", kIniFloat, IniValue{c.value});
    EXPECT_EQ(ReadAll(file_), std::string("[s]\r\nf=") + c.text + "\r\n");
    // Read back: the value of the text (at 15 digits); a text that is no
    // finite double (NAN, INF, and the largest double, which rounds up past
    // the range) reads the default.
    const double parsed = std::strtod(c.text, nullptr);
    EXPECT_EQ(ReadIniValue(file_, "s", "f", kIniFloat, IniValue{-7.0}),
              IniValue{std::isfinite(parsed) ? parsed : -7.0});
  }
  // Other values on the float route, and a float on the text route.
  WriteIniValue(file_, "s", "int", kIniFloat, IniValue{std::int64_t{1234567890123456}});
  WriteIniValue(file_, "s", "text", kIniFloat, IniValue{std::string("1e-7")});
  WriteIniValue(file_, "s", "bool", kIniFloat, IniValue{true});
  WriteIniValue(file_, "s", "string", kIniString, IniValue{1e20});
  EXPECT_EQ(ReadIniString(file_, "s", "int", ""), "1.23456789012346E15");
  EXPECT_EQ(ReadIniString(file_, "s", "text", ""), "1E-7");
  EXPECT_EQ(ReadIniString(file_, "s", "bool", ""), "1");
  EXPECT_EQ(ReadIniString(file_, "s", "string", ""), "1E20");
  EXPECT_EQ(ReadIniValue(file_, "s", "text", kIniFloat, IniValue{}), IniValue{1e-7});
  // A float default of a text read is given in the same text.
  EXPECT_EQ(ReadIniValue(file_, "s", "missing", kIniString, IniValue{0.00001}),
            IniValue{std::string("0.00001")});
}

// ---------------------------------------------------------------- folders
// The listing the helper must give, walked here from the platform's own
// entry order: a folder's entries, each sub-folder's entries right after it.
void ExpectedListing(const std::string& folder, std::vector<std::string>& files,
                     std::vector<std::string>& dirs) {
  for (const platform::DirEntry& e : platform::ListDirectory(folder)) {
    if (e.IsDirectory) {
      dirs.push_back(folder + e.Name);
      if (!e.IsSymlink) ExpectedListing(folder + e.Name + "/", files, dirs);
    } else {
      files.push_back(folder + e.Name);
    }
  }
}

class ListFolderTest : public MyFunsTest {
 protected:
  void SetUp() override {
    const fs::path& p = dir_.Path();
    fs::create_directories(p / "a" / "b");
    fs::create_directories(p / "c");
    Touch(p / "top.txt");
    Touch(p / "a" / "x.TXT");
    Touch(p / "a" / "b" / "y.db");
    Touch(p / "c" / "z.txt");
  }
  TempDir dir_;
};

TEST_F(ListFolderTest, RecurseListsDepthFirstInFileSystemOrder) {
  std::vector<std::string> files, dirs;
  ListFolder(dir_.Slash(), "", true, files, dirs);
  std::vector<std::string> wantFiles, wantDirs;
  ExpectedListing(dir_.Slash(), wantFiles, wantDirs);
  EXPECT_EQ(files, wantFiles);
  EXPECT_EQ(dirs, wantDirs);
  ASSERT_EQ(files.size(), 4u);
  ASSERT_EQ(dirs.size(), 3u);
  // a/b comes right after a, whatever the order of the entries of the root.
  const std::string root = dir_.Slash();
  const auto a = std::find(dirs.begin(), dirs.end(), root + "a");
  ASSERT_NE(a, dirs.end());
  ASSERT_NE(a + 1, dirs.end());
  EXPECT_EQ(*(a + 1), root + "a/b");
  // a's files (x.TXT and b's y.db) sit together in the file list.
  const auto x = std::find(files.begin(), files.end(), root + "a/x.TXT");
  const auto y = std::find(files.begin(), files.end(), root + "a/b/y.db");
  ASSERT_NE(x, files.end());
  ASSERT_NE(y, files.end());
  EXPECT_EQ(std::abs(static_cast<int>(x - y)), 1);
}

TEST_F(ListFolderTest, WithoutRecurseOnlyTheFolderItself) {
  std::vector<std::string> files{"kept"}, dirs;
  ListFolder(dir_.Slash(), "", false, files, dirs);
  EXPECT_EQ(files, (std::vector<std::string>{"kept", dir_.Slash() + "top.txt"}));
  std::sort(dirs.begin(), dirs.end());
  EXPECT_EQ(dirs, (std::vector<std::string>{dir_.Slash() + "a", dir_.Slash() + "c"}));
}

TEST_F(ListFolderTest, NameFilterIgnoresCase) {
  std::vector<std::string> files, dirs;
  ListFolder(dir_.Slash(), "txt", true, files, dirs);
  std::sort(files.begin(), files.end());
  const std::string r = dir_.Slash();
  EXPECT_EQ(files, (std::vector<std::string>{r + "a/x.TXT", r + "c/z.txt", r + "top.txt"}));
  EXPECT_EQ(dirs.size(), 3u);  // folders are listed whatever the filter
}

TEST_F(ListFolderTest, MissingFolderListsNothing) {
  std::vector<std::string> files, dirs;
  ListFolder(dir_.Slash() + "none/", "", true, files, dirs);
  EXPECT_TRUE(files.empty());
  EXPECT_TRUE(dirs.empty());
}

TEST_F(ListFolderTest, LinkBackUpTheTreeIsListedNotEntered) {
  fs::create_directory_symlink(dir_.Path(), dir_.Path() / "a" / "loop");
  std::vector<std::string> files, dirs;
  ListFolder(dir_.Slash(), "", true, files, dirs);
  EXPECT_EQ(files.size(), 4u);
  EXPECT_NE(std::find(dirs.begin(), dirs.end(), dir_.Slash() + "a/loop"), dirs.end());
}

TEST(GetWindowsUserName, IsTheLoginName) {
  const std::string name = GetWindowsUserName();
  EXPECT_EQ(name, platform::LoginName());
  EXPECT_LE(name.size(), 252u);
}

// ---------------------------------------------------------------- chooser
class BrowseForFolderTest : public ::testing::Test {
 protected:
  void Answer(std::optional<std::string> path) {
    platform::SetFolderChooser([this, path](const std::string& prompt, const std::string& root) {
      prompt_ = prompt;
      root_ = root;
      return path;
    });
  }
  void TearDown() override { platform::SetFolderChooser(nullptr); }
  std::string prompt_, root_;
};

TEST_F(BrowseForFolderTest, TrailingSlashRule) {
  struct Case {
    std::optional<std::string> chosen;
    bool ok;
    const char* folder;
  };
  const Case cases[] = {
      {"/", true, "/"},  // the root gets no second "/"
      {"/home/Data", true, "/home/Data/"},
      {"/home/Data/", true, "/home/Data/"},
      {std::nullopt, false, ""},  // cancel
      {"", false, ""},            // a choice without a path
  };
  for (const Case& c : cases) {
    Answer(c.chosen);
    std::string folder = "stale";
    EXPECT_EQ(BrowseForFolder("请选择保存目录:", "/", folder), c.ok);
    EXPECT_EQ(folder, c.folder);
    EXPECT_EQ(prompt_, "请选择保存目录:");
    EXPECT_EQ(root_, "/");
  }
}

// ---------------------------------------------------------------- sorting
struct CompareCase {
  const char* name;
  ListRow a, b;
  int column;
  bool ascending;
  int sign;  // -1, 0, 1
};

class CompareCases : public ::testing::TestWithParam<CompareCase> {
 protected:
  void TearDown() override { SortAscending = false; }
};

int Sign(int v) { return (v > 0) - (v < 0); }

TEST_P(CompareCases, GivesOrder) {
  const CompareCase& c = GetParam();
  SortAscending = c.ascending;
  EXPECT_EQ(Sign(CompareListItems(c.a, c.b, c.column)), c.sign);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareCases,
    ::testing::Values(
        CompareCase{"DescendingBFirst", {"b"}, {"A"}, 0, false, -1},
        CompareCase{"AscendingAFirst", {"b"}, {"A"}, 0, true, 1},
        CompareCase{"CaseFolded", {"abc"}, {"ABC"}, 0, true, 0},
        CompareCase{"ShorterPrefixFirst", {"ab"}, {"abc"}, 0, true, -1},
        CompareCase{"EmptyFirst", {""}, {"a"}, 0, true, -1},
        CompareCase{"OrdinalNotNumeric", {"10"}, {"9"}, 0, true, -1},
        CompareCase{"UnderscoreAfterLetters", {"_"}, {"z"}, 0, true, 1},  // '_' > 'Z'
        CompareCase{"SubItemColumn", {"1", "zed"}, {"2", "Abe"}, 1, true, 1},
        CompareCase{"SecondSubItem", {"1", "x", "b"}, {"2", "x", "a"}, 2, true, 1},
        CompareCase{"MissingSubItemEqual", {"1", "x"}, {"2"}, 1, true, 0},
        CompareCase{"MissingSubItemEqualDescending", {"1"}, {"2", "x"}, 1, false, 0},
        CompareCase{"HighBytesByValue", {"正常"}, {"删除"}, 0, true, 1},
        CompareCase{"NegativeColumnEqual", {"a"}, {"b"}, -1, true, 0},
        // Chinese by its code-page bytes (roughly by pinyin), not by code point.
        CompareCase{"CodePageOrderChao", {"超"}, {"丽"}, 0, true, -1},  // B3AC < C0F6; U+8D85 > U+4E3D
        CompareCase{"CodePageOrderHaoHai", {"浩"}, {"海"}, 0, true, 1},  // BAC6 > BAA3
        CompareCase{"CodePageOrderDescending", {"超"}, {"丽"}, 0, false, 1},
        CompareCase{"CodePagePrefixFirst", {"张"}, {"张伟"}, 0, true, -1},
        CompareCase{"AsciiBeforeChinese", {"z"}, {"超"}, 0, true, -1},
        CompareCase{"FoldedInsideMixedText", {"张a1"}, {"张A1"}, 0, true, 0}),
    [](const ::testing::TestParamInfo<CompareCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- log row
class LogOnlyView : public ScanView {
 public:
  struct Row {
    std::string type, date, time, message;
  };
  std::vector<Row> rows;

  void AddLogRow(const std::string& type, const std::string& date, const std::string& time,
                 const std::string& message) override {
    rows.push_back({type, date, time, message});
  }
  void TreeClear() override {}
  void TreeInsertRootFirst(const std::string&, const std::string&, const std::string&,
                           std::optional<std::uint8_t>) override {}
  void TreeSetNodeText(int, const std::string&) override {}
  void TreeExpandAll() override {}
  void ResultListClear() override {}
  void ResultListAddRecord(std::uint8_t, std::size_t) override {}
  void ResultListAddRow(std::vector<std::string>) override {}
  std::size_t ResultListRowCount() const override { return 0; }
  void FragmentListClearColumns() override {}
  void SetStatusText(int, const std::string&) override {}
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int) override {}
  void SetCommandEnabled(ScanCommand, bool) override {}
  void PumpMessages() override {}
};

TEST_F(MyFunsTest, AddSystemLogWritesSystemRowInCurrentFormats) {
  SetProgramFormats();
  LogOnlyView view;
  AddSystemLog(view, "扫描... ");
  ASSERT_EQ(view.rows.size(), 1u);
  const LogOnlyView::Row& r = view.rows[0];
  EXPECT_EQ(r.type, "System");
  EXPECT_EQ(r.message, "扫描... ");
  ASSERT_EQ(r.date.size(), 10u);
  EXPECT_EQ(r.date[4], '-');
  EXPECT_EQ(r.date[7], '-');
  ASSERT_EQ(r.time.size(), 8u);
  EXPECT_EQ(r.time[2], ':');
  EXPECT_EQ(r.time[5], ':');
}

}  // namespace
}  // namespace velmora
