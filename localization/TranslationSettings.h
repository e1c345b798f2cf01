#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

// The localization values of the settings key, one per language number.
struct TranslationLanguageEntry {
  std::u16string Language;                // kept, used for nothing else
  std::u16string TranslationFile;         // name of the language's translation file
  std::u16string TranslationDefaultFont;  // face name of the user-interface font
  std::u16string TranslationFont;         // kept, used for nothing else
};

inline constexpr std::size_t kTranslationEntryCount = 50;  // language numbers 0 to 49
inline constexpr std::size_t kMaxSettingChars = 259;       // longer strings count as missing

struct TranslationSettingsData {
  bool EmbeddedTableSelected = false;
  int SelectedTableId = 0;          // the "TEXTFILE" id of the chosen table
  std::uint32_t Translation = 0;    // the current language number
  std::u16string InstallDir;        // folder of the translation files, ends with a separator
  std::uint32_t TranslationMode = 0;
  std::array<TranslationLanguageEntry, kTranslationEntryCount> Entries;
};

// The process's settings. Written on the main thread during start-up, before any other thread
// exists, and only read afterwards.
extern TranslationSettingsData TranslationSettings;

// The face name dialogs and buttons create their fonts with, read when each is constructed.
inline constexpr char16_t kDefaultUiFontFace[] = u"Arial";
extern std::u16string UiFontFace;

// The key that holds the values in the settings file.
inline constexpr char kTranslationSettingsKey[] = "Software\\Vorlan\\RirudUvariza";

// Reads "InstallDir", "Translation", "TranslationMode" and, for n = 0 to 49, "Language<n>",
// "TranslationFile<n>", "TranslationDefaultFont<n>" and "TranslationFont<n>" in that order,
// stopping at the first of the per-entry values that is missing. A missing value leaves its
// field as it was; an unreadable file changes nothing.
void LoadTranslationSettings(const std::filesystem::path& file, TranslationSettingsData& settings);
void LoadTranslationSettings();  // the process's settings file and settings

// Copies the default font of the entry numbered `Translation` into the face name, even when it
// is empty; a number without an entry gives an empty name.
void ApplyTranslationFonts(const TranslationSettingsData& settings, std::u16string& faceName);
void ApplyTranslationFonts();  // TranslationSettings into UiFontFace

// Writes "Translation" as a number; quietly writes nothing when the file may not be written.
void SaveTranslationSetting(const std::filesystem::path& file,
                            const TranslationSettingsData& settings);
void SaveTranslationSetting();  // the process's settings file and settings
