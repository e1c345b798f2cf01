#include "image/FirmwareImage.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/DebugOutput.h"

std::atomic<std::uint8_t> imageStamp{kFirstImageStamp};

namespace {

constexpr std::uint8_t kDataRecord = 0;
constexpr std::uint8_t kEndOfFileRecord = 1;
constexpr std::size_t kDataStart = 9;  // ":" + count (2) + address (4) + type (2)

// A line as the parser sees it: zero-filled after its end, so every field read stops there.
using LineBuffer = std::array<char, kMaxHexLineLength + 1>;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads up to `width` hex digits (either case) at `at` and returns how many it took; 0 means
// the field is missing. Fewer digits are taken when a non-digit follows early, as a scanf
// "%02x" does. Blanks and signs are not accepted: an Intel-HEX record has none.
int ReadHex(const LineBuffer& line, std::size_t at, int width, unsigned& value) {
  value = 0;
  int digits = 0;
  for (; digits < width && at + digits < line.size(); ++digits) {
    const int digit = HexDigit(line[at + digits]);
    if (digit < 0) break;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return digits;
}

// Reads ":CCAAAATT" (count, address, type) and returns how many of the three fields it read;
// each field starts where the previous one's digits ended.
int ReadHeader(const LineBuffer& line, unsigned& count, unsigned& address, unsigned& type) {
  if (line[0] != ':') return 0;
  std::size_t at = 1;
  unsigned* const fields[] = {&count, &address, &type};
  const int widths[] = {2, 4, 2};
  for (int field = 0; field < 3; ++field) {
    const int digits = ReadHex(line, at, widths[field], *fields[field]);
    if (digits == 0) return field;
    at += static_cast<std::size_t>(digits);
  }
  return 3;
}

// Places one data record and tests its checksum. The record's bytes are read two characters
// apart from the tenth character on.
bool PlaceDataRecord(const LineBuffer& line, unsigned count, std::uint16_t address,
                     std::uint8_t sum, FirmwareImage& image) {
  for (unsigned i = 0; i < count; ++i) {
    unsigned value = 0;
    if (ReadHex(line, kDataStart + 2 * i, 2, value) == 0) return false;
    image.bytes[address] = static_cast<std::uint8_t>(value);
    sum = static_cast<std::uint8_t>(sum + value);
    address = static_cast<std::uint16_t>(address + 1);
  }
  unsigned checksum = 0;
  if (ReadHex(line, kDataStart + 2 * count, 2, checksum) == 0) return false;
  return checksum == static_cast<std::uint8_t>(0x100 - sum);
}

void EchoLine(const LineBuffer& line) {
  platform::WriteDebugOutput(std::string_view(line.data()));
  platform::WriteDebugOutput("\r\n");
}

enum class RecordResult { kNext, kEndOfFile, kFailed };

RecordResult ReadRecord(const LineBuffer& line, FirmwareImage& image) {
  unsigned count = 0, address = 0, type = 0;
  if (ReadHeader(line, count, address, type) < 3) return RecordResult::kFailed;
  const auto sum = static_cast<std::uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
  if (type == kEndOfFileRecord) return RecordResult::kEndOfFile;
  if (type == kDataRecord &&
      !PlaceDataRecord(line, count, static_cast<std::uint16_t>(address), sum, image)) {
    return RecordResult::kFailed;
  }
  return RecordResult::kNext;  // other record types are skipped unchecked
}

// Reads records until the end-of-file record; true only if it was reached without error.
bool ParseHexText(const std::uint8_t* text, std::size_t textLength, FirmwareImage& image) {
  const std::string_view all(reinterpret_cast<const char*>(text), textLength);
  // Everything past the current line stays zero: the line is cleared again after use.
  LineBuffer line{};
  for (std::size_t position = 0;;) {
    const std::size_t lineEnd = all.find("\r\n", position);
    if (lineEnd == std::string_view::npos) return false;
    const std::string_view lineText = all.substr(position, lineEnd - position);
    // A line longer than the buffer cannot be read whole, so the text is refused.
    if (lineText.size() > kMaxHexLineLength) return false;

    std::memcpy(line.data(), lineText.data(), lineText.size());
    EchoLine(line);
    const RecordResult result = ReadRecord(line, image);
    std::memset(line.data(), 0, lineText.size());
    if (result != RecordResult::kNext) return result == RecordResult::kEndOfFile;
    position = lineEnd + 2;
  }
}

// Each build takes the current stamp and leaves the next one, even when builds overlap.
std::uint8_t TakeImageStamp() {
  std::uint8_t stamp = imageStamp.load();
  std::uint8_t next;
  do {
    next = stamp >= kLastImageStamp ? kFirstImageStamp : static_cast<std::uint8_t>(stamp + 1);
  } while (!imageStamp.compare_exchange_weak(stamp, next));
  return stamp;
}

void WriteTrailer(FirmwareImage& image, const std::uint8_t version[3]) {
  const std::uint32_t s = image.size;
  std::fill_n(image.bytes.begin() + (s - kTrailerLength), kTrailerLength, TakeImageStamp());
  if (!image.valid) return;
  image.bytes[s - kTrailerSizeOffset] = static_cast<std::uint8_t>(s & 0xFF);
  image.bytes[s - kTrailerSizeOffset + 1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
  image.bytes[s - kTrailerSumOffset] = 0;
  image.bytes[s - kTrailerSumOffset + 1] = 0;
  std::copy_n(version, 3, image.bytes.begin() + (s - kTrailerVersionOffset));
}

}  // namespace

FirmwareImage BuildFirmwareImage(const std::uint8_t* text, std::size_t textLength,
                                 std::uint32_t size, const std::uint8_t version[3]) {
  FirmwareImage image;
  image.bytes.fill(0xFF);
  image.size = size;
  if (size < kTrailerLength || size > FirmwareImage::kCapacity) {
    // No room for a trailer: nothing to send, and no stamp is used.
    return image;
  }
  image.valid = text != nullptr && ParseHexText(text, textLength, image);
  WriteTrailer(image, version);
  return image;
}
