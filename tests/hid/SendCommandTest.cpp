#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <memory>
#include <vector>

#include "hid/SendCommand.h"
#include "platform/Clock.h"
#include "platform/sim/SimulatedDevice.h"

using platform::SimulatedBadAck;
using platform::SimulatedDevice;
using platform::SimulatedDeviceConfig;
using platform::SimulatedFaults;
using platform::SimulatedRequest;

namespace {

const char* kAccessCodeA = "QX7TJ2WNRB5KHD9ZVL3MFA8PCY4GE6US";

// Reaches a simulated device directly, as an opened interface would.
class DirectHandle final : public platform::HidDevice {
 public:
  explicit DirectHandle(std::shared_ptr<SimulatedDevice> device) : device_(std::move(device)) {}
  int SetFeature(const platform::FeatureReport& r) override { return device_->SetFeature(r); }
  int GetFeature(platform::FeatureReport& r) override { return device_->GetFeature(r); }

 private:
  std::shared_ptr<SimulatedDevice> device_;
};

class SendCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetReplyCheckForTesting();
    SimulatedDeviceConfig config;
    config.firmware = {5, 1, 2};
    config.modelCode = 14;
    device = std::make_shared<SimulatedDevice>(config);
    link.clock = &clock;
    link.hid.devicePath = "sim";
    link.hid.device = std::make_unique<DirectHandle>(device);
    link.isOpen = true;
  }
  void TearDown() override { ResetReplyCheckForTesting(); }

  int Unlock() {
    return SendCommand(&link, CmdUnlock, reinterpret_cast<const std::uint8_t*>(kAccessCodeA), 33);
  }
  int Query() {
    const std::uint8_t zeros[59] = {};
    return SendCommand(&link, CmdQueryInfo, zeros, sizeof zeros);
  }
  void Faults(const SimulatedFaults& faults) { device->SetFaults(faults); }
  std::vector<SimulatedRequest> RequestsWithCode(std::uint8_t code) const {
    std::vector<SimulatedRequest> found;
    for (const auto& r : device->Requests()) {
      if (r.code == code) found.push_back(r);
    }
    return found;
  }

  platform::VirtualClock clock;
  std::shared_ptr<SimulatedDevice> device;
  DeviceLink link;
};

}  // namespace

TEST_F(SendCommandTest, CleanQueryTakesSevenMillisecondsAndAcknowledgesTheResponse) {
  ASSERT_EQ(Unlock(), 0);
  const platform::Millis start = clock.Now();
  ASSERT_EQ(Query(), 0);
  EXPECT_EQ(clock.Now() - start, 7);
  EXPECT_EQ(link.replyError, kReplyAccepted);
  EXPECT_EQ(link.sendError, kSendOk);
  EXPECT_TRUE(link.ackSeen);
  EXPECT_TRUE(link.responseSeen);
  EXPECT_EQ(link.reply[2], 21);
  EXPECT_EQ(link.reply[3], 2);  // the query carried 1
  EXPECT_EQ(link.reply[4], 5);
  EXPECT_EQ(link.reply[5], 1);
  EXPECT_EQ(link.reply[6], 2);
  EXPECT_EQ(link.reply[7], 14);
  const auto requests = device->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].code, 20);
  EXPECT_EQ(requests[2].sequence, 2);
  EXPECT_EQ(device->WriteCalls(), 3);
  EXPECT_EQ(device->ReadCalls(), 3);  // unlock: 1, query: acknowledgement + response
}

TEST_F(SendCommandTest, AcknowledgementOnlyCommandReadsOnceAndWritesOnce) {
  const platform::Millis start = clock.Now();
  ASSERT_EQ(Unlock(), 0);
  EXPECT_EQ(clock.Now() - start, 7);
  EXPECT_FALSE(link.expectResponse);
  EXPECT_EQ(device->WriteCalls(), 1);
  EXPECT_EQ(device->ReadCalls(), 1);
  EXPECT_TRUE(device->Unlocked());
}

class RefusedCode : public SendCommandTest, public ::testing::WithParamInterface<int> {};

TEST_P(RefusedCode, SendsNothingAndReturns1) {
  const std::uint8_t payload[4] = {1, 2, 3, 4};
  EXPECT_EQ(SendCommand(&link, static_cast<std::uint8_t>(GetParam()), payload, 4), 1);
  EXPECT_EQ(device->WriteCalls(), 0);
  EXPECT_EQ(device->ReadCalls(), 0);
  EXPECT_EQ(clock.Now(), 0);
  EXPECT_EQ(link.sequence, 1);  // a refused code still uses up its sequence number
}

INSTANTIATE_TEST_SUITE_P(Codes, RefusedCode, ::testing::Values(20, 21, 33, 34, 0, 39));

TEST_F(SendCommandTest, ClosedOrMissingLinkSendsNothing) {
  EXPECT_EQ(SendCommand(nullptr, CmdQueryInfo, nullptr, 0), 1);
  link.isOpen = false;
  EXPECT_EQ(Query(), 1);
  EXPECT_EQ(device->WriteCalls(), 0);
}

