#include "platform/sim/SimulatedDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// Frame layout as the device's boot firmware sees it.
constexpr std::size_t kCode = 2;
constexpr std::size_t kSequence = 3;
constexpr std::size_t kPayload = 4;
constexpr std::size_t kPayloadSize = 59;
constexpr std::size_t kCheckWord = 63;
constexpr std::size_t kCheckedByte = 62;

constexpr std::uint8_t kCmdStartTransfer = 8;
constexpr std::uint8_t kCmdWriteBlock = 9;
constexpr std::uint8_t kCmdQueryInfo = 17;
constexpr std::uint8_t kCmdUnlock = 19;
constexpr std::uint8_t kCmdAck = 20;
constexpr std::uint8_t kCmdResponse = 21;

constexpr std::size_t kAccessCodeLength = 32;
constexpr std::uint8_t kMaxBlockSize = kPayloadSize - 2;

// The check word the firmware expects: byte 62 with its 16-bit bit order reversed.
std::uint16_t CheckWordOf(const FeatureReport& frame) {
  std::uint16_t reflected = 0;
  const std::uint16_t value = frame[kCheckedByte];
  for (int bit = 0; bit < 16; ++bit) {
    if (value & (1u << bit)) reflected |= static_cast<std::uint16_t>(1u << (15 - bit));
  }
  return reflected;
}

void PutCheckWord(FeatureReport& frame) {
  const std::uint16_t word = CheckWordOf(frame);
  frame[kCheckWord] = static_cast<std::uint8_t>(word & 0xFF);
  frame[kCheckWord + 1] = static_cast<std::uint8_t>(word >> 8);
}

std::uint8_t NextSequence(std::uint8_t sequence) {
  return static_cast<std::uint8_t>(((sequence + 1) % 256) % 255);
}

std::uint16_t BlockIndexOf(const std::array<std::uint8_t, kPayloadSize>& payload) {
  return static_cast<std::uint16_t>(payload[0] | (payload[1] << 8));
}

// Whether a request (code, and block index for blocks) is the trigger of an I/O failure.
bool Triggers(const SimulatedIoFailure& failure, std::uint8_t code, std::uint16_t blockIndex) {
  if (failure.fromCommand == kAnyCommand) return true;
  if (code != failure.fromCommand) return false;
  return failure.fromBlock < 0 || (code == kCmdWriteBlock && blockIndex >= failure.fromBlock);
}

// Uses up one failure of `failure`; false when none is left.
bool TakeFailure(SimulatedIoFailure& failure, int& error) {
  if (failure.count == 0) return false;
  if (failure.count > 0) --failure.count;
  error = failure.error;
  return true;
}

}  // namespace

SimulatedDevice::SimulatedDevice(const SimulatedDeviceConfig& config) : config_(config) {}

int SimulatedDevice::SetFeature(const FeatureReport& report,
                                std::optional<std::uint64_t> incarnation) {
  std::optional<SimulatedDeparture> departure;
  std::function<void(const SimulatedDeparture&)> handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++writeCalls_;
    if (!Usable(incarnation)) return ENODEV;
    int error = 0;
    if (WriteFails(report, error)) return error;
    if (report[0] != 0) return EPIPE;  // the protocol lives on report id 0 only
    departure = Receive(report);
    if (!departure) return 0;
    handler = departureHandler_;
  }
  if (handler) handler(*departure);
  return ENODEV;
}

int SimulatedDevice::GetFeature(FeatureReport& report, std::optional<std::uint64_t> incarnation) {
  std::optional<SimulatedDeparture> departure;
  std::function<void(const SimulatedDeparture&)> handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++readCalls_;
    if (!Usable(incarnation)) return ENODEV;
    int error = 0;
    if (ReadFails(error)) return error;
    report.fill(0);
    if (config_.faults.stallAcknowledgements) return 0;
    switch (pending_) {
      case Pending::Nothing:
        return 0;
      case Pending::Response:
        BuildResponse(report);
        return 0;
      case Pending::Acknowledgement:
        if (!BuildAcknowledgement(report) || !reprogramAfterAck_) return 0;
        break;
    }
    // The host has the last block's acknowledgement: time to reprogram.
    reprogramAfterAck_ = false;
    departure = Depart(true);
    handler = departureHandler_;
  }
  if (handler) handler(*departure);
  return 0;
}

void SimulatedDevice::SetDepartureHandler(std::function<void(const SimulatedDeparture&)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  departureHandler_ = std::move(handler);
}

void SimulatedDevice::PowerOff() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (present_) Depart(false);
}

void SimulatedDevice::PowerOn() {
  std::lock_guard<std::mutex> lock(mutex_);
  present_ = true;
  unlocked_ = false;
  pending_ = Pending::Nothing;
  responseOwed_ = false;
  reprogramAfterAck_ = false;
  transferOpen_ = false;
  if (reprogrammed_) {
    if (!config_.faults.comesBackWithOldVersion) config_.firmware = config_.versionAfterUpgrade;
    if (config_.faults.comesBackWithProductId) config_.productId = *config_.faults.comesBackWithProductId;
    reprogrammed_ = false;
  }
}

