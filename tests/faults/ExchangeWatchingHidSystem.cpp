#include "tests/faults/ExchangeWatchingHidSystem.h"

#include <thread>
#include <utility>

namespace faults_test {

// One opened device: which thread is inside a call on it, and how many calls are.
class ExchangeWatchingHidSystem::WatchedDevice final : public platform::HidDevice {
 public:
  WatchedDevice(std::unique_ptr<platform::HidDevice> inner, std::shared_ptr<Record> record,
                platform::Clock& clock, platform::Millis dwellMs)
      : inner_(std::move(inner)), record_(std::move(record)), clock_(clock), dwellMs_(dwellMs) {}

  int SetFeature(const platform::FeatureReport& report) override {
    WriteHook hook;
    {
      std::lock_guard<std::mutex> lock(record_->mutex);
      record_->writes.push_back(report);
      hook = record_->hook;
    }
    if (hook) hook(report);
    return Watched([&] { return inner_->SetFeature(report); });
  }

  int GetFeature(platform::FeatureReport& report) override {
    return Watched([&] { return inner_->GetFeature(report); });
  }

 private:
  template <class Call>
  int Watched(Call call) {
    Enter();
    clock_.SleepFor(dwellMs_);
    const int result = call();
    Leave();
    return result;
  }

  void Enter() {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool overlaps = inFlight_ > 0 && owner_ != std::this_thread::get_id();
    ++inFlight_;
    owner_ = std::this_thread::get_id();
    std::lock_guard<std::mutex> recordLock(record_->mutex);
    ++record_->calls;
    if (overlaps) ++record_->overlaps;
  }

  void Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    --inFlight_;
  }

  std::unique_ptr<platform::HidDevice> inner_;
  std::shared_ptr<Record> record_;
  platform::Clock& clock_;
  platform::Millis dwellMs_;
  std::mutex mutex_;
  int inFlight_ = 0;
  std::thread::id owner_;
};

ExchangeWatchingHidSystem::ExchangeWatchingHidSystem(platform::HidSystem& inner, platform::Clock& clock,
                                                     platform::Millis dwellMs)
    : inner_(inner), clock_(clock), dwellMs_(dwellMs) {}

void ExchangeWatchingHidSystem::SetWriteHook(WriteHook hook) {
  std::lock_guard<std::mutex> lock(record_->mutex);
  record_->hook = std::move(hook);
}

std::vector<platform::FeatureReport> ExchangeWatchingHidSystem::Writes() const {
  std::lock_guard<std::mutex> lock(record_->mutex);
  return record_->writes;
}

int ExchangeWatchingHidSystem::OverlappingCalls() const {
  std::lock_guard<std::mutex> lock(record_->mutex);
  return record_->overlaps;
}

int ExchangeWatchingHidSystem::Calls() const {
  std::lock_guard<std::mutex> lock(record_->mutex);
  return record_->calls;
}

std::vector<platform::HidInterfaceInfo> ExchangeWatchingHidSystem::ListInterfaces() {
  return inner_.ListInterfaces();
}

std::unique_ptr<platform::HidDevice> ExchangeWatchingHidSystem::Open(const std::string& path, bool read,
                                                                     bool write, int& error) {
  std::unique_ptr<platform::HidDevice> device = inner_.Open(path, read, write, error);
  if (!device) return nullptr;
  return std::make_unique<WatchedDevice>(std::move(device), record_, clock_, dwellMs_);
}

void ExchangeWatchingHidSystem::SetEventHandler(std::function<void(const platform::HidEvent&)> handler) {
  inner_.SetEventHandler(std::move(handler));
}

}  // namespace faults_test
