#include "hid/HidInterface.h"

#include <cerrno>
#include <cstdio>
#include <new>

namespace {

constexpr std::size_t kFirstCapacity = 4;  // doubled once before the first allocation
constexpr std::size_t kMaxPathLength = 1023;

// The id strings an interface path must contain, in one letter case.
struct IdStrings {
  std::string vendor;
  std::string product;
  std::string interface;

  bool FoundIn(const std::string& path) const {
    return path.find(vendor) != std::string::npos && path.find(product) != std::string::npos &&
           path.find(interface) != std::string::npos;
  }
};

std::string Format(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

IdStrings MakeIdStrings(bool upper, std::uint16_t vendorId, std::uint16_t productId,
                        std::int8_t interfaceNumber) {
  IdStrings ids;
  if (vendorId != 0 && productId != 0) {
    ids.vendor = Format(upper ? "%04X" : "%04x", vendorId);
    ids.product = Format(upper ? "%04X" : "%04x", productId);
  }
  if (interfaceNumber != 0) {
    ids.interface = Format(upper ? "&MI_%02X" : "&mi_%02x",
                           static_cast<std::uint8_t>(interfaceNumber));
  }
  return ids;
}

const platform::HidInterfaceInfo* FindInfo(const std::vector<platform::HidInterfaceInfo>& infos,
                                           const std::string& path) {
  for (const auto& info : infos) {
    if (info.path == path) return &info;
  }
  return nullptr;
}

// Opens an interface whose description is already known.
bool OpenDescribed(platform::HidSystem& system, const platform::HidInterfaceInfo& info,
                   const std::string& path, bool read, bool write, bool overlapped,
                   bool exclusive, HidInterface& record) {
  CloseHidInterface(record);
  int error = 0;
  std::unique_ptr<platform::HidDevice> device = system.Open(path, read, write, error);
  if (!device) {
    record.openError = error != 0 ? error : ENODEV;
    return false;
  }
  record.devicePath = path;
  record.device = std::move(device);
  record.openedForRead = read;
  record.openedForWrite = write;
  record.openedOverlapped = overlapped;
  record.openedExclusive = exclusive;
  record.attributes = HidAttributes{info.vendorId, info.productId};
  record.caps = HidCaps{info.inputReportLength, info.outputReportLength, info.featureReportLength};
  record.openError = 0;
  return true;
}

void Grow(HidInterfaceList& list) {
  list.capacity = list.capacity == 0 ? kFirstCapacity * 2 : list.capacity * 2;
  list.records.reserve(list.capacity);
}

}  // namespace

bool EnumerateHidInterfaces(platform::HidSystem& system, platform::Clock& clock,
                            HidInterfaceList& list, std::uint16_t vendorId,
                            std::uint16_t productId, std::int8_t interfaceNumber) {
  list = HidInterfaceList{};
  const IdStrings upper = MakeIdStrings(true, vendorId, productId, interfaceNumber);
  const IdStrings lower = MakeIdStrings(false, vendorId, productId, interfaceNumber);
  bool opened = false;
  try {
    const std::vector<platform::HidInterfaceInfo> infos = system.ListInterfaces();
    for (const platform::HidInterfaceInfo& info : infos) {
      if (list.records.size() >= list.capacity) Grow(list);
      HidInterface& record = list.records.emplace_back();
      if (!upper.FoundIn(info.path) && !lower.FoundIn(info.path)) continue;
      const std::string path = info.path.substr(0, kMaxPathLength);
      if (OpenDescribed(system, info, path, false, false, false, false, record)) {
        opened = true;
        clock.SleepFor(1);
      }
      // A failed open leaves a record that holds no interface (callers skip it) but keeps
      // the reason, so that a permission problem can be explained.
    }
  } catch (const std::bad_alloc&) {
    list = HidInterfaceList{};
    return false;
  }
  return opened;
}

bool OpenHidInterface(platform::HidSystem& system, const std::string& path, bool read,
                      bool write, bool overlapped, bool exclusive, HidInterface& record) {
  try {
    const std::vector<platform::HidInterfaceInfo> infos = system.ListInterfaces();
    const platform::HidInterfaceInfo* info = FindInfo(infos, path);
    if (!info) {
      CloseHidInterface(record);
      record.openError = ENOENT;
      return false;
    }
    return OpenDescribed(system, *info, path, read, write, overlapped, exclusive, record);
  } catch (const std::bad_alloc&) {
    CloseHidInterface(record);
    record.openError = ENOMEM;
    return false;
  }
}

void CloseHidInterface(HidInterface& record) { record = HidInterface{}; }

bool PathContainsNoCase(std::string_view text, std::string_view pattern) {
  const auto fold = [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  if (pattern.size() > text.size()) return pattern.empty();
  for (std::size_t start = 0; start + pattern.size() <= text.size(); ++start) {
    std::size_t i = 0;
    while (i < pattern.size() && fold(text[start + i]) == fold(pattern[i])) ++i;
    if (i == pattern.size()) return true;
  }
  return pattern.empty();
}
