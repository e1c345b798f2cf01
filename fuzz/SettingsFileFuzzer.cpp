// Reads the localization settings from a settings file with arbitrary content, then changes the
// language number in it as the program does when the user picks a language.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "localization/LanguageSelection.h"
#include "localization/TranslationSettings.h"
#include "platform/SettingsStore.h"

namespace {

// A field the reader has not touched still holds this.
const std::u16string kUntouched = u"\xFFFF untouched";
constexpr std::uint32_t kUntouchedNumber = 0xDEADBEEF;

// One file per fuzzing process, on a memory file system when there is one.
const std::filesystem::path& SettingsFile() {
  static const std::filesystem::path file = [] {
    std::string name = (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
    name += "/rirud-fuzz-settings.XXXXXX";
    const int fd = ::mkstemp(name.data());
    FUZZ_CHECK(fd >= 0);
    ::close(fd);
    std::atexit([] { std::filesystem::remove(SettingsFile()); });
    return std::filesystem::path(name);
  }();
  return file;
}

void WriteFile(const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(SettingsFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(fd >= 0);
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

TranslationSettingsData UntouchedSettings() {
  TranslationSettingsData settings;
  settings.InstallDir = kUntouched;
  settings.Translation = kUntouchedNumber;
  settings.TranslationMode = kUntouchedNumber;
  for (TranslationLanguageEntry& entry : settings.Entries) {
    entry = {kUntouched, kUntouched, kUntouched, kUntouched};
  }
  return settings;
}

TranslationSettingsData Load() {
  TranslationSettingsData settings = UntouchedSettings();
  LoadTranslationSettings(SettingsFile(), settings);
  return settings;
}

void CheckString(const std::u16string& field, const std::optional<std::u16string>& stored) {
  FUZZ_CHECK(field.size() <= kMaxSettingChars || field == kUntouched);
  FUZZ_CHECK(field == (stored ? *stored : kUntouched));
}

// The entries are read in order up to the first value that is missing; none after it is touched.
void CheckEntries(const TranslationSettingsData& settings, const platform::SettingsKey& key) {
  bool stopped = false;
  for (std::size_t n = 0; n < kTranslationEntryCount; ++n) {
    const TranslationLanguageEntry& entry = settings.Entries[n];
    const std::u16string* const fields[] = {&entry.Language, &entry.TranslationFile,
                                            &entry.TranslationDefaultFont, &entry.TranslationFont};
    const char* const names[] = {"Language", "TranslationFile", "TranslationDefaultFont",
                                 "TranslationFont"};
    for (int i = 0; i < 4; ++i) {
      if (stopped) {
        FUZZ_CHECK(*fields[i] == kUntouched);
        continue;
      }
      const auto stored = key.QueryString(names[i] + std::to_string(n), kMaxSettingChars);
      CheckString(*fields[i], stored);
      stopped = !stored;
    }
  }
}

void CheckLoaded(const TranslationSettingsData& settings) {
  const auto key = platform::SettingsKey::Open(SettingsFile(), kTranslationSettingsKey);
  FUZZ_CHECK(key.has_value());
  CheckString(settings.InstallDir, key->QueryString("InstallDir", kMaxSettingChars));
  FUZZ_CHECK(settings.Translation == key->QueryNumber("Translation").value_or(kUntouchedNumber));
  CheckEntries(settings, *key);

  std::u16string face = u"previous";
  ApplyTranslationFonts(settings, face);
  FUZZ_CHECK(face.size() <= kMaxSettingChars);

  // Whatever number the file holds, the table chosen is one the program carries, or for
  // primary language 0 the empty slot's id 0, which names no table: texts are shown unchanged.
  TranslationSettingsData chosen = settings;
  const LanguageSlots slots = MakeLanguageSlots();
  SelectLanguage(&slots, static_cast<std::uint16_t>(settings.TranslationMode), chosen);
  FUZZ_CHECK(chosen.EmbeddedTableSelected);
  FUZZ_CHECK(chosen.SelectedTableId == 4000 || chosen.SelectedTableId == 4008 ||
             (chosen.SelectedTableId == 0 && (chosen.Translation & 0xFF) == 0));
  FUZZ_CHECK(chosen.Translation <= 0xFFFF);
}

// Storing the language number changes that number and nothing else the program reads.
void CheckStoreKeepsTheRest(const TranslationSettingsData& before, std::uint32_t number) {
  auto key = platform::SettingsKey::Open(SettingsFile(), kTranslationSettingsKey);
  FUZZ_CHECK(key.has_value());
  FUZZ_CHECK(key->SetNumber("Translation", number));

  TranslationSettingsData after = Load();
  FUZZ_CHECK(after.Translation == number);
  after.Translation = before.Translation;
  FUZZ_CHECK(after.InstallDir == before.InstallDir);
  FUZZ_CHECK(after.TranslationMode == before.TranslationMode);
  for (std::size_t n = 0; n < kTranslationEntryCount; ++n) {
    const TranslationLanguageEntry& a = after.Entries[n];
    const TranslationLanguageEntry& b = before.Entries[n];
    FUZZ_CHECK(a.Language == b.Language && a.TranslationFile == b.TranslationFile &&
               a.TranslationDefaultFont == b.TranslationDefaultFont &&
               a.TranslationFont == b.TranslationFont);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteFile(data, size);
  const TranslationSettingsData settings = Load();
  CheckLoaded(settings);
  CheckStoreKeepsTheRest(settings, static_cast<std::uint32_t>(size * 2654435761u));
  return 0;
}
