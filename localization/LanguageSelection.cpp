#include "localization/LanguageSelection.h"

#include "platform/UserLanguage.h"

std::optional<LanguageSlots> languageSlots;

namespace {

constexpr std::uint32_t kChinese = 0x04;
constexpr std::uint32_t kFrench = 0x0C;
constexpr std::uint32_t kPortuguese = 0x16;

// The region byte as the slots know it: 0 stands for every region of the language.
std::uint32_t NormalizeRegion(std::uint32_t primary, std::uint32_t region) {
  switch (primary) {
    case kChinese:
      return (region == 0x04 || region == 0x0C || region == 0x14 || region == 0x7C) ? 0x04 : 0;
    case kFrench:
      return region == 0x0C ? region : 0;
    case kPortuguese:
      return region == 0x08 ? region : 0;
    default:
      return 0;
  }
}

// With a region, only the exact code matches; without one, any slot of the same primary
// language does (and an empty slot matches primary language 0).
const LanguageSlot* FindSlot(const LanguageSlots& slots, std::uint32_t primary,
                             std::uint32_t region) {
  const std::uint32_t code = region * 256 + primary;
  for (const LanguageSlot& slot : slots) {
    if (region != 0 ? slot.Code == code : (slot.Code & 0xFF) == primary) return &slot;
  }
  return nullptr;
}

}  // namespace

LanguageSlots MakeLanguageSlots() {
  LanguageSlots slots{};
  slots[0] = {0x0804, 4008};
  slots[2] = {0x0409, 4000};
  return slots;
}

void BuildLanguageSlots() { languageSlots = MakeLanguageSlots(); }

void SelectLanguage(const LanguageSlots* slots, std::uint16_t userLanguage,
                    TranslationSettingsData& settings) {
  if (slots == nullptr) return;
  const std::uint32_t language = settings.Translation != 0 ? settings.Translation : userLanguage;
  const std::uint32_t primary = language & 0xFF;
  const std::uint32_t region = NormalizeRegion(primary, (language >> 8) & 0xFF);
  settings.Translation = region * 256 + primary;

  const LanguageSlot* slot = FindSlot(*slots, primary, region);
  if (slot == nullptr) {
    settings.Translation = kEnglishLanguageNumber;
    slot = FindSlot(*slots, kEnglishLanguageNumber, 0);
  }
  if (slot == nullptr) return;
  settings.EmbeddedTableSelected = true;
  settings.SelectedTableId = static_cast<int>(slot->TableId);
}

void SelectLanguage() {
  SelectLanguage(languageSlots ? &*languageSlots : nullptr, platform::UserDefaultLanguageId(),
                 TranslationSettings);
}
