// Faults the settings-file fuzz target found, as plain tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "localization/TranslationSettings.h"
#include "platform/SettingsStore.h"
#include "tests/support/SettingsFileFixture.h"

namespace {

using SettingsStoreRegression = testsupport::SettingsFileFixture;

// A line ends at LF, and one CR before it belongs to the line end, so "abc\r\r\n" holds the value
// "abc\r". Storing the language number rewrote the file from lines already stripped of their CR,
// so that value came back as "abc" and every CR LF line end turned into LF.
TEST_F(SettingsStoreRegression, StoringTheLanguageNumberKeepsValuesEndingInCarriageReturn) {
  const std::string key = "[Software\\Vorlan\\RirudUvariza]\r\n";
  Write(key + "string InstallDir=abc\r\r\nnumber Translation=3\r\nstring Language0=x\r\n");
  TranslationSettingsData before;
  LoadTranslationSettings(file_, before);
  ASSERT_EQ(before.InstallDir, u"abc\r");

  before.Translation = 4;
  SaveTranslationSetting(file_, before);

  TranslationSettingsData after;
  LoadTranslationSettings(file_, after);
  EXPECT_EQ(after.Translation, 4u);
  EXPECT_EQ(after.InstallDir, u"abc\r");
  EXPECT_EQ(after.Entries[0].Language, u"x");
  EXPECT_EQ(Read(), key + "string InstallDir=abc\r\r\nnumber Translation=4\nstring Language0=x\r\n");
}

}  // namespace
