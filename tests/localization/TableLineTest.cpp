#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TableData.h"
#include "localization/TableLine.h"

namespace {

struct LineCase {
  const char* name;
  std::u16string text;  // after the byte-order mark
  std::vector<std::u16string> lines;
};

std::vector<std::u16string> ReadAll(const std::vector<std::uint8_t>& bytes) {
  TableReader reader(bytes);
  std::vector<std::u16string> lines;
  std::u16string line;
  while (ReadTableLine(reader, line)) lines.push_back(line);
  return lines;
}

class ReadTableLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ReadTableLineTest, ReadsTheLinesThatEndInCrLf) {
  EXPECT_EQ(ReadAll(TableBytes(GetParam().text)), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    TableLine, ReadTableLineTest,
    ::testing::Values(
        LineCase{"TwoLines", u"one\r\ntwo\r\n", {u"one", u"two"}},
        LineCase{"UnterminatedLastLineIsDropped", u"one\r\ntwo", {u"one"}},
        LineCase{"EmptyLineIsAText", u"\r\none\r\n\r\n", {u"", u"one", u""}},
        LineCase{"BareLineFeedIsDropped", u"o\nne\r\n", {u"one"}},
        LineCase{"CarriageReturnBeforeOtherIsDroppedAndNextKept", u"o\rxne\r\n", {u"oxne"}},
        LineCase{"UnitAfterLoneCarriageReturnIsNotExamined", u"a\r\r\nb\r\n", {u"a\rb"}},
        LineCase{"CarriageReturnAtEndEndsTable", u"one\r\ntwo\r", {u"one"}},
        LineCase{"EscapesAreLeftForDecoding", u"*|^\r\n", {u"*|^"}},
        LineCase{"Nothing", u"", {}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(TableLine, ByteOrderMarkIsSkippedUnread) {
  std::vector<std::uint8_t> bytes = TableBytes(u"a\r\n");
  bytes[0] = '\r';
  bytes[1] = 0;
  EXPECT_EQ(ReadAll(bytes), std::vector<std::u16string>{u"a"});
}

TEST(TableLine, LoneTrailingByteIsIgnored) {
  std::vector<std::uint8_t> bytes = TableBytes(u"a\r\nb\r");
  bytes.push_back('\n');
  EXPECT_EQ(ReadAll(bytes), std::vector<std::u16string>{u"a"});
}

TEST(TableLine, LongestLineIsReadAndOneUnitMoreEndsTheTable) {
  const std::u16string longest(kMaxTableLineUnits, u'x');
  EXPECT_EQ(ReadAll(TableBytes(u"a\r\n" + longest + u"\r\nb\r\n")),
            (std::vector<std::u16string>{u"a", longest, u"b"}));
  EXPECT_EQ(ReadAll(TableBytes(u"a\r\n" + longest + u"x\r\nb\r\n")),
            std::vector<std::u16string>{u"a"});
}

TEST(TableLine, EscapesDecodeInOrder) {
  EXPECT_EQ(DecodeTableEscapes(u"a*|b|c^d"), u"a\r\nb\nc*d");
  EXPECT_EQ(DecodeTableEscapes(u"^|*"), u"*\n\r");
  EXPECT_EQ(DecodeTableEscapes(u"plain text"), u"plain text");
}

}  // namespace
