#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "hid/DeviceGroups.h"
#include "hid/HidInterface.h"
#include "platform/Clock.h"

namespace {

constexpr const char* kWindowsStylePath =
    "\\\\?\\hid#vid_2d9b&pid_0074&mi_02#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// A machine with a fixed list of interfaces; opening fails for the paths in `refused`.
class FakeHidSystem final : public platform::HidSystem {
 public:
  explicit FakeHidSystem(std::vector<std::string> paths) {
    for (auto& path : paths) {
      platform::HidInterfaceInfo info;
      info.path = std::move(path);
      info.vendorId = 0x2D9B;
      info.productId = 0x0074;
      info.interfaceNumber = 2;
      info.featureReportLength = 65;
      infos.push_back(info);
    }
  }
  std::vector<platform::HidInterfaceInfo> ListInterfaces() override { return infos; }
  std::unique_ptr<platform::HidDevice> Open(const std::string& path, bool read, bool write,
                                            int& error) override {
    opens.push_back({path, read, write});
    if (refused.count(path)) {
      error = EACCES;
      return nullptr;
    }
    error = 0;
    return std::make_unique<NullDevice>();
  }
  void SetEventHandler(std::function<void(const platform::HidEvent&)>) override {}

  struct OpenCall {
    std::string path;
    bool read;
    bool write;
  };
  std::vector<platform::HidInterfaceInfo> infos;
  std::set<std::string> refused;
  std::vector<OpenCall> opens;

 private:
  struct NullDevice final : platform::HidDevice {
    int SetFeature(const platform::FeatureReport&) override { return EPIPE; }
    int GetFeature(platform::FeatureReport&) override { return EPIPE; }
  };
};

std::vector<std::string> OpenedPaths(const HidInterfaceList& list) {
  std::vector<std::string> paths;
  for (const auto& record : list.records) {
    if (record.HoldsInterface()) paths.push_back(record.devicePath);
  }
  return paths;
}

}  // namespace

struct ContainsCase {
  const char* text;
  const char* pattern;
  bool expected;
};

class PathContainsNoCaseTest : public ::testing::TestWithParam<ContainsCase> {};

TEST_P(PathContainsNoCaseTest, FoldsOnlyAsciiLetters) {
  const ContainsCase c = GetParam();
  EXPECT_EQ(PathContainsNoCase(c.text, c.pattern), c.expected) << c.text << " / " << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathContainsNoCaseTest,
    ::testing::Values(ContainsCase{kWindowsStylePath, "vid_2D9B&pid_0074&mi_02", true},
                      ContainsCase{"VID_2D9B&PID_0074&MI_02", "vid_2d9b&pid_0074&mi_02", true},
                      ContainsCase{"abc", "", true}, ContainsCase{"", "", true},
                      ContainsCase{"", "a", false},
                      ContainsCase{"aab", "ab", true},        // restart one past the last start
                      ContainsCase{"xxvid_2d9", "vid_2d9b", false},  // text ends mid-match
                      ContainsCase{"a[b", "A{B", false},      // '[' and '{' are not folded
                      ContainsCase{"\xC4x", "\xE4X", false},  // nor are non-ASCII letters
                      ContainsCase{"mi_00", "MI_02", false}));

struct FilterCase {
  const char* name;
  std::string path;
  std::uint16_t vendorId;
  std::uint16_t productId;
  std::int8_t interfaceNumber;
  bool matches;
};

class EnumerationFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(EnumerationFilter, OpensOnlyMatchingPaths) {
  const FilterCase c = GetParam();
  FakeHidSystem system({c.path});
  platform::VirtualClock clock;
  HidInterfaceList list;
  EXPECT_EQ(EnumerateHidInterfaces(system, clock, list, c.vendorId, c.productId,
                                   c.interfaceNumber),
            c.matches);
  ASSERT_EQ(list.count(), 1u);
  EXPECT_EQ(list.records[0].HoldsInterface(), c.matches);
  EXPECT_EQ(system.opens.size(), c.matches ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnumerationFilter,
    ::testing::Values(
        FilterCase{"LowerCasePath", kWindowsStylePath, 0x2D9B, 0x0074, 2, true},
        FilterCase{"UpperCasePath", "HID#VID_2D9B&PID_0074&MI_02#1", 0x2D9B, 0x0074, 2, true},
        FilterCase{"MixedCaseFails", "hid#vid_2D9B&pid_0074&mi_02#1", 0x2D9B, 0x0074, 2, false},
        FilterCase{"OtherInterface", "\\\\?\\hid#vid_2d9b&pid_0074&mi_00#7&1a2b&0&0000#{g}",
                   0x2D9B, 0x0074, 2, false},
        FilterCase{"OtherProduct", "/dev/hidraw0 (vid_2d9b&pid_0075&mi_02)", 0x2D9B, 0x0074, 2,
                   false},
        FilterCase{"ProductDigitsOnlyInInstancePart",
                   "\\\\?\\hid#vid_2d9b&pid_0099&mi_02#7&0074&0&0000#{g}", 0x2D9B, 0x0074, 2,
                   true},
        FilterCase{"AnyVendorInterface2", "/dev/hidraw1 (vid_046d&pid_c52b&mi_02)", 0, 0, 2,
                   true},
        FilterCase{"AnyVendorWrongInterface", "/dev/hidraw1 (vid_046d&pid_c52b&mi_01)", 0, 0, 2,
                   false},
        FilterCase{"AnyVendorAnyInterface", "/dev/hidraw1 (bluetooth mouse)", 0, 0, 0, true},
        FilterCase{"LinuxStylePath", "/dev/hidraw3 (usb-sim-1.2:1.2 vid_2d9b&pid_0076&mi_02)",
                   0x2D9B, 0x0076, 2, true}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

TEST(EnumerateHidInterfaces, TenInterfacesGrowTheArrayFrom8To16) {
  std::vector<std::string> paths;
  for (int i = 0; i < 10; ++i) paths.push_back("/dev/hidraw" + std::to_string(i) + " vid_2d9b&pid_0074&mi_02");
  FakeHidSystem system(paths);
  platform::VirtualClock clock;
  HidInterfaceList list;
  EXPECT_TRUE(EnumerateHidInterfaces(system, clock, list, 0x2D9B, 0x0074, 2));
  EXPECT_EQ(list.count(), 10u);
  EXPECT_EQ(list.capacity, 16u);
  EXPECT_EQ(OpenedPaths(list), paths);
  EXPECT_EQ(clock.Now(), 10);  // 1 ms after each successful open
}

TEST(EnumerateHidInterfaces, FirstAllocationHolds8) {
  FakeHidSystem system({"a vid_2d9b&pid_0074&mi_02"});
  platform::VirtualClock clock;
  HidInterfaceList list;
  EnumerateHidInterfaces(system, clock, list, 0x2D9B, 0x0074, 2);
  EXPECT_EQ(list.capacity, 8u);
  std::vector<std::string> eight(8, "p vid_2d9b&pid_0074&mi_02");
  FakeHidSystem full(eight);
  EnumerateHidInterfaces(full, clock, list, 0x2D9B, 0x0074, 2);
  EXPECT_EQ(list.capacity, 8u);
  EXPECT_EQ(list.count(), 8u);
}

TEST(EnumerateHidInterfaces, OpensForDescriptionOnlyAndSkipsFailedOpens) {
  FakeHidSystem system({"/dev/hidraw0 vid_2d9b&pid_0074&mi_02", "/dev/hidraw1 vid_2d9b&pid_0074&mi_00",
                        "/dev/hidraw2 vid_2d9b&pid_0074&mi_02"});
  system.refused.insert("/dev/hidraw0 vid_2d9b&pid_0074&mi_02");
  platform::VirtualClock clock;
  HidInterfaceList list;
  EXPECT_TRUE(EnumerateHidInterfaces(system, clock, list, 0x2D9B, 0x0074, 2));
  ASSERT_EQ(list.count(), 3u);
  EXPECT_FALSE(list.records[0].HoldsInterface());
  EXPECT_EQ(list.records[0].device, nullptr);
  EXPECT_EQ(list.records[0].openError, EACCES);  // kept to explain a missing permission
  EXPECT_FALSE(list.records[1].HoldsInterface());
  EXPECT_TRUE(list.records[2].HoldsInterface());
  EXPECT_EQ(list.records[2].attributes.productId, 0x0074);
  for (const auto& call : system.opens) EXPECT_FALSE(call.read || call.write);
  EXPECT_EQ(clock.Now(), 1);
}

TEST(EnumerateHidInterfaces, NothingOpenedGivesFalse) {
  FakeHidSystem system({"x vid_2d9b&pid_0074&mi_02"});
  system.refused.insert("x vid_2d9b&pid_0074&mi_02");
  platform::VirtualClock clock;
  HidInterfaceList list;
  EXPECT_FALSE(EnumerateHidInterfaces(system, clock, list, 0x2D9B, 0x0074, 2));
  FakeHidSystem empty({});
  EXPECT_FALSE(EnumerateHidInterfaces(empty, clock, list, 0x2D9B, 0x0074, 2));
  EXPECT_EQ(list.count(), 0u);
}

TEST(OpenHidInterface, FillsTheRecordFromTheInterfaceDescription) {
  FakeHidSystem system({"/dev/hidraw7 vid_2d9b&pid_0074&mi_02"});
  HidInterface record;
  ASSERT_TRUE(OpenHidInterface(system, "/dev/hidraw7 vid_2d9b&pid_0074&mi_02", true, true, true,
                               false, record));
  EXPECT_EQ(record.devicePath, "/dev/hidraw7 vid_2d9b&pid_0074&mi_02");
  EXPECT_NE(record.device, nullptr);
  EXPECT_TRUE(record.openedForRead && record.openedForWrite && record.openedOverlapped);
  EXPECT_FALSE(record.openedExclusive);
  EXPECT_EQ(record.attributes.vendorId, 0x2D9B);
  EXPECT_EQ(record.attributes.productId, 0x0074);
  EXPECT_EQ(record.caps.featureReportByteLength, 65);
  ASSERT_EQ(system.opens.size(), 1u);
  EXPECT_TRUE(system.opens[0].read && system.opens[0].write);

  CloseHidInterface(record);
  EXPECT_FALSE(record.HoldsInterface());
  EXPECT_EQ(record.device, nullptr);
}

TEST(OpenHidInterface, FailureLeavesNoHalfOpenRecord) {
  FakeHidSystem system({"/dev/hidraw7 vid_2d9b&pid_0074&mi_02"});
  HidInterface record;
  ASSERT_TRUE(OpenHidInterface(system, "/dev/hidraw7 vid_2d9b&pid_0074&mi_02", true, true, false,
                               false, record));
  EXPECT_FALSE(OpenHidInterface(system, "/dev/hidraw9 gone", true, true, false, false, record));
  EXPECT_FALSE(record.HoldsInterface());
  EXPECT_EQ(record.device, nullptr);
  EXPECT_EQ(record.openError, ENOENT);

  system.refused.insert("/dev/hidraw7 vid_2d9b&pid_0074&mi_02");
  EXPECT_FALSE(OpenHidInterface(system, "/dev/hidraw7 vid_2d9b&pid_0074&mi_02", true, true, false,
                                false, record));
  EXPECT_FALSE(record.HoldsInterface());
  EXPECT_EQ(record.openError, EACCES);
}

struct GroupCase {
  const char* path;
  bool groupA;
  bool groupB;
};

class DeviceGroupMatch : public ::testing::TestWithParam<GroupCase> {};

TEST_P(DeviceGroupMatch, ByCaseInsensitivePattern) {
  const GroupCase c = GetParam();
  EXPECT_EQ(MatchesGroup(DeviceGroup::A, c.path), c.groupA) << c.path;
  EXPECT_EQ(MatchesGroup(DeviceGroup::B, c.path), c.groupB) << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DeviceGroupMatch,
    ::testing::Values(GroupCase{kWindowsStylePath, true, false},
                      GroupCase{"/dev/hidraw3 (usb-sim-1.2:1.2 vid_2d9b&pid_0076&mi_02)", true, false},
                      GroupCase{"x vid_2d9b&pid_00b5&mi_02", true, false},
                      GroupCase{"x vid_2d9b&pid_0078&mi_02", false, true},
                      GroupCase{"x VID_2D9B&PID_007A&MI_02", false, true},
                      GroupCase{"x vid_ed9b&pid_0078&mi_02", false, true},
                      GroupCase{"x vid_2d9b&pid_0074&mi_00", false, false},
                      GroupCase{"x vid_2d9b&pid_00b6&mi_02", false, false},
                      GroupCase{"x vid_2d9c&pid_0078&mi_02", false, false}));

TEST(DeviceGroups, SearchOrdersCoverEachGroupOnce) {
  std::set<std::uint16_t> detection(kDetectionProductIds.begin(), kDetectionProductIds.end());
  std::set<std::uint16_t> reconnect(kGroupAReconnectProductIds.begin(),
                                    kGroupAReconnectProductIds.end());
  reconnect.insert(kGroupBReconnectProductIds.begin(), kGroupBReconnectProductIds.end());
  EXPECT_EQ(detection, reconnect);
  EXPECT_EQ(detection.size(), kDetectionProductIds.size());
  for (std::uint16_t id : kGroupAReconnectProductIds) {
    char path[64];
    std::snprintf(path, sizeof path, "vid_2d9b&pid_%04x&mi_02", id);
    EXPECT_TRUE(MatchesGroup(DeviceGroup::A, path)) << path;
  }
  for (std::uint16_t id : kGroupBReconnectProductIds) {
    char path[64];
    std::snprintf(path, sizeof path, "vid_2d9b&pid_%04x&mi_02", id);
    EXPECT_TRUE(MatchesGroup(DeviceGroup::B, path)) << path;
  }
}
