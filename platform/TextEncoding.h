#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Conversions between the program's UTF-16 texts and the UTF-8 and code points the libraries
// around it speak (fontconfig, SDL, JSON output, the settings file).

// UTF-16 to code points; an unpaired surrogate becomes U+FFFD.
std::u32string ToCodePoints(std::u16string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string FromUtf8(std::string_view text);

// UTF-8 to UTF-16 for values that must be exactly right: overlong forms, surrogates and truncated
// sequences are refused (nullopt) instead of repaired.
std::optional<std::u16string> FromUtf8Strict(std::string_view text);

}  // namespace platform
