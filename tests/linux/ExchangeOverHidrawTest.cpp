// The HID transport (enumeration filter, group patterns, the command exchange) running over the
// hidraw backend, with the simulated device answering the emulated node's ioctls.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "HidrawTestBed.h"
#include "hid/DeviceGroups.h"
#include "hid/DeviceLink.h"
#include "hid/HidInterface.h"
#include "hid/SendCommand.h"
#include "platform/Clock.h"
#include "platform/linux/LinuxHidSystem.h"
#include "platform/sim/SimulatedDevice.h"

namespace platform {
namespace {

EmulatedHidraw Interface(int number, std::uint16_t productId, int interfaceNumber,
                         const char* port) {
  EmulatedHidraw hidraw;
  hidraw.number = number;
  hidraw.productId = productId;
  hidraw.interfaceNumber = interfaceNumber;
  hidraw.usbPort = port;
  hidraw.reportDescriptor =
      interfaceNumber == 2 ? ProtocolInterfaceDescriptor() : BootKeyboardDescriptor();
  return hidraw;
}

class ExchangeOverHidraw : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HidrawTestBed::PreloadActive())
        << "run this test through umockdev-wrapper (ctest does), or it would see the real /sys";
  }

  std::set<std::string> OpenedNodes(std::uint16_t vendorId, std::uint16_t productId,
                                    std::int8_t interfaceNumber) {
    HidInterfaceList list;
    EnumerateHidInterfaces(system, clock, list, vendorId, productId, interfaceNumber);
    std::set<std::string> nodes;
    for (const auto& record : list.records) {
      if (record.HoldsInterface()) nodes.insert(record.devicePath.substr(0, record.devicePath.find('?')));
    }
    return nodes;
  }

  // Opens the node's interface into a link the way detection does.
  void OpenLink(const EmulatedNode& node, DeviceLink& link) {
    link.clock = &clock;
    SetUpLink(link);
    std::string path;
    for (const auto& info : system.ListInterfaces()) {
      if (info.path.starts_with(node.devnode + "?")) path = info.path;
    }
    ASSERT_TRUE(OpenHidInterface(system, path, true, true, true, false, link.hid));
    link.isOpen = true;
  }

  VirtualClock clock;
  HidrawTestBed bed;
  LinuxHidSystem system;
};

TEST_F(ExchangeOverHidraw, EnumerationFindsOnlyTheProtocolInterface) {
  EmulatedHidraw bluetooth = Interface(5, 0x0074, 2, "1-3");  // the dongle's interface is 2
  bluetooth.parent = EmulatedParent::BluetoothBehindUsbDongle;
  EmulatedHidraw productDigitsInInstance = Interface(4, 0x0080, 2, "1-5");
  productDigitsInInstance.hidInstance = 0x0074;

  bed.Add(Interface(3, 0x0074, 2, "1-2"));
  bed.Add(Interface(1, 0x0074, 0, "1-2"));
  bed.Add(bluetooth);
  bed.Add(productDigitsInInstance);
  bed.Add(Interface(7, 0x0078, 2, "1-4"));

  EXPECT_EQ(OpenedNodes(0x2D9B, 0x0074, 2), std::set<std::string>{"/dev/hidraw3"});
  // Interface 0 adds no "&mi_" test: every interface of the product.
  EXPECT_EQ(OpenedNodes(0x2D9B, 0x0074, 0),
            (std::set<std::string>{"/dev/hidraw1", "/dev/hidraw3", "/dev/hidraw5"}));
  // The HID device's instance number 0074 is not part of any path.
  EXPECT_EQ(OpenedNodes(0x2D9B, 0x0080, 2), std::set<std::string>{"/dev/hidraw4"});
  EXPECT_EQ(OpenedNodes(0x2D9B, 0x0078, 2), std::set<std::string>{"/dev/hidraw7"});
  EXPECT_TRUE(OpenedNodes(0x2D9B, 0x0075, 2).empty());

  std::map<std::string, std::string> paths;
  for (const auto& info : system.ListInterfaces()) paths[info.path.substr(0, info.path.find('?'))] = info.path;
  EXPECT_TRUE(MatchesGroup(DeviceGroup::A, paths["/dev/hidraw3"]));
  EXPECT_FALSE(MatchesGroup(DeviceGroup::A, paths["/dev/hidraw1"]));
  EXPECT_FALSE(MatchesGroup(DeviceGroup::A, paths["/dev/hidraw5"]));
  EXPECT_TRUE(MatchesGroup(DeviceGroup::B, paths["/dev/hidraw7"]));
  EXPECT_FALSE(MatchesGroup(DeviceGroup::A, paths["/dev/hidraw7"]));
}

