#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// One pair of a translation table, escapes decoded.
struct TranslationEntry {
  std::u16string source;
  std::u16string translation;
};

// A translation marked with this text has not been translated yet; its source is shown.
inline constexpr char16_t kNotTranslatedMarker[] = u"NOT TRANSLATED YET";

// The entries of one table in table order. Never changed after it is read, so the strings it
// hands out stay valid as long as the table lives.
class TranslationTable {
 public:
  TranslationTable() = default;  // no entries: every text is shown as it is

  // Reads source and translation lines in pairs until the table ends; a source whose
  // translation line cannot be read is dropped.
  static TranslationTable Read(std::span<const std::uint8_t> data);

  // The text to show for `text` (NUL-terminated): the translation of the first entry whose
  // source equals it unit for unit, its source when that translation is marked as not
  // translated yet, or `text` itself when no entry matches.
  const char16_t* Translate(const char16_t* text) const;

  const std::vector<TranslationEntry>& Entries() const { return entries_; }

 private:
  std::vector<TranslationEntry> entries_;
};
