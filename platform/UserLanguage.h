#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// Language identifiers in the Windows form the localization tables are keyed by: primary
// language in the low byte, region above it (0x0804 Chinese (PRC), 0x0409 English (US)).
using LanguageId = std::uint16_t;

inline constexpr LanguageId kEnglishUnitedStates = 0x0409;

// The identifier for a POSIX locale name such as "zh_CN.UTF-8" or "de_DE@euro". Codeset and
// modifier are ignored; a known language with an unknown region gets the language's main
// region; "C", "POSIX", empty and unknown languages count as English (United States).
LanguageId LanguageIdFromLocaleName(std::string_view name);

// The user's language: the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty.
LanguageId UserDefaultLanguageId();

}  // namespace platform
