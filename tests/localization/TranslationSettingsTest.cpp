#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "localization/TranslationSettings.h"
#include "platform/SettingsStore.h"
#include "tests/support/SettingsFileFixture.h"

namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public testsupport::SettingsFileFixture {
 protected:
  TranslationSettingsData Load(const std::string& values) const {
    Write("[Software\\Vorlan\\RirudUvariza]\n" + values);
    TranslationSettingsData settings;
    LoadTranslationSettings(file_, settings);
    return settings;
  }

  static std::string Entry(int n, const std::string& font) {
    const std::string i = std::to_string(n);
    return "string Language" + i + "=Language " + i + "\nstring TranslationFile" + i + "=file" +
           i + ".txt\nstring TranslationDefaultFont" + i + "=" + font +
           "\nstring TranslationFont" + i + "=Font " + i + "\n";
  }

};

TEST_F(SettingsFileTest, FaceNameOfTheStoredLanguageNumber) {
  TranslationSettingsData settings =
      Load("number Translation=3\n" + Entry(0, "A") + Entry(1, "B") + Entry(2, "C") +
           Entry(3, "WenQuanYi Micro Hei") + Entry(4, "E"));
  settings.EmbeddedTableSelected = true;
  settings.SelectedTableId = 4008;
  std::u16string face = kDefaultUiFontFace;
  ApplyTranslationFonts(settings, face);
  EXPECT_EQ(face, u"WenQuanYi Micro Hei");
  EXPECT_EQ(settings.SelectedTableId, 4008) << "the table stays the one chosen from the locale";
  EXPECT_EQ(settings.Entries[4].TranslationFont, u"Font 4");
}

TEST_F(SettingsFileTest, NoValuesLeaveAnEmptyFaceName) {
  for (const bool fileExists : {false, true}) {
    if (fileExists) Write("");
    TranslationSettingsData settings;
    LoadTranslationSettings(file_, settings);
    std::u16string face = kDefaultUiFontFace;
    ApplyTranslationFonts(settings, face);
    EXPECT_EQ(face, u"") << "file exists: " << fileExists;
  }
}

TEST_F(SettingsFileTest, LanguageNumberWithoutEntryGivesEmptyFaceName) {
  TranslationSettingsData settings = Load(Entry(0, "A") + "number Translation=50\n");
  std::u16string face = kDefaultUiFontFace;
  ApplyTranslationFonts(settings, face);
  EXPECT_EQ(face, u"");
}

TEST_F(SettingsFileTest, MissingLanguageValueStopsTheEntries) {
  const TranslationSettingsData settings =
      Load(Entry(0, "A") + Entry(1, "B") + Entry(3, "D") + Entry(4, "E"));
  EXPECT_EQ(settings.Entries[1].TranslationDefaultFont, u"B");
  for (int n = 2; n < 50; ++n) {
    EXPECT_EQ(settings.Entries[n].Language, u"") << n;
    EXPECT_EQ(settings.Entries[n].TranslationDefaultFont, u"") << n;
  }
}

TEST_F(SettingsFileTest, MissingFontValueKeepsTheNamesReadBeforeIt) {
  const TranslationSettingsData settings =
      Load(Entry(0, "A") +
           "string Language1=L1\nstring TranslationFile1=F1\nstring TranslationDefaultFont1=D1\n" +
           Entry(2, "C"));
  EXPECT_EQ(settings.Entries[1].Language, u"L1");
  EXPECT_EQ(settings.Entries[1].TranslationFile, u"F1");
  EXPECT_EQ(settings.Entries[1].TranslationDefaultFont, u"D1");
  EXPECT_EQ(settings.Entries[1].TranslationFont, u"");
  EXPECT_EQ(settings.Entries[2].Language, u"");
}

TEST_F(SettingsFileTest, MalformedLinesAreIgnoredOneByOne) {
  const TranslationSettingsData settings = Load(
      "number Translation=seven\n"
      "number TranslationMode=2\n"
      "number TranslationMode=-1\n"
      "number TranslationMode=4294967296\n"
      "string InstallDir\n"
      "text InstallDir=/wrong/\n"
      "string InstallDir=/usr/share/rirud-uvariza/\n"
      "number InstallDir=5\n"
      "garbage without structure\n"
      "string Language0=\xff\xfe\n"
      "[Another\\Key]\n"
      "number Translation=8\n"
      "[Software\\Vorlan\\RirudUvariza\n"
      "number Translation=9\n");
  EXPECT_EQ(settings.Translation, 0u);
  EXPECT_EQ(settings.TranslationMode, 2u);
  EXPECT_EQ(settings.InstallDir, u"") << "the later line made it a number, not a string";
  EXPECT_EQ(settings.Entries[0].Language, u"");
}

