// UTF-8 <-> GB18030: GBK characters keep their GBK bytes, characters GBK lacks
// survive, and damaged input costs one replacement per bad unit.

#include <string>

#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace platform {
namespace {

struct RoundTrip {
  const char* name;
  std::string utf8;
  std::string ansi;
};

class CodePageRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(CodePageRoundTrip, BothDirections) {
  const RoundTrip& c = GetParam();
  EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
  EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CodePageRoundTrip,
    ::testing::Values(
        RoundTrip{"Empty", "", ""},
        RoundTrip{"Ascii", "ver=2.0 \r\n", "ver=2.0 \r\n"},
        RoundTrip{"GbkChinese", "中文", "\xD6\xD0\xCE\xC4"},
        RoundTrip{"StatusWords", "正常\t删除", "\xD5\xFD\xB3\xA3\t\xC9\xBE\xB3\xFD"},
        RoundTrip{"MixedWithAscii", "a中b", "a\xD6\xD0" "b"},
        // GBK has no emoji; GB18030 gives it four bytes instead of a '?'.
        RoundTrip{"Emoji", "hi😀", "hi\x94\x39\xFC\x36"},
        RoundTrip{"Euro", "€", "\xA2\xE3"}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

struct Damaged {
  const char* name;
  std::string input;
  std::string output;
};

class BadUtf8 : public ::testing::TestWithParam<Damaged> {};

TEST_P(BadUtf8, BecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi(GetParam().input), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadUtf8,
    ::testing::Values(Damaged{"StrayByte", "a\xFF" "b", "a?b"},
                      Damaged{"LoneContinuation", "\x80中", "?\xD6\xD0"},
                      Damaged{"CutSequence", "中\xE4\xB8", "\xD6\xD0??"},
                      Damaged{"Overlong", "\xC0\xAF", "??"},
                      Damaged{"Surrogate", "\xED\xA0\x80" "x", "???x"}),
    [](const ::testing::TestParamInfo<Damaged>& info) { return std::string(info.param.name); });

class BadAnsi : public ::testing::TestWithParam<Damaged> {};

TEST_P(BadAnsi, BecomesReplacementCharacters) {
  EXPECT_EQ(AnsiToUtf8(GetParam().input), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadAnsi,
    ::testing::Values(Damaged{"InvalidByte", "a\xFF" "b", "a\xEF\xBF\xBD" "b"},
                      Damaged{"CutAtEnd", "\xD6\xD0\xD6", "中\xEF\xBF\xBD"},
                      Damaged{"TextGoesOnAfterBadByte", "\xFF\xD6\xD0", "\xEF\xBF\xBD中"}),
    [](const ::testing::TestParamInfo<Damaged>& info) { return std::string(info.param.name); });

TEST(CodePage, LongTextConvertsWhole) {
  std::string utf8;
  for (int i = 0; i < 3000; ++i) utf8 += "短信😀";
  const std::string ansi = Utf8ToAnsi(utf8);
  EXPECT_EQ(ansi.size(), 3000u * 8u);
  EXPECT_EQ(AnsiToUtf8(ansi), utf8);
}

}  // namespace
}  // namespace platform
