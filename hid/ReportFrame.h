#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/HidSystem.h"

// The 65-byte feature report exchanged with the device, in both directions:
//
//   offset 0      report id, always 0
//   offset 1      0 in requests; not examined in replies
//   offset 2      command code (requests) or reply code (replies)
//   offset 3      sequence number
//   offset 4..62  payload (59 bytes), zero where a command does not use it
//   offset 63..64 check word, little-endian
//
// The functions here are the only code that reads or writes frame bytes.

using Frame = platform::FeatureReport;

namespace frame {
constexpr std::size_t kSize = 65;
constexpr std::size_t kReportId = 0;
constexpr std::size_t kReserved = 1;
constexpr std::size_t kCode = 2;
constexpr std::size_t kSequence = 3;
constexpr std::size_t kPayload = 4;
constexpr std::size_t kPayloadSize = 59;
constexpr std::size_t kCheckedByte = 62;  // the only byte the check word depends on
constexpr std::size_t kCheckWord = 63;
constexpr std::size_t kStatusWord = kPayload;  // in acknowledgements
}  // namespace frame

static_assert(frame::kSize == platform::kFeatureReportSize);
static_assert(frame::kPayload + frame::kPayloadSize == frame::kCheckWord);
static_assert(frame::kCheckWord + 2 == frame::kSize);

// Command codes the updater uses (the device knows 1 to 38).
enum CommandCode : std::uint8_t {
  CmdStartTransfer = 8,
  CmdWriteBlock = 9,
  CmdQueryInfo = 17,
  CmdUnlock = 19,
  CmdAck = 20,
  CmdResponse = 21,
};

// How the exchange treats a command code.
enum class CommandKind {
  AcknowledgementOnly,
  WithResponse,  // an acknowledgement, then a response the host acknowledges
  Unlock,        // acknowledgement only; the sequence counter starts over afterwards
  Refused,       // never sent
};

CommandKind ClassifyCommand(std::uint8_t code);

// Verdict on a reply frame, kept in DeviceLink::replyError.
enum ReplyError : std::uint32_t {
  kReplyAccepted = 0,
  kReplyBadCheckWord = 1,
  kReplyWrongCode = 2,
  kReplyWrongSequence = 3,
  kReplyBadStatus = 4,
  kReplyResponseReadFailed = 8,
  kReplyAcknowledgementReadFailed = 9,
};

// Failure of one of the host's own writes, kept in DeviceLink::sendError.
enum SendError : std::uint32_t {
  kSendOk = 0,
  kSendRequestFailed = 6,
  kSendAcknowledgementFailed = 7,
};

// The low `bits` bits of `value` in reverse order; higher bits are ignored.
std::uint32_t ReflectBits(std::uint32_t value, int bits);

// The check word the device expects: byte 62 with its bit order reversed over 16 bits. It is
// not a CRC of the frame, and the device rejects anything else.
std::uint16_t CheckWordFor(const Frame& frame);

// The sequence number after `sequence`: 1, 2, ..., 254, 0, 1, ... (255 is never used).
std::uint8_t NextSequence(std::uint8_t sequence);

// Clears `out` and fills in a request. `length` is at most kPayloadSize; `payload` may be null.
void BuildRequest(Frame& out, std::uint8_t code, std::uint8_t sequence,
                  const std::uint8_t* payload, std::size_t length);

// The host's acknowledgement of a response that carried `responseSequence`.
void BuildHostAcknowledgement(Frame& out, std::uint8_t responseSequence);

std::uint8_t ReplyCode(const Frame& reply);
std::uint8_t FrameSequence(const Frame& frame);
std::span<const std::uint8_t, frame::kPayloadSize> FramePayload(const Frame& frame);

// Judges a reply read while waiting for the acknowledgement of the request that carried
// `requestSequence`, and while waiting for its response.
ReplyError JudgeAcknowledgement(const Frame& reply, std::uint8_t requestSequence);
ReplyError JudgeResponse(const Frame& reply, std::uint8_t requestSequence);

// Whether replies must carry the right check word. Off at start, because old firmware sends
// wrong ones; switched on once a device reports firmware that gets it right, and never off.
bool ReplyCheckEnabled();
void EnableReplyCheck();
void ResetReplyCheckForTesting();
