#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

// The program's settings live in one text file, grouped in keys named like registry keys.
// Each value is one line, "TYPE NAME=VALUE", below the "[KEY]" line of its key:
//
//   # comments and blank lines are ignored
//   [Software\Vorlan\RirudUvariza]
//   string InstallDir=/usr/share/rirud-uvariza/translations/
//   number Translation=3
//   string TranslationDefaultFont3=WenQuanYi Micro Hei
//
// TYPE is "string" (VALUE is UTF-8 text up to the end of the line, kept exactly, blanks
// included) or "number" (an unsigned 32-bit number, decimal or 0x-prefixed hexadecimal).
// A line that does not fit this form is ignored on its own; when a name appears twice in a
// key, the later line counts.

// The settings file: $RIRUD_UVARIZA_SETTINGS when set and not empty, otherwise the system-wide
// /etc/rirud-uvariza/settings.conf.
std::filesystem::path SettingsFilePath();

inline constexpr char kSettingsFileVariable[] = "RIRUD_UVARIZA_SETTINGS";
inline constexpr char kSystemSettingsFile[] = "/etc/rirud-uvariza/settings.conf";
// A settings file larger than this is not read: it is not one of ours.
inline constexpr std::uintmax_t kMaxSettingsFileBytes = 1 << 20;

// One key of the settings file, read when opened.
class SettingsKey {
 public:
  // Reads the values of `keyName` (compared without regard to ASCII case). A file that does not
  // exist yet gives an empty key; a file that exists but cannot be read gives nothing.
  static std::optional<SettingsKey> Open(const std::filesystem::path& file,
                                         std::string_view keyName);

  // The string value `name`, if present, of type string and at most `maxUnits` UTF-16 units
  // long; a longer value counts as missing, as a registry read into a too-small buffer does.
  std::optional<std::u16string> QueryString(std::string_view name, std::size_t maxUnits) const;

  // The number value `name`, if present and of type number.
  std::optional<std::uint32_t> QueryNumber(std::string_view name) const;

  // Stores a number value and rewrites the file, keeping every other line as it was. The new
  // file replaces the old one in a single rename, so readers see the old or the new file,
  // never half of one. Returns false, changing nothing, when the file cannot be written (an
  // ordinary user and the system-wide file).
  bool SetNumber(std::string_view name, std::uint32_t value);

 private:
  using Value = std::variant<std::u16string, std::uint32_t>;

  SettingsKey(std::filesystem::path file, std::string keyName, std::vector<std::string> lines);
  void ParseValues();
  bool WriteLines(const std::vector<std::string>& lines) const;

  std::filesystem::path file_;
  std::string keyName_;
  std::vector<std::string> lines_;  // the whole file, without line ends
  std::map<std::string, Value, std::less<>> values_;
};

}  // namespace platform
