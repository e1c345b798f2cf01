#include "platform/sim/SimulatedHidSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace platform {

namespace {

constexpr int kInterfacesPerDevice = 3;

std::string InterfacePath(int hidraw, int port, std::uint16_t productId, int interfaceNumber) {
  char path[128];
  std::snprintf(path, sizeof path, "/dev/hidraw%d (usb-sim-1.%d:1.%d vid_%04x&pid_%04x&mi_%02x)",
                hidraw, port, interfaceNumber, SimulatedDevice::kVendorId, productId,
                interfaceNumber);
  return path;
}

// Lock order: the system's mutex before a device's; a device calls its departure handler with
// no lock held.

// An opened interface. Handles opened before the device went away stay dead after it is back,
// as a re-created device node would.
class SimulatedHandle final : public HidDevice {
 public:
  SimulatedHandle(std::shared_ptr<SimulatedDevice> device, std::uint64_t incarnation,
                  bool speaksProtocol, bool canTransfer)
      : device_(std::move(device)),
        incarnation_(incarnation),
        speaksProtocol_(speaksProtocol),
        canTransfer_(canTransfer) {}

  int SetFeature(const FeatureReport& report) override {
    if (int error = Refusal()) return error;
    return device_->SetFeature(report, incarnation_);
  }

  int GetFeature(FeatureReport& report) override {
    if (int error = Refusal()) return error;
    return device_->GetFeature(report, incarnation_);
  }

 private:
  int Refusal() const {
    if (!canTransfer_) return EBADF;
    if (device_ && (device_->Incarnation() != incarnation_ || !device_->Present())) return ENODEV;
    return speaksProtocol_ ? 0 : EPIPE;
  }

  std::shared_ptr<SimulatedDevice> device_;  // null for another maker's interface
  std::uint64_t incarnation_;
  bool speaksProtocol_;
  bool canTransfer_;
};

}  // namespace

SimulatedHidSystem::SimulatedHidSystem(Clock& clock) : clock_(clock), changed_(clock) {
  thread_ = clock_.StartThread([this] { RunEvents(); });
  threadId_ = thread_.Id();
}

SimulatedHidSystem::~SimulatedHidSystem() { Shutdown(); }

std::shared_ptr<SimulatedDevice> SimulatedHidSystem::Plug(const SimulatedDeviceConfig& config) {
  auto device = std::make_shared<SimulatedDevice>(config);
  Plug(device);
  return device;
}

void SimulatedHidSystem::Plug(const std::shared_ptr<SimulatedDevice>& device) {
  std::lock_guard<std::mutex> lock(mutex_);
  Slot* slot = FindSlot(device.get());
  if (!slot) {
    std::weak_ptr<SimulatedDevice> weak = device;
    device->SetDepartureHandler(
        [this, weak](const SimulatedDeparture& departure) { OnDeparture(weak, departure); });
    slots_.push_back(Slot{device, static_cast<int>(slots_.size()) + 1, false, {}});
    slot = &slots_.back();
  }
  if (slot->plugged) return;
  device->PowerOn();
  PlugLocked(*slot);
  changed_.NotifyAll();
}

void SimulatedHidSystem::Unplug(const std::shared_ptr<SimulatedDevice>& device) {
  device->PowerOff();
  std::lock_guard<std::mutex> lock(mutex_);
  powerOns_.erase(std::remove_if(powerOns_.begin(), powerOns_.end(),
                                 [&](const PendingPowerOn& p) { return p.device == device; }),
                  powerOns_.end());
  if (Slot* slot = FindSlot(device.get()); slot && slot->plugged) UnplugLocked(*slot);
  changed_.NotifyAll();
}

void SimulatedHidSystem::AddOtherInterface(const HidInterfaceInfo& info) {
  std::lock_guard<std::mutex> lock(mutex_);
  others_.push_back(info);
}

void SimulatedHidSystem::Shutdown() {
  std::vector<std::shared_ptr<SimulatedDevice>> devices;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return;
    stop_ = true;
    powerOns_.clear();
    for (Slot& slot : slots_) devices.push_back(slot.device);
    changed_.NotifyAll();
  }
  for (auto& device : devices) device->SetDepartureHandler(nullptr);
  thread_.Join();
}

std::vector<HidInterfaceInfo> SimulatedHidSystem::ListInterfaces() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<HidInterfaceInfo> list;
  for (const Slot& slot : slots_) {
    if (slot.plugged) list.insert(list.end(), slot.interfaces.begin(), slot.interfaces.end());
  }
  list.insert(list.end(), others_.begin(), others_.end());
  return list;
}

