// Runs whole command exchanges against a device that answers whatever the input says.
//
// Input: a flags byte (bit 0: replies must carry the right check word; bits 1-2: one to four
// commands), the link's starting sequence number, then per command its code, a payload length
// (0xFF: no payload at all) and that many payload bytes (at most 80, more than a frame holds). The rest is the device's
// script, one step per transfer:
//   SetFeature takes one byte: below 0xE0 the write succeeds, otherwise it fails with an errno.
//   GetFeature takes one byte c, whose low two bits choose the answer:
//     0  the read fails with errno kErrnos[c >> 5]
//     1  the next 65 bytes of the script, as they are
//     2  an acknowledgement of the last request written      } bit 2: sequence off by one
//     3  a response to the last request written              } bit 3: wrong code, or bad status
//                                                            } bit 4: wrong check word
// When the script runs out the device is gone: every transfer fails with ENODEV.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "hid/DeviceLink.h"
#include "hid/ReportFrame.h"
#include "hid/SendCommand.h"
#include "platform/Clock.h"

namespace {

constexpr int kErrnos[] = {EIO, EPIPE, ENODEV, ETIMEDOUT, EAGAIN, EINTR, EPROTO, ENOENT};
constexpr std::size_t kMaxPayload = 80;
constexpr int kMaxRequestWrites = 100;
constexpr int kMaxHostAcknowledgementWrites = 100;
// 100 attempts, each 5 ms before the write and 20 reads 2 ms apart for the acknowledgement.
constexpr platform::Millis kLongestExchangeMs = 100 * (5 + 20 * 2);

// Reads the input front to back; past its end every read gives nothing.
class Cursor {
 public:
  Cursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return next_ >= size_; }
  std::uint8_t Byte() { return AtEnd() ? 0 : data_[next_++]; }
  std::vector<std::uint8_t> Bytes(std::size_t count) {
    const std::size_t n = std::min(count, size_ - std::min(next_, size_));
    std::vector<std::uint8_t> bytes(data_ + next_, data_ + next_ + n);
    next_ += n;
    return bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t next_ = 0;
};

bool IsReplyError(ReplyError e) {
  switch (e) {
    case kReplyAccepted: case kReplyBadCheckWord: case kReplyWrongCode: case kReplyWrongSequence:
    case kReplyBadStatus: case kReplyResponseReadFailed: case kReplyAcknowledgementReadFailed:
      return true;
  }
  return false;
}

bool IsSendError(SendError e) {
  return e == kSendOk || e == kSendRequestFailed || e == kSendAcknowledgementFailed;
}

bool CheckWordRight(const Frame& f) {
  return (f[frame::kCheckWord] | (f[frame::kCheckWord + 1] << 8)) == CheckWordFor(f);
}

// A reply is only ever accepted when it is what the host waited for.
void CheckVerdicts(const Frame& reply, std::uint8_t requestSequence) {
  const ReplyError ack = JudgeAcknowledgement(reply, requestSequence);
  const ReplyError response = JudgeResponse(reply, requestSequence);
  FUZZ_CHECK(IsReplyError(ack) && IsReplyError(response));
  const bool checkHolds = !ReplyCheckEnabled() || CheckWordRight(reply);
  if (ack == kReplyAccepted) {
    FUZZ_CHECK(ReplyCode(reply) == CmdAck && FrameSequence(reply) == requestSequence);
    FUZZ_CHECK(reply[frame::kStatusWord] == 0 && reply[frame::kStatusWord + 1] == 0);
    FUZZ_CHECK(checkHolds);
  }
  if (response == kReplyAccepted) {
    FUZZ_CHECK(ReplyCode(reply) == CmdResponse);
    FUZZ_CHECK(FrameSequence(reply) == NextSequence(requestSequence));
    FUZZ_CHECK(checkHolds);
  }
}

// One write the host attempted, and how the device answered it.
struct Write {
  Frame frame;
  int error;
};

// What the device saw and answered during one command.
struct Record {
  std::vector<Write> writes;     // every write attempted, in order
  int reads = 0;
  bool responseOffered = false;  // some read returned a frame with the response code
  std::set<int> errors;          // every errno the device returned
};

class ScriptedDevice final : public platform::HidDevice {
 public:
  explicit ScriptedDevice(Cursor& script) : script_(script) {}

  void StartRecord() { record_ = Record{}; }
  const Record& GetRecord() const { return record_; }

  int SetFeature(const platform::FeatureReport& report) override {
    const int error = script_.AtEnd() ? ENODEV : WriteOutcome(script_.Byte());
    record_.writes.push_back({report, error});
    if (error != 0) {
      record_.errors.insert(error);
      return error;
    }
    if (ReplyCode(report) != CmdAck) lastRequest_ = report;
    return 0;
  }

  int GetFeature(platform::FeatureReport& report) override {
    ++record_.reads;
    const int error = script_.AtEnd() ? ENODEV : Answer(script_.Byte(), report);
    if (error != 0) {
      record_.errors.insert(error);
      return error;
    }
    if (ReplyCode(report) == CmdResponse) record_.responseOffered = true;
    CheckVerdicts(report, FrameSequence(lastRequest_));
    return 0;
  }

 private:
  static int WriteOutcome(std::uint8_t step) {
    return step < 0xE0 ? 0 : kErrnos[step & 7];
  }

