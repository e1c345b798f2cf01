#include "EmulatedKeyboard.h"

#include <cerrno>
#include <chrono>
#include <string>

#include "hid/ReportFrame.h"

namespace platform {
namespace {

constexpr int kInterfaceCount = 3;
constexpr std::uint8_t kBlockCommand = 9;

// A block request carries its index in the first two payload bytes, low byte first.
int BlockIndex(const FeatureReport& report) {
  return report[frame::kPayload] | (report[frame::kPayload + 1] << 8);
}

}  // namespace

EmulatedKeyboard::EmulatedKeyboard(HidrawTestBed& bed, SimulatedDevice& device, std::uint16_t productId)
    : bed_(bed), device_(device), productId_(productId) {
  device_.SetDepartureHandler([this](const SimulatedDeparture& departure) {
    std::lock_guard lock(mutex_);
    pendingDeparture_ = departure;
    wake_.notify_all();
  });
  PlugAll();
  // The handlers stay attached to the node names while the nodes come and go.
  for (const EmulatedHidraw& hidraw : Interfaces()) {
    const std::string devnode = "/dev/hidraw" + std::to_string(hidraw.number);
    if (hidraw.interfaceNumber == SimulatedDevice::kProtocolInterface) {
      bed_.Serve(devnode, [this](bool isSet, FeatureReport& report) { return ServeProtocol(isSet, report); });
    } else {
      bed_.Serve(devnode, [this](bool, FeatureReport&) {
        std::lock_guard lock(mutex_);
        ++otherTransfers_;
        return EPIPE;  // what a keyboard interface without feature reports answers
      });
    }
  }
  host_ = std::thread([this] { HostLoop(); });
}

EmulatedKeyboard::~EmulatedKeyboard() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  host_.join();
  device_.SetDepartureHandler(nullptr);
  // The nodes stay in the bed; whatever still reaches them finds nothing behind them.
  for (const EmulatedHidraw& hidraw : Interfaces()) {
    bed_.Serve("/dev/hidraw" + std::to_string(hidraw.number), HidrawTestBed::FeatureServer{});
  }
}

int EmulatedKeyboard::Departures() const {
  std::lock_guard lock(mutex_);
  return departures_;
}

int EmulatedKeyboard::Arrivals() const {
  std::lock_guard lock(mutex_);
  return arrivals_;
}

int EmulatedKeyboard::TransfersOnOtherInterfaces() const {
  std::lock_guard lock(mutex_);
  return otherTransfers_;
}

std::vector<int> EmulatedKeyboard::BlockWrites() const {
  std::lock_guard lock(mutex_);
  return blockWrites_;
}

int EmulatedKeyboard::ServeProtocol(bool isSet, FeatureReport& report) {
  if (!isSet) return device_.GetFeature(report);
  if (report[frame::kCode] == kBlockCommand) {
    std::lock_guard lock(mutex_);
    blockWrites_.push_back(BlockIndex(report));
  }
  return device_.SetFeature(report);
}

std::vector<EmulatedHidraw> EmulatedKeyboard::Interfaces() const {
  std::vector<EmulatedHidraw> interfaces;
  for (int number = 0; number < kInterfaceCount; ++number) {
    EmulatedHidraw hidraw;
    hidraw.number = number;
    hidraw.vendorId = SimulatedDevice::kVendorId;
    hidraw.productId = productId_;
    hidraw.usbPort = "1-2";
    hidraw.interfaceNumber = number;
    hidraw.reportDescriptor = number == SimulatedDevice::kProtocolInterface ? ProtocolInterfaceDescriptor()
                                                                            : BootKeyboardDescriptor();
    interfaces.push_back(hidraw);
  }
  return interfaces;
}

void EmulatedKeyboard::PlugAll() {
  std::vector<EmulatedNode> nodes;
  for (const EmulatedHidraw& hidraw : Interfaces()) nodes.push_back(bed_.Plug(hidraw));
  std::lock_guard lock(mutex_);
  nodes_ = std::move(nodes);
}

void EmulatedKeyboard::UnplugAll() {
  std::vector<EmulatedNode> nodes;
  {
    std::lock_guard lock(mutex_);
    nodes.swap(nodes_);
  }
  // The kernel removes the protocol interface's node last of the three, as its port goes away.
  for (const EmulatedNode& node : nodes) bed_.Unplug(node);
}

void EmulatedKeyboard::HostLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || pendingDeparture_; });
    if (stopping_) return;
    const SimulatedDeparture departure = *pendingDeparture_;
    pendingDeparture_.reset();
    ++departures_;

    lock.unlock();
    UnplugAll();
    lock.lock();
    if (!departure.powerOnAfter) continue;

    const auto restart = std::chrono::milliseconds(*departure.powerOnAfter);
    if (wake_.wait_for(lock, restart, [this] { return stopping_; })) return;
    lock.unlock();
    device_.PowerOn();
    PlugAll();
    lock.lock();
    ++arrivals_;
  }
}

}  // namespace platform