std::unique_ptr<HidDevice> SimulatedHidSystem::Open(const std::string& path, bool read,
                                                    bool write, int& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool canTransfer = read || write;
  for (const Slot& slot : slots_) {
    if (!slot.plugged) continue;
    for (const HidInterfaceInfo& info : slot.interfaces) {
      if (info.path != path) continue;
      if (!slot.device->Present()) {
        error = ENODEV;
        return nullptr;
      }
      error = 0;
      return std::make_unique<SimulatedHandle>(
          slot.device, slot.device->Incarnation(),
          info.interfaceNumber == SimulatedDevice::kProtocolInterface, canTransfer);
    }
  }
  for (const HidInterfaceInfo& info : others_) {
    if (info.path != path) continue;
    error = 0;
    return std::make_unique<SimulatedHandle>(nullptr, 0, false, canTransfer);
  }
  error = ENOENT;
  return nullptr;
}

void SimulatedHidSystem::SetEventHandler(std::function<void(const HidEvent&)> handler) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool stopping = !handler;
  handler_ = std::move(handler);
  // After stopping delivery the old handler must not be running any more, unless it is the
  // caller itself.
  if (stopping && std::this_thread::get_id() != threadId_) {
    changed_.WaitUntil(lock, std::nullopt, [this] { return !delivering_; });
  }
}

SimulatedHidSystem::Slot* SimulatedHidSystem::FindSlot(const SimulatedDevice* device) {
  for (Slot& slot : slots_) {
    if (slot.device.get() == device) return &slot;
  }
  return nullptr;
}

void SimulatedHidSystem::PlugLocked(Slot& slot) {
  const std::uint16_t productId = slot.device->ProductId();
  slot.interfaces.clear();
  for (int mi = 0; mi < kInterfacesPerDevice; ++mi) {
    HidInterfaceInfo info;
    info.path = InterfacePath(nextHidraw_++, slot.port, productId, mi);
    info.vendorId = SimulatedDevice::kVendorId;
    info.productId = productId;
    info.interfaceNumber = mi;
    const bool protocol = mi == SimulatedDevice::kProtocolInterface;
    info.inputReportLength = protocol ? 0 : 9;
    info.featureReportLength = protocol ? kFeatureReportSize : 0;
    slot.interfaces.push_back(info);
    events_.push_back(HidEvent{HidEventKind::Arrival, info.path});
  }
  slot.plugged = true;
}

void SimulatedHidSystem::UnplugLocked(Slot& slot) {
  for (const HidInterfaceInfo& info : slot.interfaces) {
    events_.push_back(HidEvent{HidEventKind::Removal, info.path});
  }
  slot.plugged = false;
}

void SimulatedHidSystem::OnDeparture(const std::weak_ptr<SimulatedDevice>& weak,
                                     const SimulatedDeparture& departure) {
  std::shared_ptr<SimulatedDevice> device = weak.lock();
  if (!device) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_) return;
  if (Slot* slot = FindSlot(device.get()); slot && slot->plugged) UnplugLocked(*slot);
  if (departure.powerOnAfter) {
    powerOns_.push_back(PendingPowerOn{clock_.Now() + *departure.powerOnAfter, device});
  }
  changed_.NotifyAll();
}

void SimulatedHidSystem::RunEvents() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (!events_.empty()) {
      HidEvent event = std::move(events_.front());
      events_.pop_front();
      auto handler = handler_;
      if (!handler) continue;
      delivering_ = true;
      lock.unlock();
      handler(event);
      handler = nullptr;
      lock.lock();
      delivering_ = false;
      changed_.NotifyAll();
      continue;
    }
    auto due = std::min_element(powerOns_.begin(), powerOns_.end(),
                                [](const auto& a, const auto& b) { return a.at < b.at; });
    if (due != powerOns_.end() && due->at <= clock_.Now()) {
      Slot* slot = FindSlot(due->device.get());
      powerOns_.erase(due);
      if (slot && !slot->plugged) {
        slot->device->PowerOn();
        PlugLocked(*slot);
      }
      continue;
    }
    std::optional<Millis> deadline;
    if (due != powerOns_.end()) deadline = due->at;
    changed_.WaitUntil(lock, deadline);
  }
}

}  // namespace platform
