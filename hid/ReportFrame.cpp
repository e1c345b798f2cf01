#include "hid/ReportFrame.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<bool> replyCheckEnabled{false};

constexpr std::uint8_t kHighestCommand = 38;

bool ExpectsResponse(std::uint8_t code) {
  switch (code) {
    case 2: case 4: case 6: case 13: case 15: case 17:
    case 26: case 27: case 28: case 30: case 31: case 32:
      return true;
    default:
      return false;
  }
}

std::uint16_t StoredCheckWord(const Frame& frame) {
  return static_cast<std::uint16_t>(frame[frame::kCheckWord] |
                                    (frame[frame::kCheckWord + 1] << 8));
}

bool CheckWordFails(const Frame& reply) {
  return replyCheckEnabled.load() && StoredCheckWord(reply) != CheckWordFor(reply);
}

}  // namespace

CommandKind ClassifyCommand(std::uint8_t code) {
  // 20 and 21 are the replies' own codes; 33 and 34 must never reach the device from here.
  if (code == 0 || code > kHighestCommand || code == CmdAck || code == CmdResponse ||
      code == 33 || code == 34) {
    return CommandKind::Refused;
  }
  if (code == CmdUnlock) return CommandKind::Unlock;
  return ExpectsResponse(code) ? CommandKind::WithResponse : CommandKind::AcknowledgementOnly;
}

std::uint32_t ReflectBits(std::uint32_t value, int bits) {
  bits = std::clamp(bits, 0, 32);
  std::uint32_t reflected = 0;
  for (int bit = 0; bit < bits; ++bit) {
    if (value & (1u << bit)) reflected |= 1u << (bits - 1 - bit);
  }
  return reflected;
}

std::uint16_t CheckWordFor(const Frame& frame) {
  return static_cast<std::uint16_t>(ReflectBits(frame[frame::kCheckedByte], 16));
}

std::uint8_t NextSequence(std::uint8_t sequence) {
  return static_cast<std::uint8_t>(((sequence + 1) % 256) % 255);
}

void BuildRequest(Frame& out, std::uint8_t code, std::uint8_t sequence,
                  const std::uint8_t* payload, std::size_t length) {
  out.fill(0);
  out[frame::kCode] = code;
  out[frame::kSequence] = sequence;
  if (payload) {
    std::copy_n(payload, std::min(length, frame::kPayloadSize), out.begin() + frame::kPayload);
  }
  const std::uint16_t check = CheckWordFor(out);
  out[frame::kCheckWord] = static_cast<std::uint8_t>(check & 0xFF);
  out[frame::kCheckWord + 1] = static_cast<std::uint8_t>(check >> 8);
}

void BuildHostAcknowledgement(Frame& out, std::uint8_t responseSequence) {
  BuildRequest(out, CmdAck, responseSequence, nullptr, 0);
}

std::uint8_t ReplyCode(const Frame& reply) { return reply[frame::kCode]; }

std::uint8_t FrameSequence(const Frame& frame) { return frame[frame::kSequence]; }

std::span<const std::uint8_t, frame::kPayloadSize> FramePayload(const Frame& frame) {
  return std::span<const std::uint8_t, frame::kPayloadSize>(frame.data() + frame::kPayload,
                                                            frame::kPayloadSize);
}

ReplyError JudgeAcknowledgement(const Frame& reply, std::uint8_t requestSequence) {
  if (reply[frame::kCode] != CmdAck) return kReplyWrongCode;
  if (CheckWordFails(reply)) return kReplyBadCheckWord;
  if (reply[frame::kSequence] != requestSequence) return kReplyWrongSequence;
  const std::uint16_t status = static_cast<std::uint16_t>(
      reply[frame::kStatusWord] | (reply[frame::kStatusWord + 1] << 8));
  if (status != 0) return kReplyBadStatus;
  return kReplyAccepted;
}

ReplyError JudgeResponse(const Frame& reply, std::uint8_t requestSequence) {
  if (reply[frame::kCode] != CmdResponse) return kReplyWrongCode;
  if (CheckWordFails(reply)) return kReplyBadCheckWord;
  if (reply[frame::kSequence] != NextSequence(requestSequence)) return kReplyWrongSequence;
  return kReplyAccepted;
}

bool ReplyCheckEnabled() { return replyCheckEnabled.load(); }

void EnableReplyCheck() { replyCheckEnabled.store(true); }

void ResetReplyCheckForTesting() { replyCheckEnabled.store(false); }
