#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/linux/InterfacePath.h"
#include "platform/linux/ReportDescriptor.h"

namespace platform {
namespace {

TEST(ParseHidId, ReadsBusVendorAndProduct) {
  auto id = ParseHidId("0003:00002D9B:00000074");
  ASSERT_TRUE(id);
  EXPECT_EQ(id->bus, 0x0003);
  EXPECT_EQ(id->vendorId, 0x2D9B);
  EXPECT_EQ(id->productId, 0x0074);

  auto lower = ParseHidId("0005:00002d9b:000000b5");
  ASSERT_TRUE(lower);
  EXPECT_EQ(lower->vendorId, 0x2D9B);
  EXPECT_EQ(lower->productId, 0x00B5);
}

TEST(ParseHidId, RejectsMalformedText) {
  for (const char* text : {"", "0003:00002D9B", "0003:00002D9B:00000074:1", "0003::00000074",
                           "0003:00012D9B:00000074",  // vendor beyond 16 bits
                           "0003:00002D9B:000000074", "0003:2D9G:0074", "0003:+2D9B:0074",
                           "0003:00002D9B:00000074\n"}) {
    EXPECT_FALSE(ParseHidId(text)) << text;
  }
}

TEST(FormatInterfacePath, CarriesIdsInLowerCaseHex) {
  InterfaceIdentity usb{"/dev/hidraw3", 0x2D9B, 0x00B2, 2, "1-2:1.2"};
  EXPECT_EQ(FormatInterfacePath(usb), "/dev/hidraw3?vid_2d9b&pid_00b2&mi_02&usb_1-2:1.2");

  InterfaceIdentity bluetooth{"/dev/hidraw12", 0x2D9B, 0x0074, -1, ""};
  EXPECT_EQ(FormatInterfacePath(bluetooth), "/dev/hidraw12?vid_2d9b&pid_0074");

  // A location that is not a USB interface name never reaches the path.
  InterfaceIdentity odd{"/dev/hidraw1", 0x2D9B, 0x0074, 0, "vid_ed9b&pid_0078"};
  EXPECT_EQ(FormatInterfacePath(odd), "/dev/hidraw1?vid_2d9b&pid_0074&mi_00");
}

TEST(DevnodeOfPath, AcceptsOnlyHidrawNodes) {
  EXPECT_EQ(DevnodeOfPath("/dev/hidraw3?vid_2d9b&pid_0074&mi_02&usb_1-2:1.2"), "/dev/hidraw3");
  EXPECT_EQ(DevnodeOfPath("/dev/hidraw17"), "/dev/hidraw17");
  for (const char* path : {"", "/dev/hidraw", "/dev/hidraw3x?vid_2d9b", "/dev/sda?vid_2d9b",
                           "/dev/hidraw/../sda", "\\\\?\\hid#vid_2d9b&pid_0074&mi_02",
                           "/dev/hidraw1234567"}) {
    EXPECT_EQ(DevnodeOfPath(path), "") << path;
  }
}

TEST(UsbInterfaceName, GivesTheInterfaceNumber) {
  EXPECT_EQ(InterfaceNumberOfUsbInterfaceName("1-2:1.2"), 2);
  EXPECT_EQ(InterfaceNumberOfUsbInterfaceName("3-1.4.2:1.0"), 0);
  EXPECT_EQ(InterfaceNumberOfUsbInterfaceName("12-10:2.11"), 11);
  for (const char* name : {"", "usb1", "1-2", "1-2:1", "1-2:1.", "hci0:256", "1-.2:1.0",
                           "1-2.:1.0", "0003:2D9B:0074.0005"}) {
    EXPECT_EQ(InterfaceNumberOfUsbInterfaceName(name), -1) << name;
  }
}

struct DevpathCase {
  const char* devpath;
  bool valid;
  std::uint16_t vendorId, productId;
  int interfaceNumber;
  const char* usbInterface;
};

TEST(IdentityFromDevpath, RebuildsWhatARemovalNeeds) {
  const DevpathCase cases[] = {
      {"/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.2/0003:2D9B:0074.0005/hidraw/hidraw3", true,
       0x2D9B, 0x0074, 2, "1-2:1.2"},
      // Bluetooth behind a USB dongle: the dongle's interface 2 is not the keyboard's.
      {"/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.2/bluetooth/hci0/hci0:256/"
       "0005:2D9B:0074.0007/hidraw/hidraw5",
       true, 0x2D9B, 0x0074, -1, ""},
      {"/devices/virtual/misc/uhid/0003:2D9B:00B5.000A/hidraw/hidraw6", true, 0x2D9B, 0x00B5, -1,
       ""},
      {"/devices/virtual/misc/uhid/hidraw/hidraw6", false, 0, 0, -1, ""},
      {"/devices/usb1/1-2/1-2:1.2/0003:2D9B:0074/hidraw/hidraw3", false, 0, 0, -1, ""},
      {"/devices/usb1/1-2/1-2:1.2/0003:2D9B:0074.0005/input/input7", false, 0, 0, -1, ""},
      {"", false, 0, 0, -1, ""},
  };
  for (const auto& c : cases) {
    auto identity = IdentityFromDevpath(c.devpath, "/dev/hidraw3");
    ASSERT_EQ(identity.has_value(), c.valid) << c.devpath;
    if (!identity) continue;
    EXPECT_EQ(identity->vendorId, c.vendorId) << c.devpath;
    EXPECT_EQ(identity->productId, c.productId) << c.devpath;
    EXPECT_EQ(identity->interfaceNumber, c.interfaceNumber) << c.devpath;
    EXPECT_EQ(identity->usbInterface, c.usbInterface) << c.devpath;
  }
}

struct DescriptorCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  ReportLengths expected;
};

TEST(ParseReportLengths, CountsTheLongestReportOfEachKindPlusTheIdByte) {
  const DescriptorCase cases[] = {
      {"empty", {}, {0, 0, 0}},
      {"64-byte feature, 8-byte input",
       {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0x95, 0x40,
        0xB1, 0x02, 0xC0},
       {9, 0, 65}},
      {"report ids: the longest report counts",
       {0x85, 0x01, 0x75, 0x08, 0x95, 0x04, 0xB1, 0x02,   // id 1: 4 bytes
        0x85, 0x02, 0x95, 0x10, 0xB1, 0x02,               // id 2: 16 bytes
        0x85, 0x03, 0x95, 0x02, 0x91, 0x02},              // id 3: 2-byte output
       {0, 3, 17}},
      {"bits round up to bytes", {0x75, 0x01, 0x95, 0x05, 0x91, 0x02}, {0, 2, 0}},
      {"push and pop restore size and count",
       {0x75, 0x08, 0x95, 0x02, 0xA4, 0x95, 0x20, 0x81, 0x02, 0xB4, 0x81, 0x02},
       {35, 0, 0}},
      {"a long item is skipped", {0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x75, 0x08, 0x95, 0x03, 0xB1, 0x02},
       {0, 0, 4}},
      {"four-byte data", {0x77, 0x08, 0x00, 0x00, 0x00, 0x97, 0x02, 0x00, 0x00, 0x00, 0x81, 0x02},
       {3, 0, 0}},
  };
  for (const auto& c : cases) {
    ReportLengths lengths = ParseReportLengths(c.bytes);
    EXPECT_EQ(lengths.input, c.expected.input) << c.name;
    EXPECT_EQ(lengths.output, c.expected.output) << c.name;
    EXPECT_EQ(lengths.feature, c.expected.feature) << c.name;
  }
}

TEST(ParseReportLengths, StopsAtMalformedItemsAndKeepsWhatCameBefore) {
  const std::vector<std::uint8_t> good = {0x75, 0x08, 0x95, 0x04, 0xB1, 0x02};  // 4-byte feature
  const std::vector<std::uint8_t> later = {0x95, 0x40, 0xB1, 0x02};  // never counted
  struct Fault {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool atEnd;  // a cut-short item can only be the last thing in the descriptor
  };
  const Fault faults[] = {
      {"item cut short", {0x95}, true},
      {"two-byte item with one byte left", {0x26, 0xFF}, true},
      {"long item running past the end", {0xFE, 0x40, 0x00, 0x01}, false},
      {"pop without push", {0xB4}, false},
      {"report id 0", {0x85, 0x00}, false},
      {"report size beyond the kernel's limit", {0x77, 0x00, 0x10, 0x00, 0x00}, false},
      {"push beyond the stack", {0xA4, 0xA4, 0xA4, 0xA4, 0xA4}, false},
  };
  for (const auto& fault : faults) {
    auto bytes = good;
    bytes.insert(bytes.end(), fault.bytes.begin(), fault.bytes.end());
    if (!fault.atEnd) bytes.insert(bytes.end(), later.begin(), later.end());
    EXPECT_EQ(ParseReportLengths(bytes).feature, 5) << fault.name;
  }
}

TEST(ParseReportLengths, CapsHugeReportsInsteadOfWrapping) {
  // 256 bits x 12288, repeated: far beyond 16 bits of bytes.
  std::vector<std::uint8_t> bytes = {0x76, 0x00, 0x01, 0x96, 0x00, 0x30};
  for (int i = 0; i < 8; ++i) bytes.insert(bytes.end(), {0xB1, 0x02});
  EXPECT_EQ(ParseReportLengths(bytes).feature, 0xFFFF);
}

}  // namespace
}  // namespace platform