void SimulatedDevice::SetFaults(const SimulatedFaults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.faults = faults;
  readFailureTriggered_ = false;
  writeFailureTriggered_ = false;
}

bool SimulatedDevice::Present() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return present_;
}

bool SimulatedDevice::Unlocked() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unlocked_;
}

std::uint64_t SimulatedDevice::Incarnation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return incarnation_;
}

SimulatedGroup SimulatedDevice::Group() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.group;
}

std::uint16_t SimulatedDevice::ProductId() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.productId;
}

SimulatedVersion SimulatedDevice::Version() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.firmware;
}

std::uint8_t SimulatedDevice::ModelCode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.modelCode;
}

Millis SimulatedDevice::RestartMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_.restartMs;
}

std::vector<SimulatedRequest> SimulatedDevice::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::optional<SimulatedTransferHeader> SimulatedDevice::Header() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return header_;
}

std::vector<std::uint8_t> SimulatedDevice::ReceivedImage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return image_;
}

std::uint32_t SimulatedDevice::BlocksReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nextBlock_;
}

int SimulatedDevice::WriteCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeCalls_;
}

int SimulatedDevice::ReadCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return readCalls_;
}

int SimulatedDevice::Reprogrammings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reprogrammings_;
}

bool SimulatedDevice::Usable(std::optional<std::uint64_t> incarnation) const {
  return present_ && (!incarnation || *incarnation == incarnation_);
}

bool SimulatedDevice::WriteFails(const FeatureReport& report, int& error) {
  SimulatedIoFailure& failure = config_.faults.writeFailure;
  if (failure.error == 0) return false;
  if (!writeFailureTriggered_) {
    std::array<std::uint8_t, kPayloadSize> payload{};
    std::copy_n(report.begin() + kPayload, kPayloadSize, payload.begin());
    writeFailureTriggered_ = Triggers(failure, report[kCode], BlockIndexOf(payload));
  }
  return writeFailureTriggered_ && TakeFailure(failure, error);
}

bool SimulatedDevice::ReadFails(int& error) {
  SimulatedIoFailure& failure = config_.faults.readFailure;
  if (failure.error == 0) return false;
  if (!readFailureTriggered_) {
    readFailureTriggered_ = failure.fromCommand == kAnyCommand ||
                            (!requests_.empty() &&
                             Triggers(failure, last_.code, BlockIndexOf(last_.payload)));
  }
  return readFailureTriggered_ && TakeFailure(failure, error);
}

std::optional<SimulatedDeparture> SimulatedDevice::Receive(const FeatureReport& report) {
  SimulatedRequest request;
  request.code = report[kCode];
  request.sequence = report[kSequence];
  std::copy_n(report.begin() + kPayload, kPayloadSize, request.payload.begin());
  const std::uint16_t checkWord =
      static_cast<std::uint16_t>(report[kCheckWord] | (report[kCheckWord + 1] << 8));
  request.checkWordValid = checkWord == CheckWordOf(report);

  if (request.code == kCmdWriteBlock && transferOpen_ &&
      config_.faults.removeAtBlock == BlockIndexOf(request.payload)) {
    // Pulled out in the middle of the transfer: this block never arrives.
    return Depart(false);
  }
  requests_.push_back(request);

  if (request.code == kCmdAck) {
    // The host's acknowledgement of a response: nothing more to say.
    if (pending_ == Pending::Response) pending_ = Pending::Nothing;
    return std::nullopt;
  }
  last_ = request;
  lastStatus_ = Handle(request);
  pending_ = Pending::Acknowledgement;
  responseOwed_ = request.code == kCmdQueryInfo && lastStatus_ == kStatusAccepted;
  return std::nullopt;
}

std::uint16_t SimulatedDevice::Handle(const SimulatedRequest& request) {
  if (!request.checkWordValid) return kStatusBadCheckWord;
  if (request.code == kCmdUnlock) return Unlock(request);
  if (!unlocked_) return kStatusLocked;
  switch (request.code) {
    case kCmdQueryInfo:
      return kStatusAccepted;
    case kCmdStartTransfer:
      return StartTransfer(request);
    case kCmdWriteBlock:
      return WriteBlock(request);
    default:
      return kStatusUnknownCommand;
  }
}

std::uint16_t SimulatedDevice::Unlock(const SimulatedRequest& request) {
  const char* code =
      config_.group == SimulatedGroup::A ? kGroupAAccessCode : kGroupBAccessCode;
  unlocked_ = std::memcmp(request.payload.data(), code, kAccessCodeLength) == 0 &&
              request.payload[kAccessCodeLength] == 0;
  return unlocked_ ? kStatusAccepted : kStatusWrongAccessCode;
}

