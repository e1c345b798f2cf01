#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "localization/LanguageSelection.h"
#include "platform/UserLanguage.h"

namespace {

struct LanguageCase {
  const char* locale;
  std::uint16_t id;
  int tableId;
  std::uint32_t number;
};

class LanguageChoiceTest : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageChoiceTest, LocaleGivesLanguageAndTable) {
  const LanguageCase& c = GetParam();
  ASSERT_EQ(platform::LanguageIdFromLocaleName(c.locale), c.id) << c.locale;

  const LanguageSlots slots = MakeLanguageSlots();
  TranslationSettingsData settings;
  SelectLanguage(&slots, c.id, settings);
  EXPECT_TRUE(settings.EmbeddedTableSelected);
  EXPECT_EQ(settings.SelectedTableId, c.tableId);
  EXPECT_EQ(settings.Translation, c.number);
}

INSTANTIATE_TEST_SUITE_P(
    LanguageSelection, LanguageChoiceTest,
    ::testing::Values(LanguageCase{"zh_CN.UTF-8", 0x0804, 4008, 4},
                      LanguageCase{"zh_SG", 0x1004, 4008, 4},
                      LanguageCase{"zh", 0x0804, 4008, 4},
                      LanguageCase{"zh_TW.UTF-8", 0x0404, 4000, 9},
                      LanguageCase{"zh_HK.Big5-HKSCS", 0x0C04, 4000, 9},
                      LanguageCase{"zh_MO", 0x1404, 4000, 9},
                      LanguageCase{"en_US.UTF-8", 0x0409, 4000, 9},
                      LanguageCase{"en_GB.UTF-8", 0x0809, 4000, 9},
                      LanguageCase{"de_DE.UTF-8@euro", 0x0407, 4000, 9},
                      LanguageCase{"fr_CA", 0x0C0C, 4000, 9},
                      LanguageCase{"pt_PT", 0x0816, 4000, 9},
                      LanguageCase{"pt_BR.utf8", 0x0416, 4000, 9},
                      LanguageCase{"ja_JP.UTF-8", 0x0411, 4000, 9},
                      LanguageCase{"C", 0x0409, 4000, 9},
                      LanguageCase{"C.UTF-8", 0x0409, 4000, 9},
                      LanguageCase{"POSIX", 0x0409, 4000, 9},
                      LanguageCase{"", 0x0409, 4000, 9},
                      LanguageCase{"tlh_QS", 0x0409, 4000, 9}));

TEST(LocaleName, RegionsAndUnknownRegionsOfKnownLanguages) {
  EXPECT_EQ(platform::LanguageIdFromLocaleName("ZH_tw"), 0x0404);
  EXPECT_EQ(platform::LanguageIdFromLocaleName("zh_XX.GB18030"), 0x0804);
  EXPECT_EQ(platform::LanguageIdFromLocaleName("de_BE@euro"), 0x0407);
  EXPECT_EQ(platform::LanguageIdFromLocaleName("fr_FR@euro"), 0x040C);
}

TEST(LanguageSelection, PrimaryLanguageZeroSelectsEmptySlot) {
  const LanguageSlots slots = MakeLanguageSlots();
  TranslationSettingsData settings;
  SelectLanguage(&slots, 0x0400, settings);
  EXPECT_TRUE(settings.EmbeddedTableSelected);
  EXPECT_EQ(settings.SelectedTableId, 0);
  EXPECT_EQ(settings.Translation, 0u);
}

TEST(LanguageSelection, StoredLanguageNumberOverridesUserLanguage) {
  const LanguageSlots slots = MakeLanguageSlots();
  TranslationSettingsData settings;
  settings.Translation = 0x0804;
  SelectLanguage(&slots, 0x0409, settings);
  EXPECT_EQ(settings.SelectedTableId, 4008);
  EXPECT_EQ(settings.Translation, 4u);
}

TEST(LanguageSelection, WithoutSlotsNothingIsSelected) {
  TranslationSettingsData settings;
  SelectLanguage(nullptr, 0x0804, settings);
  EXPECT_FALSE(settings.EmbeddedTableSelected);
  EXPECT_EQ(settings.Translation, 0u);
}

TEST(LanguageSelection, FrenchAndPortugueseKeepOnlyTheirOwnRegions) {
  // A region that survives must match a slot exactly; the others match by language alone.
  LanguageSlots slots{};
  slots[0] = {0x040C, 7001};
  slots[1] = {0x0416, 7002};
  slots[2] = {0x0409, 4000};
  const std::pair<std::uint16_t, int> cases[] = {
      {0x0C0C, 4000}, {0x080C, 7001}, {0x0816, 4000}, {0x0416, 7002}, {0x0C04, 4000}};
  for (const auto& [language, table] : cases) {
    TranslationSettingsData settings;
    SelectLanguage(&slots, language, settings);
    EXPECT_EQ(settings.SelectedTableId, table) << std::hex << language;
  }
}

// Sets the locale variables for one test and restores them afterwards.
class LocaleEnvironment : public ::testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};

  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      const char* value = std::getenv(kVariables[i]);
      saved_[i] = value ? std::optional<std::string>(value) : std::nullopt;
      ::unsetenv(kVariables[i]);
    }
  }
  void TearDown() override {
    for (int i = 0; i < 3; ++i) {
      if (saved_[i]) {
        ::setenv(kVariables[i], saved_[i]->c_str(), 1);
      } else {
        ::unsetenv(kVariables[i]);
      }
    }
  }

 private:
  std::optional<std::string> saved_[3];
};

TEST_F(LocaleEnvironment, FirstSetVariableDecides) {
  EXPECT_EQ(platform::UserDefaultLanguageId(), 0x0409);
  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(platform::UserDefaultLanguageId(), 0x0407);
  ::setenv("LC_MESSAGES", "zh_TW.UTF-8", 1);
  EXPECT_EQ(platform::UserDefaultLanguageId(), 0x0404);
  ::setenv("LC_ALL", "", 1);
  EXPECT_EQ(platform::UserDefaultLanguageId(), 0x0404) << "an empty variable is skipped";
  ::setenv("LC_ALL", "zh_CN.UTF-8", 1);
  EXPECT_EQ(platform::UserDefaultLanguageId(), 0x0804);
}

TEST_F(LocaleEnvironment, ProcessWideSelectionUsesBuiltSlotsAndLocale) {
  const TranslationSettingsData saved = TranslationSettings;
  ::setenv("LANG", "zh_SG.UTF-8", 1);
  TranslationSettings = TranslationSettingsData();
  BuildLanguageSlots();
  SelectLanguage();
  EXPECT_EQ(TranslationSettings.SelectedTableId, 4008);
  EXPECT_EQ(TranslationSettings.Translation, 4u);
  TranslationSettings = saved;
}

}  // namespace
