// Reads a translation table from arbitrary bytes and looks texts up in it. Input: one byte whose
// low bits choose how many extra lookups to make, then the table's bytes (a UTF-16LE text).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "localization/TableLine.h"
#include "localization/TranslationTable.h"

namespace {

// Reads every line the way the table does and checks each one; returns them.
std::vector<std::u16string> ReadAllLines(std::span<const std::uint8_t> data) {
  std::vector<std::u16string> lines;
  TableReader reader(data);
  std::u16string line;
  while (ReadTableLine(reader, line)) {
    FUZZ_CHECK(line.size() <= kMaxTableLineUnits);
    FUZZ_CHECK(line.find(u'\n') == std::u16string::npos);
    // Each line takes at least its CR LF, so there are never more lines than units.
    FUZZ_CHECK(lines.size() < data.size() / 2);
    lines.push_back(line);
  }
  return lines;
}

void CheckDecoded(const std::u16string& raw, const std::u16string& decoded) {
  FUZZ_CHECK(decoded.size() == raw.size());
  FUZZ_CHECK(decoded.find_first_of(u"|^") == std::u16string::npos);
  FUZZ_CHECK(decoded == DecodeTableEscapes(raw));
}

// What the table must answer for `text`, from the first entry with that source.
const char16_t* ExpectedTranslation(const TranslationTable& table, const char16_t* text) {
  for (const TranslationEntry& entry : table.Entries()) {
    if (entry.source != std::u16string_view(text)) continue;
    const bool untranslated = entry.translation.find(kNotTranslatedMarker) != std::u16string::npos;
    return untranslated ? entry.source.c_str() : entry.translation.c_str();
  }
  return text;
}

void CheckLookup(const TranslationTable& table, const std::u16string& text) {
  const char16_t* const shown = table.Translate(text.c_str());
  FUZZ_CHECK(shown == ExpectedTranslation(table, text.c_str()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const unsigned extraLookups = data[0] % 8;
  const std::span<const std::uint8_t> bytes(data + 1, size - 1);

  const std::vector<std::u16string> lines = ReadAllLines(bytes);
  const TranslationTable table = TranslationTable::Read(bytes);
  const std::vector<TranslationEntry>& entries = table.Entries();

  // Lines pair up into entries; an odd last line has no translation and is dropped.
  FUZZ_CHECK(entries.size() == lines.size() / 2);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    CheckDecoded(lines[2 * i], entries[i].source);
    CheckDecoded(lines[2 * i + 1], entries[i].translation);
  }

  // Every source (up to its first NUL, as a caller would pass it), shortened forms of them, and
  // the raw lines themselves.
  for (const TranslationEntry& entry : entries) {
    CheckLookup(table, entry.source.c_str());
    if (!entry.source.empty()) CheckLookup(table, entry.source.substr(1));
  }
  for (std::size_t i = 0; i < extraLookups && i < lines.size(); ++i) {
    CheckLookup(table, lines[i].c_str());
  }
  CheckLookup(table, u"");
  return 0;
}
