#pragma once

#include <cstddef>
#include <cstdint>

#include "hid/DeviceLink.h"

// Sends one command and waits for the device's acknowledgement and, for commands that produce
// data, its response, which is then acknowledged by the host. Fixed retries: up to 100 writes
// of the same frame, 5 ms before each, up to 20 reads for the acknowledgement, 2 ms before
// each, and up to 20 reads for the response.
//
// Returns 0 on success; 1 when the link is missing or not open, the code is refused, or the
// retries ran out without a failed transfer; otherwise the errno of the last failed transfer.
// The link's `reply`, `replyError` and `sendError` tell the outcome in detail. A response that
// was read is always acknowledged, and once that acknowledgement is written the result is 0,
// even if the response itself was judged bad: callers that care check `replyError`.
int SendCommand(DeviceLink* link, std::uint8_t code, const std::uint8_t* payload,
                std::size_t length);
