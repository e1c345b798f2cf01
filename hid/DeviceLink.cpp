#include "hid/DeviceLink.h"

void SetUpLink(DeviceLink& link) {
  link.isOpen = false;
  link.ackSeen = false;
  link.responseSeen = false;
  link.expectResponse = false;
  link.sequence = 0;
  link.request.fill(0);
  link.reply.fill(0);
  link.replyError = kReplyAccepted;
  link.sendError = kSendOk;
}
