#include <gtest/gtest.h>

#include <string>

#include "TableData.h"
#include "localization/TranslationTable.h"

namespace {

TranslationTable TableOf(const std::u16string& text) {
  return TranslationTable::Read(TableBytes(text));
}

TEST(TranslationTable, FindsExactSourceOnly) {
  const TranslationTable table = TableOf(u"Exit \r\nLeave\r\nEXIT\r\nQuit\r\n");
  EXPECT_EQ(std::u16string(table.Translate(u"Exit ")), u"Leave");
  EXPECT_EQ(std::u16string(table.Translate(u"EXIT")), u"Quit");

  for (const char16_t* missing : {u"Exit", u"exit", u"EXIT ", u" EXIT", u"Exit  "}) {
    EXPECT_EQ(table.Translate(missing), missing) << "the text itself comes back";
  }
}

TEST(TranslationTable, NotTranslatedMarkerShowsTheSource) {
  const TranslationTable table =
      TableOf(u"One\r\nNOT TRANSLATED YET\r\nTwo\r\n[3] NOT TRANSLATED YET|\r\n"
              u"Three\r\nnot translated yet\r\n");
  const char16_t* one = table.Translate(u"One");
  EXPECT_EQ(std::u16string(one), u"One");
  EXPECT_EQ(one, table.Entries()[0].source.c_str()) << "the table's own copy is returned";
  EXPECT_EQ(std::u16string(table.Translate(u"Two")), u"Two");
  EXPECT_EQ(std::u16string(table.Translate(u"Three")), u"not translated yet");
}

TEST(TranslationTable, EscapesDecodeOnSourceAndTranslation) {
  const TranslationTable table = TableOf(u"A ^ B*|C|\r\nx*|y\r\n");
  EXPECT_EQ(std::u16string(table.Translate(u"A * B\r\nC\n")), u"x\r\ny");
  EXPECT_EQ(std::u16string(table.Translate(u"A ^ B*|C|")), u"A ^ B*|C|");
}

TEST(TranslationTable, EmptyTranslationShowsEmptyText) {
  const TranslationTable table = TableOf(u"Gone\r\n\r\n");
  EXPECT_EQ(std::u16string(table.Translate(u"Gone")), u"");
}

TEST(TranslationTable, FirstMatchingEntryWins) {
  const TranslationTable table = TableOf(u"A\r\nfirst\r\nA\r\nsecond\r\n");
  EXPECT_EQ(std::u16string(table.Translate(u"A")), u"first");
}

TEST(TranslationTable, SourceWithoutTranslationLineIsDropped) {
  const TranslationTable table = TableOf(u"A\r\nB\r\nC\r\nD");
  ASSERT_EQ(table.Entries().size(), 1u);
  const char16_t* c = u"C";
  EXPECT_EQ(table.Translate(c), c);
}

TEST(TranslationTable, OverlongLineEndsTheTableButEarlierPairsStay) {
  const std::u16string tooLong(2044, u'x');
  const TranslationTable table = TableOf(u"A\r\nB\r\nC\r\n" + tooLong + u"\r\nE\r\nF\r\n");
  ASSERT_EQ(table.Entries().size(), 1u);
  EXPECT_EQ(std::u16string(table.Translate(u"A")), u"B");
}

TEST(TranslationTable, EmptyDataHasNoEntries) {
  EXPECT_TRUE(TranslationTable::Read({}).Entries().empty());
  const std::uint8_t bomOnly[] = {0xFF, 0xFE};
  EXPECT_TRUE(TranslationTable::Read(bomOnly).Entries().empty());
}

}  // namespace
