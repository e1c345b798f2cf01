#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Translation tables are UTF-16LE text: a byte-order mark, then one text per line, each ended
// by CR LF.

// The longest line a table may hold, without its CR LF.
inline constexpr std::size_t kMaxTableLineUnits = 2043;

// A cursor over a table's code units. The first unit (the byte-order mark) is skipped unread; a
// lone byte at the end of the data is not a unit and is ignored.
class TableReader {
 public:
  explicit TableReader(std::span<const std::uint8_t> data);

  bool AtEnd() const { return next_ >= units_; }
  char16_t Take();  // only when not AtEnd()

 private:
  std::span<const std::uint8_t> data_;
  std::size_t units_;
  std::size_t next_ = 1;
};

// Reads the next line into `line`, without its CR LF and with the escapes not yet decoded.
// An LF without a CR before it is dropped; a CR followed by anything but LF is dropped and the
// unit after it is kept as it is. Returns false when the table ends here: the data ran out
// before the line's CR LF, or the line grew past kMaxTableLineUnits.
bool ReadTableLine(TableReader& reader, std::u16string& line);

// Turns a table line into the text it stands for: "|" becomes LF, then "*" becomes CR, then
// "^" becomes "*". So "*|" is a CR LF line break and "^" the only way to write a "*".
std::u16string DecodeTableEscapes(std::u16string line);
