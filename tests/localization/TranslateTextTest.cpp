#include <gtest/gtest.h>

#include <array>
#include <string>

#include "localization/TranslateText.h"
#include "localization/TranslationSettings.h"
#include "platform/Clock.h"

namespace {

constexpr char16_t kLastPairSource[] = u"Transfer completed. Reprogramming the device now.\r\n";

class TranslateTextTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = TranslationSettings; }
  void TearDown() override {
    TranslationSettings = saved_;
    ResetTranslationTableForTesting();
  }

  static void UseTable(int id) {
    TranslationSettings.EmbeddedTableSelected = true;
    TranslationSettings.SelectedTableId = id;
    ResetTranslationTableForTesting();
  }

 private:
  TranslationSettingsData saved_;
};

TEST_F(TranslateTextTest, EnglishTableGivesDisplayForms) {
  UseTable(4000);
  EXPECT_EQ(std::u16string(TranslateText(u"\n\nFIRMWARE UPGRADE ")), u"\n\nFIRMWARE UPGRADE");
  EXPECT_EQ(std::u16string(TranslateText(u"EXIT")), u"EXIT");
  EXPECT_EQ(std::u16string(TranslateText(u"KORVEX 6.0\r\n\r\nNot Found !")),
            u"KORVEX 6.0\r\n\r\nNot found !");
}

TEST_F(TranslateTextTest, ChineseTableDecodesLineBreaks) {
  UseTable(4008);
  EXPECT_EQ(std::u16string(TranslateText(u"Your KORVEX 6.0\r\nis currently on\r\nVersion ")),
            u"您的 KORVEX 6.0\r\n正在使用\r\n版本");
  EXPECT_EQ(std::u16string(TranslateText(u"UPGRADE NOW")), u"点击升级");
}

TEST_F(TranslateTextTest, TextsWithoutEntryComeBackThemselves) {
  UseTable(4008);
  for (const char16_t* text : {u"\n\nFIRMWARE UPGRADE", u"exit", u"UPGRADE NOW ", u"Hello"}) {
    EXPECT_EQ(TranslateText(text), text);
  }
}

TEST_F(TranslateTextTest, LastPairIsNotInForceInAnyTable) {
  for (int id = 4000; id <= 4010; ++id) {
    UseTable(id);
    EXPECT_EQ(TranslateText(kLastPairSource), kLastPairSource) << "table " << id;
  }
}

TEST_F(TranslateTextTest, UntranslatedTablesShowTheSource) {
  for (const int id : {4001, 4002, 4003, 4004, 4005, 4006, 4007, 4009, 4010}) {
    UseTable(id);
    const char16_t* text = u"\n\nFIRMWARE UPGRADE ";
    const char16_t* shown = TranslateText(text);
    EXPECT_EQ(std::u16string(shown), text) << "table " << id;
    EXPECT_NE(shown, text) << "found: the table's source is shown, table " << id;
  }
}

TEST_F(TranslateTextTest, EmptyTextAndNoTableGiveTheArgument) {
  UseTable(4008);
  const char16_t* empty = u"";
  EXPECT_EQ(TranslateText(empty), empty);

  TranslationSettings.EmbeddedTableSelected = false;
  const char16_t* exitText = u"EXIT";
  EXPECT_EQ(TranslateText(exitText), exitText);
}

TEST_F(TranslateTextTest, MissingTableShowsTextsUnchanged) {
  UseTable(0);
  const char16_t* exitText = u"EXIT";
  EXPECT_EQ(TranslateText(exitText), exitText);
}

TEST_F(TranslateTextTest, TableIsReadOnceAndResultsStayPut) {
  UseTable(4008);
  const char16_t* first = TranslateText(u"EXIT");
  TranslationSettings.SelectedTableId = 4000;  // no reload: the table was chosen at start-up
  EXPECT_EQ(TranslateText(u"EXIT"), first);

  ResetTranslationTableForTesting();
  EXPECT_EQ(std::u16string(TranslateText(u"EXIT")), u"EXIT");
  EXPECT_EQ(std::u16string(first), u"退出") << "earlier results stay valid";
}

TEST_F(TranslateTextTest, ConcurrentFirstLookupsShareOneTable) {
  UseTable(4008);
  platform::RealClock clock;
  std::array<const char16_t*, 4> results{};
  std::array<platform::Thread, 4> threads;
  for (std::size_t i = 0; i < threads.size(); ++i) {
    threads[i] = clock.StartThread([&results, i] { results[i] = TranslateText(u"EXIT"); });
  }
  for (platform::Thread& thread : threads) thread.Join();
  for (const char16_t* result : results) EXPECT_EQ(result, results[0]);
  EXPECT_EQ(std::u16string(results[0]), u"退出");
}

}  // namespace