std::uint16_t SimulatedDevice::StartTransfer(const SimulatedRequest& request) {
  const auto& p = request.payload;
  SimulatedTransferHeader header;
  header.length = static_cast<std::uint16_t>(p[1] | (p[2] << 8));
  header.blockCount = static_cast<std::uint32_t>(p[3] | (p[4] << 8) | (p[5] << 16)) |
                      (static_cast<std::uint32_t>(p[6]) << 24);
  header.blockSize = p[7];
  const bool valid = p[0] == 1 && header.length > 0 && header.blockSize > 0 &&
                     header.blockSize <= kMaxBlockSize &&
                     header.blockCount ==
                         (header.length + header.blockSize - 1u) / header.blockSize;
  if (!valid) return kStatusBadHeader;
  header_ = header;
  transferOpen_ = true;
  nextBlock_ = 0;
  image_.clear();
  return kStatusAccepted;
}

std::uint16_t SimulatedDevice::WriteBlock(const SimulatedRequest& request) {
  if (!transferOpen_ || !header_) return kStatusNoTransfer;
  const std::uint16_t index = BlockIndexOf(request.payload);
  // The previous block again (its acknowledgement was lost): acknowledged, not stored twice.
  if (nextBlock_ > 0 && index == static_cast<std::uint16_t>(nextBlock_ - 1)) return kStatusAccepted;
  if (index != static_cast<std::uint16_t>(nextBlock_) || nextBlock_ >= header_->blockCount) {
    return kStatusBlockOutOfOrder;
  }
  const bool lastBlock = nextBlock_ + 1 == header_->blockCount;
  const std::size_t size =
      lastBlock ? header_->length - (header_->blockCount - 1u) * header_->blockSize
                : header_->blockSize;
  image_.insert(image_.end(), request.payload.begin() + 2, request.payload.begin() + 2 + size);
  ++nextBlock_;
  if (lastBlock) reprogramAfterAck_ = true;
  return kStatusAccepted;
}

bool SimulatedDevice::BuildAcknowledgement(FeatureReport& out) {
  std::uint16_t status = lastStatus_;
  out[kCode] = kCmdAck;
  out[kSequence] = last_.sequence;

  SimulatedFaults& faults = config_.faults;
  const bool spoil = faults.badAcknowledgements != 0 &&
                     (faults.badAcknowledgementCommand == kAnyCommand ||
                      faults.badAcknowledgementCommand == last_.code);
  bool delivered = true;  // whether the device believes the host now has its acknowledgement
  if (spoil) {
    if (faults.badAcknowledgements > 0) --faults.badAcknowledgements;
    switch (faults.badAcknowledgementKind) {
      case SimulatedBadAck::WrongCode:
        out[kCode] = kCmdAck + 2;
        delivered = false;
        break;
      case SimulatedBadAck::WrongSequence:
        out[kSequence] = static_cast<std::uint8_t>(last_.sequence + 1);
        delivered = false;
        break;
      case SimulatedBadAck::NonZeroStatus:
        status = 0x0100;
        delivered = false;
        break;
      case SimulatedBadAck::WrongCheckWord:
        break;
    }
  }
  out[kPayload] = static_cast<std::uint8_t>(status & 0xFF);
  out[kPayload + 1] = static_cast<std::uint8_t>(status >> 8);
  PutCheckWord(out);
  if (spoil && faults.badAcknowledgementKind == SimulatedBadAck::WrongCheckWord) {
    out[kCheckWord] ^= 0x5A;
  }

  if (!delivered || status != kStatusAccepted) return false;
  if (responseOwed_ && !faults.noResponse) pending_ = Pending::Response;
  return true;
}

void SimulatedDevice::BuildResponse(FeatureReport& out) const {
  out[kCode] = kCmdResponse;
  std::uint8_t sequence = NextSequence(last_.sequence);
  if (config_.faults.responseWrongSequence) sequence = static_cast<std::uint8_t>(sequence + 1);
  out[kSequence] = sequence;
  out[kPayload] = config_.firmware.major;
  out[kPayload + 1] = config_.firmware.minor;
  out[kPayload + 2] = config_.firmware.patch;
  out[kPayload + 3] = config_.modelCode;
  PutCheckWord(out);
}

SimulatedDeparture SimulatedDevice::Depart(bool reprogrammed) {
  present_ = false;
  ++incarnation_;
  unlocked_ = false;
  pending_ = Pending::Nothing;
  responseOwed_ = false;
  transferOpen_ = false;
  SimulatedDeparture departure;
  if (reprogrammed) {
    reprogrammed_ = true;
    ++reprogrammings_;
    if (!config_.faults.neverComesBack) departure.powerOnAfter = config_.restartMs;
  }
  return departure;
}

}  // namespace platform
