#include "localization/TranslationSettings.h"

#include <optional>
#include <string>

#include "platform/SettingsStore.h"

TranslationSettingsData TranslationSettings;
std::u16string UiFontFace = kDefaultUiFontFace;

namespace {

bool ReadString(const platform::SettingsKey& key, const std::string& name, std::u16string& field) {
  std::optional<std::u16string> value = key.QueryString(name, kMaxSettingChars);
  if (!value) return false;
  field = std::move(*value);
  return true;
}

void ReadNumber(const platform::SettingsKey& key, const char* name, std::uint32_t& field) {
  if (const auto value = key.QueryNumber(name)) field = *value;
}

// Reads the four values of entry n in order; false at the first one missing.
bool ReadEntry(const platform::SettingsKey& key, std::size_t n, TranslationLanguageEntry& entry) {
  const std::string index = std::to_string(n);
  return ReadString(key, "Language" + index, entry.Language) &&
         ReadString(key, "TranslationFile" + index, entry.TranslationFile) &&
         ReadString(key, "TranslationDefaultFont" + index, entry.TranslationDefaultFont) &&
         ReadString(key, "TranslationFont" + index, entry.TranslationFont);
}

}  // namespace

void LoadTranslationSettings(const std::filesystem::path& file,
                             TranslationSettingsData& settings) {
  const auto key = platform::SettingsKey::Open(file, kTranslationSettingsKey);
  if (!key) return;
  ReadString(*key, "InstallDir", settings.InstallDir);
  ReadNumber(*key, "Translation", settings.Translation);
  ReadNumber(*key, "TranslationMode", settings.TranslationMode);
  for (std::size_t n = 0; n < kTranslationEntryCount; ++n) {
    if (!ReadEntry(*key, n, settings.Entries[n])) break;
  }
}

void LoadTranslationSettings() {
  LoadTranslationSettings(platform::SettingsFilePath(), TranslationSettings);
}

void ApplyTranslationFonts(const TranslationSettingsData& settings, std::u16string& faceName) {
  if (settings.Translation >= kTranslationEntryCount) {
    faceName.clear();
    return;
  }
  faceName = settings.Entries[settings.Translation].TranslationDefaultFont.substr(
      0, kMaxSettingChars);
}

void ApplyTranslationFonts() { ApplyTranslationFonts(TranslationSettings, UiFontFace); }

void SaveTranslationSetting(const std::filesystem::path& file,
                            const TranslationSettingsData& settings) {
  auto key = platform::SettingsKey::Open(file, kTranslationSettingsKey);
  if (!key) return;
  key->SetNumber("Translation", settings.Translation);
}

void SaveTranslationSetting() {
  SaveTranslationSetting(platform::SettingsFilePath(), TranslationSettings);
}