  int Answer(std::uint8_t step, Frame& reply) {
    switch (step & 3) {
      case 0:
        return kErrnos[step >> 5];
      case 1: {
        const std::vector<std::uint8_t> bytes = script_.Bytes(frame::kSize);
        reply.fill(0);
        std::copy(bytes.begin(), bytes.end(), reply.begin());
        return 0;
      }
      default:
        WellFormedReply(step, reply);
        return 0;
    }
  }

  void WellFormedReply(std::uint8_t step, Frame& reply) const {
    const bool response = (step & 3) == 3;
    const bool offBy = step & 4, spoiled = step & 8, badCheck = step & 16;
    std::uint8_t sequence = FrameSequence(lastRequest_);
    if (response) sequence = NextSequence(sequence);
    if (offBy) sequence = static_cast<std::uint8_t>(sequence + 1);
    std::uint8_t code = response ? CmdResponse : CmdAck;
    if (response && spoiled) code = CmdAck;
    BuildRequest(reply, code, sequence, nullptr, 0);
    if (!response && spoiled) reply[frame::kStatusWord] = 1;
    if (badCheck) reply[frame::kCheckWord] ^= 0x5A;
  }

  Cursor& script_;
  Frame lastRequest_{};
  Record record_;
};

struct Command {
  std::uint8_t code;
  std::vector<std::uint8_t> payload;
  bool nullPayload;
};

Command ReadCommand(Cursor& input) {
  Command command;
  command.code = input.Byte();
  const std::uint8_t length = input.Byte();
  command.nullPayload = length == 0xFF;
  if (!command.nullPayload) command.payload = input.Bytes(std::min<std::size_t>(length, kMaxPayload));
  return command;
}

bool IsHostAcknowledgement(const Frame& written) {
  Frame expected;
  BuildHostAcknowledgement(expected, FrameSequence(written));
  return written == expected;
}

void RunCommand(DeviceLink& link, ScriptedDevice& device, const Command& command) {
  const std::uint8_t sequenceBefore = link.sequence;
  const platform::Millis start = link.clock->Now();
  device.StartRecord();
  const int result = SendCommand(&link, command.code,
                                 command.nullPayload ? nullptr : command.payload.data(),
                                 command.payload.size());
  const Record& record = device.GetRecord();
  const CommandKind kind = ClassifyCommand(command.code);

  FUZZ_CHECK(result == 0 || result == 1 || record.errors.count(result) == 1);
  FUZZ_CHECK(IsReplyError(link.replyError));
  FUZZ_CHECK(IsSendError(link.sendError));
  FUZZ_CHECK(link.clock->Now() - start <= kLongestExchangeMs);

  if (kind == CommandKind::Refused) {
    FUZZ_CHECK(result == 1);
    FUZZ_CHECK(record.writes.empty() && record.reads == 0);
    return;
  }
  FUZZ_CHECK(link.sequence == (kind == CommandKind::Unlock ? 0 : NextSequence(sequenceBefore)));

  // Every frame written is the request, or after the last request, the host's acknowledgement.
  Frame request;
  BuildRequest(request, command.code, NextSequence(sequenceBefore),
               command.nullPayload ? nullptr : command.payload.data(), command.payload.size());
  int requestWrites = 0, hostAcknowledgementWrites = 0, hostAcknowledgementsTaken = 0;
  for (const Write& write : record.writes) {
    if (write.frame == request) {
      FUZZ_CHECK(hostAcknowledgementWrites == 0);
      ++requestWrites;
      continue;
    }
    FUZZ_CHECK(IsHostAcknowledgement(write.frame));
    FUZZ_CHECK(kind == CommandKind::WithResponse && record.responseOffered);
    // Once the device has taken the acknowledgement, nothing more is written.
    FUZZ_CHECK(hostAcknowledgementsTaken == 0);
    ++hostAcknowledgementWrites;
    if (write.error == 0) ++hostAcknowledgementsTaken;
  }
  FUZZ_CHECK(requestWrites <= kMaxRequestWrites);
  FUZZ_CHECK(hostAcknowledgementWrites <= kMaxHostAcknowledgementWrites);

  // Success is never reported for an exchange that did not complete.
  if (result == 0) {
    if (kind == CommandKind::WithResponse) {
      FUZZ_CHECK(hostAcknowledgementsTaken == 1);
    } else {
      FUZZ_CHECK(requestWrites >= 1 && record.writes.back().error == 0);
      FUZZ_CHECK(link.ackSeen && link.replyError == kReplyAccepted);
      FUZZ_CHECK(JudgeAcknowledgement(link.reply, FrameSequence(request)) == kReplyAccepted);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Cursor input(data, size);
  const std::uint8_t flags = input.Byte();
  ResetReplyCheckForTesting();
  if (flags & 1) EnableReplyCheck();
  const int commandCount = 1 + ((flags >> 1) & 3);
  const std::uint8_t firstSequence = input.Byte();
  std::vector<Command> commands;
  for (int i = 0; i < commandCount; ++i) commands.push_back(ReadCommand(input));

  platform::VirtualClock clock;
  DeviceLink link;
  link.clock = &clock;
  link.sequence = firstSequence;
  auto device = std::make_unique<ScriptedDevice>(input);
  ScriptedDevice& scripted = *device;
  link.hid.devicePath = "fuzz";
  link.hid.device = std::move(device);
  link.isOpen = true;

  for (const Command& command : commands) RunCommand(link, scripted, command);
  ResetReplyCheckForTesting();
  return 0;
}
