#include "platform/UserLanguage.h"

#include <cstdlib>

namespace platform {

namespace {

struct LocaleLanguage {
  std::string_view language;  // ISO 639 code, lower case
  std::string_view region;    // ISO 3166 code, upper case; empty: the language's main region
  LanguageId id;
};

// Looked up in order: an exact language and region first, then the language's row with an
// empty region.
constexpr LocaleLanguage kLocaleLanguages[] = {
    {"zh", "CN", 0x0804}, {"zh", "SG", 0x1004}, {"zh", "TW", 0x0404}, {"zh", "HK", 0x0C04},
    {"zh", "MO", 0x1404}, {"zh", "", 0x0804},
    {"en", "US", 0x0409}, {"en", "GB", 0x0809}, {"en", "AU", 0x0C09}, {"en", "CA", 0x1009},
    {"en", "NZ", 0x1409}, {"en", "IE", 0x1809}, {"en", "ZA", 0x1C09}, {"en", "IN", 0x4009},
    {"en", "SG", 0x4809}, {"en", "", 0x0409},
    {"de", "DE", 0x0407}, {"de", "CH", 0x0807}, {"de", "AT", 0x0C07}, {"de", "LU", 0x1007},
    {"de", "LI", 0x1407}, {"de", "", 0x0407},
    {"fr", "FR", 0x040C}, {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C}, {"fr", "CH", 0x100C},
    {"fr", "LU", 0x140C}, {"fr", "", 0x040C},
    {"pt", "BR", 0x0416}, {"pt", "PT", 0x0816}, {"pt", "", 0x0416},
    {"es", "ES", 0x0C0A}, {"es", "MX", 0x080A}, {"es", "AR", 0x2C0A}, {"es", "CO", 0x240A},
    {"es", "CL", 0x340A}, {"es", "US", 0x540A}, {"es", "", 0x0C0A},
    {"it", "IT", 0x0410}, {"it", "CH", 0x0810}, {"it", "", 0x0410},
    {"nl", "NL", 0x0413}, {"nl", "BE", 0x0813}, {"nl", "", 0x0413},
    {"sv", "SE", 0x041D}, {"sv", "FI", 0x081D}, {"sv", "", 0x041D},
    {"ja", "", 0x0411}, {"ko", "", 0x0412}, {"ru", "", 0x0419}, {"uk", "", 0x0422},
    {"pl", "", 0x0415}, {"cs", "", 0x0405}, {"sk", "", 0x041B}, {"hu", "", 0x040E},
    {"ro", "", 0x0418}, {"bg", "", 0x0402}, {"el", "", 0x0408}, {"tr", "", 0x041F},
    {"he", "", 0x040D}, {"ar", "", 0x0401}, {"da", "", 0x0406}, {"nb", "", 0x0414},
    {"no", "", 0x0414}, {"nn", "", 0x0814}, {"fi", "", 0x040B}, {"et", "", 0x0425},
    {"lv", "", 0x0426}, {"lt", "", 0x0427}, {"hr", "", 0x041A}, {"sl", "", 0x0424},
    {"th", "", 0x041E}, {"vi", "", 0x042A}, {"id", "", 0x0421}, {"ms", "", 0x043E},
    {"hi", "", 0x0439}, {"fa", "", 0x0429}, {"ca", "", 0x0403}, {"eu", "", 0x042D},
    {"gl", "", 0x0456}, {"is", "", 0x040F},
};

char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualFolded(std::string_view text, std::string_view code, char (*fold)(char)) {
  if (text.size() != code.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (fold(text[i]) != code[i]) return false;
  }
  return true;
}

}  // namespace

LanguageId LanguageIdFromLocaleName(std::string_view name) {
  name = name.substr(0, name.find('@'));
  name = name.substr(0, name.find('.'));
  const std::size_t separator = name.find_first_of("_-");
  const std::string_view language = name.substr(0, separator);
  const std::string_view region =
      separator == std::string_view::npos ? std::string_view() : name.substr(separator + 1);

  for (const LocaleLanguage& row : kLocaleLanguages) {
    if (!row.region.empty() && EqualFolded(language, row.language, ToLower) &&
        EqualFolded(region, row.region, ToUpper)) {
      return row.id;
    }
  }
  for (const LocaleLanguage& row : kLocaleLanguages) {
    if (row.region.empty() && EqualFolded(language, row.language, ToLower)) return row.id;
  }
  return kEnglishUnitedStates;
}

LanguageId UserDefaultLanguageId() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LanguageIdFromLocaleName(value);
  }
  return kEnglishUnitedStates;
}

}  // namespace platform
