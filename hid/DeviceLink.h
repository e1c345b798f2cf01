#pragma once

#include <cstdint>

#include "hid/HidInterface.h"
#include "hid/ReportFrame.h"
#include "platform/Clock.h"

// One opened HID interface of a device with the state of the protocol spoken over it. The
// engine owns its links; dialogs and worker threads get pointers and never own them. Only one
// exchange may run on a link at a time.
struct DeviceLink {
  HidInterface hid;
  bool isOpen = false;          // set by whoever opened `hid`; SendCommand refuses a closed link
  bool ackSeen = false;         // an acknowledgement was read in the current attempt
  bool responseSeen = false;    // a response was read in the current attempt
  bool expectResponse = false;  // the current command is answered with a response
  std::uint8_t sequence = 0;
  Frame request{};
  Frame reply{};  // the frame read last; after a query, the response
  ReplyError replyError = kReplyAccepted;
  SendError sendError = kSendOk;
  // Every sleep of an exchange goes through this clock. Set once by the owner; set-up keeps it.
  platform::Clock* clock = nullptr;
};

// Prepares a link for a new open: clears its protocol state, keeps its clock. The record in
// `hid` is left as it is; the next open replaces it.
void SetUpLink(DeviceLink& link);