TEST_F(SettingsFileTest, ValuesKeepBlanksAndNonAsciiAndAcceptHexNumbers) {
  const TranslationSettingsData settings = Load(
      "string InstallDir= /opt/x y/ \r\n"
      "number TranslationMode=0x10\r\n" +
      Entry(0, "微软雅黑"));
  EXPECT_EQ(settings.InstallDir, u" /opt/x y/ ");
  EXPECT_EQ(settings.TranslationMode, 16u);
  EXPECT_EQ(settings.Entries[0].TranslationDefaultFont, u"微软雅黑");
}

TEST_F(SettingsFileTest, OverlongStringCountsAsMissing) {
  const std::string longest(kMaxSettingChars, 'f');
  const std::string tooLong(kMaxSettingChars + 1, 'g');
  TranslationSettingsData settings = Load("string InstallDir=" + tooLong + "\n" +
                                          Entry(0, longest) + Entry(1, tooLong) + Entry(2, "C"));
  EXPECT_EQ(settings.InstallDir, u"");
  EXPECT_EQ(settings.Entries[0].TranslationDefaultFont.size(), kMaxSettingChars);
  EXPECT_EQ(settings.Entries[1].TranslationFile, u"file1.txt");
  EXPECT_EQ(settings.Entries[1].TranslationDefaultFont, u"");
  EXPECT_EQ(settings.Entries[2].Language, u"") << "the over-long value stopped the entries";
}

TEST_F(SettingsFileTest, UnreadableFileChangesNothing) {
  TranslationSettingsData settings;
  settings.Translation = 4;
  settings.InstallDir = u"/kept/";
  LoadTranslationSettings(folder_, settings);  // a folder cannot be read as a file
  EXPECT_EQ(settings.Translation, 4u);
  EXPECT_EQ(settings.InstallDir, u"/kept/");
}

TEST_F(SettingsFileTest, SavingReplacesTheNumberAndKeepsEverythingElse) {
  Write("# comment\n[Other]\nnumber Translation=1\n[Software\\Vorlan\\RirudUvariza]\n"
        "number Translation=3\nstring InstallDir=/x/\n");
  TranslationSettingsData settings;
  settings.Translation = 4;
  SaveTranslationSetting(file_, settings);
  EXPECT_EQ(Read(),
            "# comment\n[Other]\nnumber Translation=1\n[Software\\Vorlan\\RirudUvariza]\n"
            "number Translation=4\nstring InstallDir=/x/\n");

  TranslationSettingsData loaded;
  LoadTranslationSettings(file_, loaded);
  EXPECT_EQ(loaded.Translation, 4u);
  EXPECT_EQ(loaded.InstallDir, u"/x/");
}

TEST_F(SettingsFileTest, SavingCreatesFileAndKey) {
  fs::remove(file_);
  TranslationSettingsData settings;
  settings.Translation = 9;
  SaveTranslationSetting(file_, settings);
  EXPECT_EQ(Read(), "[Software\\Vorlan\\RirudUvariza]\nnumber Translation=9\n");

  Write("[Other]\nstring A=b\n");
  SaveTranslationSetting(file_, settings);
  EXPECT_EQ(Read(), "[Other]\nstring A=b\n[Software\\Vorlan\\RirudUvariza]\nnumber Translation=9\n");
}

TEST_F(SettingsFileTest, SavingWhereNotPermittedFailsQuietly) {
  Write("not a folder");
  const fs::path impossible = file_ / "settings.conf";
  auto key = platform::SettingsKey::Open(impossible, kTranslationSettingsKey);
  ASSERT_TRUE(key) << "nothing there yet reads as an empty key";
  EXPECT_FALSE(key->SetNumber("Translation", 4));
  TranslationSettingsData settings;
  SaveTranslationSetting(impossible, settings);
  EXPECT_EQ(Read(), "not a folder");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
}

TEST(SettingsFilePath, EnvironmentOverridesSystemFile) {
  const char* saved = std::getenv(platform::kSettingsFileVariable);
  const std::string savedValue = saved ? saved : "";
  ::unsetenv(platform::kSettingsFileVariable);
  EXPECT_EQ(platform::SettingsFilePath(), fs::path("/etc/rirud-uvariza/settings.conf"));
  ::setenv(platform::kSettingsFileVariable, "/tmp/mine.conf", 1);
  EXPECT_EQ(platform::SettingsFilePath(), fs::path("/tmp/mine.conf"));
  if (saved) {
    ::setenv(platform::kSettingsFileVariable, savedValue.c_str(), 1);
  } else {
    ::unsetenv(platform::kSettingsFileVariable);
  }
}

}  // namespace
