#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/HidSystem.h"

namespace faults_test {

// Stands between the program and a HID system and watches how the program uses the devices it
// opens:
//  - every feature-report write it attempts, whether or not the device took it, so a test can
//    tell what the program tried to send;
//  - every call that begins on an opened device while a call from another thread is still in
//    flight on that same device, which would mean two exchanges interleave on one link.
// Each call holds its device for `dwellMs` of clock time before it goes through. On the virtual
// clock two exchanges on different threads then overlap in clock time and are seen, instead of
// slipping between each other's calls unnoticed.
class ExchangeWatchingHidSystem final : public platform::HidSystem {
 public:
  // Runs on the writing thread before a write goes through, with no lock of this object held.
  using WriteHook = std::function<void(const platform::FeatureReport&)>;

  ExchangeWatchingHidSystem(platform::HidSystem& inner, platform::Clock& clock, platform::Millis dwellMs);

  void SetWriteHook(WriteHook hook);

  std::vector<platform::FeatureReport> Writes() const;  // in the order they were attempted
  int OverlappingCalls() const;
  int Calls() const;

  std::vector<platform::HidInterfaceInfo> ListInterfaces() override;
  std::unique_ptr<platform::HidDevice> Open(const std::string& path, bool read, bool write,
                                            int& error) override;
  void SetEventHandler(std::function<void(const platform::HidEvent&)> handler) override;

 private:
  class WatchedDevice;

  // Outlives this object as long as any device opened through it.
  struct Record {
    mutable std::mutex mutex;
    WriteHook hook;
    std::vector<platform::FeatureReport> writes;
    int overlaps = 0;
    int calls = 0;
  };

  platform::HidSystem& inner_;
  platform::Clock& clock_;
  platform::Millis dwellMs_;
  std::shared_ptr<Record> record_ = std::make_shared<Record>();
};

}  // namespace faults_test
