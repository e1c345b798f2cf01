// Faults the settings-file fuzz target found, as plain tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "localization/TranslationSettings.h"
#include "platform/SettingsStore.h"

namespace {

namespace fs = std::filesystem;

class SettingsStoreRegression : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "rirud-fuzz-regression-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    file_ = folder_ / "settings.conf";
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Write(const std::string& content) const { std::ofstream(file_, std::ios::binary) << content; }
  std::string Read() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path folder_;
  fs::path file_;
};

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
