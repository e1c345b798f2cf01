#include "localization/TranslationTable.h"

#include <string_view>

#include "localization/TableLine.h"

TranslationTable TranslationTable::Read(std::span<const std::uint8_t> data) {
  TranslationTable table;
  TableReader reader(data);
  std::u16string source;
  std::u16string translation;
  while (ReadTableLine(reader, source) && ReadTableLine(reader, translation)) {
    table.entries_.push_back(
        {DecodeTableEscapes(std::move(source)), DecodeTableEscapes(std::move(translation))});
  }
  return table;
}

const char16_t* TranslationTable::Translate(const char16_t* text) const {
  const std::u16string_view wanted(text);
  for (const TranslationEntry& entry : entries_) {
    if (entry.source != wanted) continue;
    if (entry.translation.find(kNotTranslatedMarker) != std::u16string::npos) {
      return entry.source.c_str();
    }
    return entry.translation.c_str();
  }
  return text;
}
