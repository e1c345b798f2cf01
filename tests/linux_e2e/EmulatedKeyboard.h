#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "HidrawTestBed.h"
#include "platform/sim/SimulatedDevice.h"

namespace platform {

// A group A keyboard plugged into a test bed as the kernel shows one: three USB interfaces on one
// port, each a hidraw node (0: boot keyboard, 1: extra keys, 2: the protocol interface), with the
// protocol node answered by a SimulatedDevice.
//
// When the device leaves by itself (it reprograms, or a fault removes it), all three nodes are
// unplugged with "remove" uevents; when it asked to come back, it is powered on after its restart
// time and the nodes are plugged again with "add" uevents. That happens on a host thread of its
// own: the device leaves while umockdev's worker thread is still answering the ioctl that made it
// leave.
class EmulatedKeyboard {
 public:
  EmulatedKeyboard(HidrawTestBed& bed, SimulatedDevice& device, std::uint16_t productId);
  ~EmulatedKeyboard();
  EmulatedKeyboard(const EmulatedKeyboard&) = delete;
  EmulatedKeyboard& operator=(const EmulatedKeyboard&) = delete;

  int Departures() const;
  int Arrivals() const;
  // Feature-report transfers the program attempted on interfaces 0 and 1, which must get none.
  int TransfersOnOtherInterfaces() const;
  // The index of every block write the program attempted on the protocol interface, in order,
  // whether or not the device took it.
  std::vector<int> BlockWrites() const;

 private:
  std::vector<EmulatedHidraw> Interfaces() const;
  void PlugAll();
  void UnplugAll();
  void HostLoop();
  int ServeProtocol(bool isSet, FeatureReport& report);

  HidrawTestBed& bed_;
  SimulatedDevice& device_;
  const std::uint16_t productId_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<SimulatedDeparture> pendingDeparture_;
  bool stopping_ = false;
  std::vector<EmulatedNode> nodes_;  // plugged now
  int departures_ = 0;
  int arrivals_ = 0;
  int otherTransfers_ = 0;
  std::vector<int> blockWrites_;
  std::thread host_;  // last: it uses everything above
};

}  // namespace platform