SimulatedDeviceConfig Keyboard() {
  SimulatedDeviceConfig config;
  config.group = SimulatedGroup::A;
  config.productId = 0x0074;
  config.firmware = {5, 1, 7};
  config.modelCode = 9;
  return config;
}

TEST_F(ExchangeOverHidraw, UnlocksAndQueriesTheSimulatedKeyboard) {
  SimulatedDevice device(Keyboard());
  EmulatedNode node = bed.Add(Interface(3, 0x0074, 2, "1-2"));
  bed.Serve(node.devnode, device);
  DeviceLink link;
  OpenLink(node, link);

  const char* code = SimulatedDevice::kGroupAAccessCode;
  EXPECT_EQ(SendCommand(&link, CmdUnlock, reinterpret_cast<const std::uint8_t*>(code),
                        std::strlen(code)),
            0);
  EXPECT_EQ(link.replyError, kReplyAccepted);
  EXPECT_TRUE(device.Unlocked());

  std::uint8_t zeros[frame::kPayloadSize] = {};
  EXPECT_EQ(SendCommand(&link, CmdQueryInfo, zeros, sizeof zeros), 0);
  EXPECT_EQ(link.replyError, kReplyAccepted);
  EXPECT_EQ(link.sendError, kSendOk);
  EXPECT_EQ(link.reply[frame::kCode], CmdResponse);
  EXPECT_EQ(link.reply[frame::kPayload + 0], 5);
  EXPECT_EQ(link.reply[frame::kPayload + 1], 1);
  EXPECT_EQ(link.reply[frame::kPayload + 2], 7);
  EXPECT_EQ(link.reply[frame::kPayload + 3], 9);

  // The host's acknowledgement of the response reached the device too.
  std::vector<int> codes;
  for (const auto& request : device.Requests()) codes.push_back(request.code);
  EXPECT_EQ(codes, (std::vector<int>{CmdUnlock, CmdQueryInfo, CmdAck}));
}

TEST_F(ExchangeOverHidraw, FailedIoctlsBecomeVerdictsWithTheirErrno) {
  struct Case {
    const char* name;
    bool writeFails;  // else reads fail
    int error;
    SendError sendError;
    ReplyError replyError;
  };
  const Case cases[] = {
      {"write EPIPE", true, EPIPE, kSendRequestFailed, kReplyAccepted},
      {"write ENODEV", true, ENODEV, kSendRequestFailed, kReplyAccepted},
      {"read EIO", false, EIO, kSendOk, kReplyAcknowledgementReadFailed},
      {"read EPIPE", false, EPIPE, kSendOk, kReplyAcknowledgementReadFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedDevice device(Keyboard());
    SimulatedFaults faults;
    (c.writeFails ? faults.writeFailure : faults.readFailure).error = c.error;
    device.SetFaults(faults);
    EmulatedNode node = bed.Add(Interface(3, 0x0074, 2, "1-2"));
    bed.Serve(node.devnode, device);
    DeviceLink link;
    OpenLink(node, link);

    const char* code = SimulatedDevice::kGroupAAccessCode;
    EXPECT_EQ(SendCommand(&link, CmdUnlock, reinterpret_cast<const std::uint8_t*>(code),
                          std::strlen(code)),
              c.error);
    EXPECT_EQ(link.sendError, c.sendError);
    EXPECT_EQ(link.replyError, c.replyError);
    EXPECT_EQ(device.WriteCalls(), 100);
    CloseHidInterface(link.hid);
    bed.Unplug(node);
  }
}

TEST_F(ExchangeOverHidraw, AKeyboardThatWentAwayFailsWithEnodev) {
  SimulatedDevice device(Keyboard());
  EmulatedNode node = bed.Add(Interface(3, 0x0074, 2, "1-2"));
  bed.Serve(node.devnode, device);
  DeviceLink link;
  OpenLink(node, link);
  device.PowerOff();

  std::uint8_t zeros[frame::kPayloadSize] = {};
  EXPECT_EQ(SendCommand(&link, CmdQueryInfo, zeros, sizeof zeros), ENODEV);
  EXPECT_EQ(link.sendError, kSendRequestFailed);
  EXPECT_EQ(device.WriteCalls(), 100);
}

}  // namespace
}  // namespace platform