TEST_F(SendCommandTest, TwoUnlocksInARowBothCarrySequence1) {
  ASSERT_EQ(Unlock(), 0);
  EXPECT_EQ(link.sequence, 0);
  ASSERT_EQ(Unlock(), 0);
  EXPECT_EQ(link.sequence, 0);
  ASSERT_EQ(Query(), 0);
  const auto requests = device->Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].sequence, 1);
  EXPECT_EQ(requests[1].sequence, 1);
  EXPECT_EQ(requests[2].sequence, 1);  // the command after an unlock
}

TEST_F(SendCommandTest, SequenceWrapsFrom254To0AndTheResponseTo254Carries0) {
  ASSERT_EQ(Unlock(), 0);
  link.sequence = 253;
  ASSERT_EQ(Query(), 0);
  EXPECT_EQ(link.request[3], 254);
  EXPECT_EQ(link.reply[3], 0);
  EXPECT_EQ(link.replyError, kReplyAccepted);
  ASSERT_EQ(Query(), 0);
  EXPECT_EQ(link.request[3], 0);
  EXPECT_EQ(link.reply[3], 1);
}

TEST_F(SendCommandTest, AcknowledgementAtTheThirdReadNeedsOneWrite) {
  ASSERT_EQ(Unlock(), 0);
  SimulatedFaults faults;
  faults.badAcknowledgements = 2;
  faults.badAcknowledgementKind = SimulatedBadAck::WrongCode;
  Faults(faults);
  const int writes = device->WriteCalls();
  const int reads = device->ReadCalls();
  const platform::Millis start = clock.Now();
  EXPECT_EQ(Unlock(), 0);
  EXPECT_EQ(device->WriteCalls() - writes, 1);
  EXPECT_EQ(device->ReadCalls() - reads, 3);
  EXPECT_EQ(clock.Now() - start, 5 + 3 * 2);
}

TEST_F(SendCommandTest, WrongSequenceOnEveryReadGivesUpAfter100Writes) {
  ASSERT_EQ(Unlock(), 0);
  SimulatedFaults faults;
  faults.badAcknowledgements = platform::kForever;
  faults.badAcknowledgementKind = SimulatedBadAck::WrongSequence;
  Faults(faults);
  const platform::Millis start = clock.Now();
  EXPECT_EQ(Query(), 1);
  EXPECT_EQ(link.replyError, kReplyWrongSequence);
  const auto queries = RequestsWithCode(CmdQueryInfo);
  ASSERT_EQ(queries.size(), 100u);
  for (const auto& q : queries) EXPECT_EQ(q.sequence, 1);  // the same frame every time
  EXPECT_EQ(device->ReadCalls(), 1 + 100 * 20);
  EXPECT_EQ(clock.Now() - start, 100 * (5 + 20 * 2));
  EXPECT_TRUE(RequestsWithCode(CmdAck).empty());
}

TEST_F(SendCommandTest, QueryAnsweredByAcknowledgementsForeverIsNotAcknowledged) {
  ASSERT_EQ(Unlock(), 0);
  SimulatedFaults faults;
  faults.noResponse = true;
  Faults(faults);
  EXPECT_EQ(Query(), 1);
  EXPECT_EQ(link.replyError, kReplyWrongCode);
  EXPECT_EQ(RequestsWithCode(CmdQueryInfo).size(), 100u);
  EXPECT_EQ(device->ReadCalls(), 1 + 100 * (1 + 20));
  EXPECT_TRUE(RequestsWithCode(CmdAck).empty());
}

TEST_F(SendCommandTest, ResponseWithWrongSequenceIsStillAcknowledgedAndReturns0) {
  ASSERT_EQ(Unlock(), 0);
  SimulatedFaults faults;
  faults.responseWrongSequence = true;
  Faults(faults);
  EXPECT_EQ(Query(), 0);
  EXPECT_EQ(link.replyError, kReplyWrongSequence);
  EXPECT_EQ(RequestsWithCode(CmdQueryInfo).size(), 100u);
  const auto acks = RequestsWithCode(CmdAck);
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_EQ(acks[0].sequence, 3);  // echoes the response's (wrong) sequence number
  EXPECT_EQ(link.sequence, 1);     // the host's acknowledgement does not advance the counter
}

TEST_F(SendCommandTest, WriteFailingEveryTimeReturnsTheErrno) {
  SimulatedFaults faults;
  faults.writeFailure.error = EIO;
  Faults(faults);
  const platform::Millis start = clock.Now();
  EXPECT_EQ(Unlock(), EIO);
  EXPECT_EQ(link.sendError, kSendRequestFailed);
  EXPECT_EQ(device->WriteCalls(), 100);
  EXPECT_EQ(device->ReadCalls(), 0);
  EXPECT_EQ(clock.Now() - start, 100 * 5);
  EXPECT_TRUE(device->Requests().empty());
}

