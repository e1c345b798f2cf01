#include "hid/SendCommand.h"

namespace {

constexpr int kAttempts = 100;
constexpr int kAcknowledgementReads = 20;
constexpr int kResponseReads = 20;
constexpr int kHostAcknowledgementWrites = 100;
constexpr platform::Millis kBeforeWriteMs = 5;
constexpr platform::Millis kBeforeReadMs = 2;

// What carries over from one attempt to the next.
struct Exchange {
  DeviceLink& link;
  platform::HidDevice& device;
  int result = 1;
  bool gotResponse = false;    // a response was read (and must be acknowledged)
  bool awaitResponse = false;  // the acknowledgement came; the response is still to be read
};

void ClearReply(DeviceLink& link) { link.reply.fill(0); }

bool WriteRequest(Exchange& x) {
  if (int error = x.device.SetFeature(x.link.request)) {
    x.result = error;
    x.link.sendError = kSendRequestFailed;
    x.gotResponse = false;
    return false;
  }
  return true;
}

void AwaitAcknowledgement(Exchange& x) {
  DeviceLink& link = x.link;
  const std::uint8_t sequence = FrameSequence(link.request);
  for (int read = 0; read < kAcknowledgementReads; ++read) {
    link.ackSeen = false;
    ClearReply(link);
    link.replyError = kReplyAccepted;
    link.clock->SleepFor(kBeforeReadMs);
    if (int error = x.device.GetFeature(link.reply)) {
      x.result = error;
      link.replyError = kReplyAcknowledgementReadFailed;
      x.awaitResponse = false;
      continue;
    }
    if (ReplyCode(link.reply) != CmdAck) {
      link.replyError = kReplyWrongCode;
      continue;
    }
    link.replyError = JudgeAcknowledgement(link.reply, sequence);
    link.ackSeen = true;
    if (link.replyError == kReplyAccepted) {
      x.result = 0;
      if (link.expectResponse) x.awaitResponse = true;
      return;
    }
  }
}

// The response follows the acknowledgement at once, so its reads are not spaced.
void AwaitResponse(Exchange& x) {
  DeviceLink& link = x.link;
  const std::uint8_t sequence = FrameSequence(link.request);
  for (int read = 0; read < kResponseReads && x.awaitResponse; ++read) {
    link.responseSeen = false;
    ClearReply(link);
    link.replyError = kReplyAccepted;
    x.result = 1;
    if (int error = x.device.GetFeature(link.reply)) {
      x.result = error;
      link.replyError = kReplyResponseReadFailed;
      x.awaitResponse = false;
      return;
    }
    if (ReplyCode(link.reply) != CmdResponse) {
      link.replyError = kReplyWrongCode;
      continue;
    }
    link.replyError = JudgeResponse(link.reply, sequence);
    if (link.replyError == kReplyAccepted) x.result = 0;
    link.responseSeen = true;
    x.gotResponse = true;
    x.awaitResponse = false;
  }
}

bool AttemptSucceeded(const DeviceLink& link) {
  return link.sendError == kSendOk && link.replyError == kReplyAccepted && link.ackSeen &&
         (!link.expectResponse || link.responseSeen);
}

// The device keeps offering its response until the host acknowledges it, even one it judged
// bad, so the acknowledgement echoes whatever sequence number the last frame carried.
int WriteHostAcknowledgement(Exchange& x) {
  Frame acknowledgement;
  BuildHostAcknowledgement(acknowledgement, FrameSequence(x.link.reply));
  for (int write = 0; write < kHostAcknowledgementWrites; ++write) {
    const int error = x.device.SetFeature(acknowledgement);
    if (error == 0) return 0;
    x.result = error;
    x.link.sendError = kSendAcknowledgementFailed;
  }
  return x.result;
}

}  // namespace

int SendCommand(DeviceLink* link, std::uint8_t code, const std::uint8_t* payload,
                std::size_t length) {
  if (!link || !link->isOpen || !link->hid.device || !link->clock) return 1;

  link->request.fill(0);
  link->reply.fill(0);
  link->sequence = NextSequence(link->sequence);
  link->ackSeen = false;
  link->responseSeen = false;
  link->expectResponse = false;
  link->replyError = kReplyAccepted;
  link->sendError = kSendOk;

  // A refused code still uses up its sequence number.
  const CommandKind kind = ClassifyCommand(code);
  if (kind == CommandKind::Refused) return 1;
  BuildRequest(link->request, code, link->sequence, payload, length);
  link->expectResponse = kind == CommandKind::WithResponse;
  if (kind == CommandKind::Unlock) link->sequence = 0;

  Exchange x{*link, *link->hid.device};
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    link->sendError = kSendOk;
    link->clock->SleepFor(kBeforeWriteMs);
    if (!WriteRequest(x)) continue;
    AwaitAcknowledgement(x);
    if (x.awaitResponse) AwaitResponse(x);
    if (AttemptSucceeded(*link)) break;
  }
  if (x.gotResponse) return WriteHostAcknowledgement(x);
  return x.result;
}
