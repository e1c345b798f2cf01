#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "localization/TranslationSettings.h"

// A language the program carries a table for. Code is a language identifier (primary language
// in the low byte, region above it); an empty slot is all zero.
struct LanguageSlot {
  std::uint32_t Code = 0;
  std::uint32_t TableId = 0;
};

inline constexpr std::size_t kLanguageSlotCount = 12;
using LanguageSlots = std::array<LanguageSlot, kLanguageSlotCount>;

inline constexpr std::uint32_t kChineseLanguageNumber = 4;  // what 0x0804 normalizes to
inline constexpr std::uint32_t kEnglishLanguageNumber = 9;  // the fallback language

// The slots the program fills: Chinese (Simplified) in slot 0, English in slot 2.
LanguageSlots MakeLanguageSlots();

// The process's slots, empty until BuildLanguageSlots. Built once at start-up, first of all.
extern std::optional<LanguageSlots> languageSlots;
void BuildLanguageSlots();

// Chooses the embedded table: from `Translation` when it is not 0, otherwise from the user's
// language. Regions are folded to the forms the slots use (traditional-script Chinese, Canadian
// French and European Portuguese keep theirs), the result is stored as `Translation`, and the
// first matching slot's table is selected; without a match, English. Without slots nothing is
// selected.
void SelectLanguage(const LanguageSlots* slots, std::uint16_t userLanguage,
                    TranslationSettingsData& settings);
void SelectLanguage();  // languageSlots, the user's language, TranslationSettings