TEST_F(SendCommandTest, ReadFailingWhileAwaitingTheAcknowledgementGives9) {
  SimulatedFaults faults;
  faults.readFailure.error = ENODEV;
  Faults(faults);
  EXPECT_EQ(Unlock(), ENODEV);
  EXPECT_EQ(link.replyError, kReplyAcknowledgementReadFailed);
  EXPECT_EQ(link.sendError, kSendOk);
  EXPECT_EQ(device->ReadCalls(), 100 * 20);
}

TEST_F(SendCommandTest, FailedHostAcknowledgementGives7) {
  ASSERT_EQ(Unlock(), 0);
  SimulatedFaults faults;
  faults.writeFailure.error = EPIPE;
  faults.writeFailure.fromCommand = CmdAck;
  Faults(faults);
  EXPECT_EQ(Query(), EPIPE);
  EXPECT_EQ(link.sendError, kSendAcknowledgementFailed);
  EXPECT_EQ(link.replyError, kReplyAccepted);
  EXPECT_EQ(device->WriteCalls(), 1 + 1 + 100);
}

TEST_F(SendCommandTest, HostAcknowledgementSucceedingLateReturns0) {
  ASSERT_EQ(Unlock(), 0);
  SimulatedFaults faults;
  faults.writeFailure.error = EPIPE;
  faults.writeFailure.fromCommand = CmdAck;
  faults.writeFailure.count = 3;
  Faults(faults);
  EXPECT_EQ(Query(), 0);
  EXPECT_EQ(RequestsWithCode(CmdAck).size(), 1u);
}

TEST_F(SendCommandTest, WrongCheckWordAcceptedOnlyWhileCheckingIsOff) {
  ASSERT_EQ(Unlock(), 0);
  SimulatedFaults faults;
  faults.badAcknowledgements = platform::kForever;
  faults.badAcknowledgementKind = SimulatedBadAck::WrongCheckWord;
  Faults(faults);
  EXPECT_EQ(Unlock(), 0);
  EXPECT_EQ(link.replyError, kReplyAccepted);
  EnableReplyCheck();
  EXPECT_EQ(Unlock(), 1);
  EXPECT_EQ(link.replyError, kReplyBadCheckWord);
}

TEST_F(SendCommandTest, NonZeroStatusFromALockedDeviceGives4) {
  EXPECT_EQ(Query(), 1);
  EXPECT_EQ(link.replyError, kReplyBadStatus);
  EXPECT_TRUE(RequestsWithCode(CmdAck).empty());
}

// A device whose answers are scripted per write, for what the simulated device does not do:
// a good acknowledgement followed by a failing read.
class ScriptedHandle final : public platform::HidDevice {
 public:
  int SetFeature(const platform::FeatureReport& r) override {
    writes.push_back(r);
    if (r[2] != CmdAck) readsSinceWrite = 0;
    return 0;
  }
  int GetFeature(platform::FeatureReport& r) override {
    ++reads;
    if (readsSinceWrite++ > 0) return EIO;
    r.fill(0);
    r[2] = CmdAck;
    r[3] = writes.back()[3];
    return 0;
  }
  std::vector<platform::FeatureReport> writes;
  int reads = 0;
  int readsSinceWrite = 0;
};

TEST(SendCommandScripted, ReadFailingWhileAwaitingTheResponseGives8) {
  platform::VirtualClock clock;
  DeviceLink link;
  link.clock = &clock;
  auto handle = std::make_unique<ScriptedHandle>();
  ScriptedHandle& script = *handle;
  link.hid.device = std::move(handle);
  link.isOpen = true;
  EXPECT_EQ(SendCommand(&link, CmdQueryInfo, nullptr, 0), EIO);
  EXPECT_EQ(link.replyError, kReplyResponseReadFailed);
  EXPECT_EQ(script.writes.size(), 100u);  // no host acknowledgement: no response was read
  EXPECT_EQ(script.reads, 200);
}

TEST(SetUpLink, ClearsProtocolStateAndKeepsTheClock) {
  platform::VirtualClock clock;
  DeviceLink link;
  link.clock = &clock;
  link.isOpen = link.ackSeen = link.responseSeen = link.expectResponse = true;
  link.sequence = 77;
  link.request.fill(1);
  link.reply.fill(2);
  link.replyError = kReplyBadStatus;
  link.sendError = kSendRequestFailed;
  SetUpLink(link);
  EXPECT_FALSE(link.isOpen || link.ackSeen || link.responseSeen || link.expectResponse);
  EXPECT_EQ(link.sequence, 0);
  EXPECT_EQ(link.request, Frame{});
  EXPECT_EQ(link.reply, Frame{});
  EXPECT_EQ(link.replyError, kReplyAccepted);
  EXPECT_EQ(link.sendError, kSendOk);
  EXPECT_EQ(link.clock, &clock);
}
