#pragma once

#include <memory>

#include "platform/HidSystem.h"

// Passes everything on to another HID system and writes every feature report exchanged, every
// open and every hotplug event to standard error: the protocol trace of --debug.
class TracingHidSystem final : public platform::HidSystem {
 public:
  explicit TracingHidSystem(platform::HidSystem& inner) : inner_(inner) {}

  std::vector<platform::HidInterfaceInfo> ListInterfaces() override;
  std::unique_ptr<platform::HidDevice> Open(const std::string& path, bool read, bool write,
                                            int& error) override;
  void SetEventHandler(std::function<void(const platform::HidEvent&)> handler) override;

 private:
  platform::HidSystem& inner_;
};
