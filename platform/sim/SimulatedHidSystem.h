#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Clock.h"
#include "platform/HidSystem.h"
#include "platform/sim/SimulatedDevice.h"

namespace platform {

// A machine with simulated devices plugged in. Each device shows three HID interfaces, as the
// real ones do (mi_00 and mi_01 for ordinary input, mi_02 for the update protocol), with paths
// like "/dev/hidraw3 (usb-sim-1.2:1.2 vid_2d9b&pid_0076&mi_02)". Only mi_02 answers feature
// reports; the others fail them with EPIPE.
//
// Arrival and removal events are delivered on a thread of this object, started through the
// clock; a device that restarts after reprogramming is powered on again at its restart time on
// that clock. Stop every exchange with a device before destroying the system.
class SimulatedHidSystem final : public HidSystem {
 public:
  explicit SimulatedHidSystem(Clock& clock);
  ~SimulatedHidSystem() override;
  SimulatedHidSystem(const SimulatedHidSystem&) = delete;
  SimulatedHidSystem& operator=(const SimulatedHidSystem&) = delete;

  // Creates a device and plugs it in.
  std::shared_ptr<SimulatedDevice> Plug(const SimulatedDeviceConfig& config);
  // Plugs a device in again (after Unplug, or after it reprogrammed and stayed away).
  void Plug(const std::shared_ptr<SimulatedDevice>& device);
  void Unplug(const std::shared_ptr<SimulatedDevice>& device);

  // Another HID interface on the machine that is listed and can be opened but answers no
  // feature report (another maker's mouse, a touchpad).
  void AddOtherInterface(const HidInterfaceInfo& info);

  // Stops the event thread and cancels pending restarts. Called by the destructor.
  void Shutdown();

  std::vector<HidInterfaceInfo> ListInterfaces() override;
  std::unique_ptr<HidDevice> Open(const std::string& path, bool read, bool write,
                                  int& error) override;
  void SetEventHandler(std::function<void(const HidEvent&)> handler) override;

 private:
  struct Slot {
    std::shared_ptr<SimulatedDevice> device;
    int port = 0;
    bool plugged = false;
    std::vector<HidInterfaceInfo> interfaces;  // as listed while plugged
  };
  struct PendingPowerOn {
    Millis at = 0;
    std::shared_ptr<SimulatedDevice> device;
  };

  Slot* FindSlot(const SimulatedDevice* device);
  void PlugLocked(Slot& slot);
  void UnplugLocked(Slot& slot);
  void OnDeparture(const std::weak_ptr<SimulatedDevice>& device,
                   const SimulatedDeparture& departure);
  void RunEvents();

  Clock& clock_;
  std::mutex mutex_;
  Condition changed_;  // events queued, restarts scheduled, delivery done, stop
  std::vector<Slot> slots_;
  std::vector<HidInterfaceInfo> others_;
  std::deque<HidEvent> events_;
  std::vector<PendingPowerOn> powerOns_;
  std::function<void(const HidEvent&)> handler_;
  bool delivering_ = false;
  bool stop_ = false;
  int nextHidraw_ = 0;
  Thread thread_;
  std::thread::id threadId_;
};

}  // namespace platform
