#include "platform/linux/ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <vector>

namespace platform {
namespace {

// Item types and tags of short items (HID 1.11, section 6.2.2).
constexpr std::uint8_t kTypeMain = 0;
constexpr std::uint8_t kTypeGlobal = 1;
constexpr std::uint8_t kTagInput = 0x8;
constexpr std::uint8_t kTagOutput = 0x9;
constexpr std::uint8_t kTagFeature = 0xB;
constexpr std::uint8_t kTagReportSize = 0x7;
constexpr std::uint8_t kTagReportId = 0x8;
constexpr std::uint8_t kTagReportCount = 0x9;
constexpr std::uint8_t kTagPush = 0xA;
constexpr std::uint8_t kTagPop = 0xB;
constexpr std::uint8_t kLongItemPrefix = 0xFE;

// The kernel's own limits; a descriptor beyond them is malformed.
constexpr std::size_t kMaxGlobalStack = 4;
constexpr std::uint32_t kMaxReportSizeBits = 256;
constexpr std::uint32_t kMaxReportCount = 12288;

struct GlobalState {
  std::uint32_t reportSize = 0;
  std::uint32_t reportCount = 0;
  std::uint8_t reportId = 0;
};

// Bits per report id, for one kind of report. A report id that never occurs stays unset.
struct BitsPerReport {
  std::array<std::uint64_t, 256> bits{};
  std::array<bool, 256> seen{};

  void Add(std::uint8_t reportId, std::uint64_t count) {
    bits[reportId] += count;
    seen[reportId] = true;
  }

  std::uint16_t LengthInBytes() const {
    std::uint64_t longest = 0;
    bool any = false;
    for (std::size_t id = 0; id < bits.size(); ++id) {
      if (!seen[id]) continue;
      any = true;
      longest = std::max(longest, bits[id]);
    }
    if (!any) return 0;
    return static_cast<std::uint16_t>(std::min<std::uint64_t>((longest + 7) / 8 + 1, 0xFFFF));
  }
};

std::uint32_t LittleEndian(std::span<const std::uint8_t> data) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < data.size(); ++i) value |= std::uint32_t{data[i]} << (8 * i);
  return value;
}

}  // namespace

ReportLengths ParseReportLengths(std::span<const std::uint8_t> descriptor) {
  BitsPerReport input, output, feature;
  GlobalState global;
  std::vector<GlobalState> stack;

  std::size_t pos = 0;
  while (pos < descriptor.size()) {
    const std::uint8_t prefix = descriptor[pos];
    if (prefix == kLongItemPrefix) {
      // Long items carry no report layout; skip them by their size byte.
      if (pos + 2 >= descriptor.size()) break;
      pos += 3 + std::size_t{descriptor[pos + 1]};
      continue;
    }
    const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
    if (pos + 1 + size > descriptor.size()) break;
    const std::uint32_t value = LittleEndian(descriptor.subspan(pos + 1, size));
    const std::uint8_t type = (prefix >> 2) & 3;
    const std::uint8_t tag = prefix >> 4;
    pos += 1 + size;

    if (type == kTypeGlobal) {
      if (tag == kTagReportSize) {
        if (value > kMaxReportSizeBits) break;
        global.reportSize = value;
      } else if (tag == kTagReportCount) {
        if (value > kMaxReportCount) break;
        global.reportCount = value;
      } else if (tag == kTagReportId) {
        if (value == 0 || value > 255) break;
        global.reportId = static_cast<std::uint8_t>(value);
      } else if (tag == kTagPush) {
        if (stack.size() == kMaxGlobalStack) break;
        stack.push_back(global);
      } else if (tag == kTagPop) {
        if (stack.empty()) break;
        global = stack.back();
        stack.pop_back();
      }
    } else if (type == kTypeMain) {
      const std::uint64_t bits = std::uint64_t{global.reportSize} * global.reportCount;
      if (tag == kTagInput) input.Add(global.reportId, bits);
      if (tag == kTagOutput) output.Add(global.reportId, bits);
      if (tag == kTagFeature) feature.Add(global.reportId, bits);
    }
  }
  return {input.LengthInBytes(), output.LengthInBytes(), feature.LengthInBytes()};
}

}  // namespace platform
