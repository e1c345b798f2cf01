#include "app/TracingHidSystem.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex traceMutex;  // keeps lines from two threads apart

void Trace(const char* format, const std::string& a, const std::string& b = {}) {
  std::lock_guard<std::mutex> lock(traceMutex);
  std::fprintf(stderr, format, a.c_str(), b.c_str());
}

std::string Hex(const platform::FeatureReport& report) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  out.reserve(report.size() * 3);
  for (std::uint8_t b : report) {
    out += digits[b >> 4];
    out += digits[b & 0xF];
    out += ' ';
  }
  out.pop_back();
  return out;
}

std::string Result(int error) { return error == 0 ? "ok" : std::string(std::strerror(error)); }

class TracingDevice final : public platform::HidDevice {
 public:
  TracingDevice(std::unique_ptr<platform::HidDevice> inner, std::string path)
      : inner_(std::move(inner)), path_(std::move(path)) {}

  int SetFeature(const platform::FeatureReport& report) override {
    const int error = inner_->SetFeature(report);
    Trace("hid: set %s -> %s\n", Hex(report), Result(error));
    return error;
  }
  int GetFeature(platform::FeatureReport& report) override {
    const int error = inner_->GetFeature(report);
    Trace("hid: get %s -> %s\n", error == 0 ? Hex(report) : std::string("(nothing)"), Result(error));
    return error;
  }

 private:
  std::unique_ptr<platform::HidDevice> inner_;
  std::string path_;
};

}  // namespace

std::vector<platform::HidInterfaceInfo> TracingHidSystem::ListInterfaces() {
  return inner_.ListInterfaces();
}

std::unique_ptr<platform::HidDevice> TracingHidSystem::Open(const std::string& path, bool read, bool write,
                                                            int& error) {
  std::unique_ptr<platform::HidDevice> device = inner_.Open(path, read, write, error);
  Trace("hid: open %s -> %s\n", path, device ? std::string("ok") : Result(error));
  if (!device) return nullptr;
  return std::make_unique<TracingDevice>(std::move(device), path);
}

void TracingHidSystem::SetEventHandler(std::function<void(const platform::HidEvent&)> handler) {
  if (!handler) {
    inner_.SetEventHandler({});
    return;
  }
  inner_.SetEventHandler([handler = std::move(handler)](const platform::HidEvent& event) {
    Trace("hid: %s %s\n", event.kind == platform::HidEventKind::Arrival ? "arrival" : "removal", event.path);
    handler(event);
  });
}
