#include "localization/TableLine.h"

#include <algorithm>

namespace {
constexpr char16_t kCR = u'\r';
constexpr char16_t kLF = u'\n';
}  // namespace

TableReader::TableReader(std::span<const std::uint8_t> data)
    : data_(data), units_(data.size() / 2) {}

char16_t TableReader::Take() {
  const std::size_t at = 2 * next_++;
  return static_cast<char16_t>(data_[at] | (data_[at + 1] << 8));
}

bool ReadTableLine(TableReader& reader, std::u16string& line) {
  line.clear();
  while (!reader.AtEnd()) {
    char16_t unit = reader.Take();
    if (unit == kLF) continue;
    if (unit == kCR) {
      if (reader.AtEnd()) return false;
      unit = reader.Take();
      if (unit == kLF) return true;
    }
    line.push_back(unit);
    if (line.size() > kMaxTableLineUnits) return false;
  }
  return false;
}

std::u16string DecodeTableEscapes(std::u16string line) {
  std::replace(line.begin(), line.end(), u'|', kLF);
  std::replace(line.begin(), line.end(), u'*', kCR);
  std::replace(line.begin(), line.end(), u'^', u'*');
  return line;
}
