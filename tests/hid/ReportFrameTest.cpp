#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "hid/ReportFrame.h"

namespace {

class ReplyCheckOff : public ::testing::Test {
 protected:
  void SetUp() override { ResetReplyCheckForTesting(); }
  void TearDown() override { ResetReplyCheckForTesting(); }
};

Frame Acknowledgement(std::uint8_t sequence) {
  Frame f{};
  f[2] = 20;
  f[3] = sequence;
  return f;
}

}  // namespace

TEST(ReflectBits, ReversesTheLowBitsAndIgnoresTheRest) {
  EXPECT_EQ(ReflectBits(0x01, 16), 0x8000u);
  EXPECT_EQ(ReflectBits(0x12, 16), 0x4800u);
  EXPECT_EQ(ReflectBits(0x8000, 16), 0x0001u);
  EXPECT_EQ(ReflectBits(0x1F, 4), 0xFu);  // bit 4 is above the 4 reflected bits
  EXPECT_EQ(ReflectBits(0b0011, 4), 0b1100u);
  EXPECT_EQ(ReflectBits(0x1, 32), 0x80000000u);
}

struct CheckWordCase {
  std::uint8_t byte62;
  std::uint8_t low;
  std::uint8_t high;
};

class CheckWordTest : public ::testing::TestWithParam<CheckWordCase> {};

TEST_P(CheckWordTest, DependsOnByte62Only) {
  const CheckWordCase c = GetParam();
  std::vector<std::uint8_t> payload(59, 0xA5);  // bytes 4..61 must not matter
  payload[58] = c.byte62;
  Frame f;
  BuildRequest(f, 9, 7, payload.data(), payload.size());
  EXPECT_EQ(f[62], c.byte62);
  EXPECT_EQ(f[63], c.low);
  EXPECT_EQ(f[64], c.high);
}

INSTANTIATE_TEST_SUITE_P(Examples, CheckWordTest,
                         ::testing::Values(CheckWordCase{0x00, 0x00, 0x00},
                                           CheckWordCase{0x12, 0x00, 0x48},
                                           CheckWordCase{0x01, 0x00, 0x80},
                                           CheckWordCase{0xFF, 0x00, 0xFF}));

TEST(BuildRequest, ShortPayloadLeavesZerosAndCheckWordZero) {
  Frame f;
  f.fill(0xEE);
  const std::uint8_t payload[] = {1, 2, 3};
  BuildRequest(f, 17, 5, payload, sizeof payload);
  Frame expected{};
  expected[2] = 17;
  expected[3] = 5;
  expected[4] = 1;
  expected[5] = 2;
  expected[6] = 3;
  EXPECT_EQ(f, expected);
}

TEST(BuildRequest, UnlockFrameCarriesCodeAndTerminatingZero) {
  const char* code = "QX7TJ2WNRB5KHD9ZVL3MFA8PCY4GE6US";
  Frame f;
  BuildRequest(f, CmdUnlock, 1, reinterpret_cast<const std::uint8_t*>(code), 33);
  EXPECT_EQ(std::memcmp(f.data() + 4, code, 32), 0);
  for (std::size_t i = 36; i < 65; ++i) EXPECT_EQ(f[i], 0) << "byte " << i;
  EXPECT_EQ(f[0], 0);
  EXPECT_EQ(f[1], 0);
}

TEST(BuildHostAcknowledgement, IsAllZeroButCodeAndSequence) {
  Frame f;
  f.fill(0x33);
  BuildHostAcknowledgement(f, 200);
  Frame expected{};
  expected[2] = 20;
  expected[3] = 200;
  EXPECT_EQ(f, expected);
}

TEST(NextSequence, RunsFrom1To254ThenWrapsTo0) {
  EXPECT_EQ(NextSequence(0), 1);
  EXPECT_EQ(NextSequence(1), 2);
  EXPECT_EQ(NextSequence(253), 254);
  EXPECT_EQ(NextSequence(254), 0);
  EXPECT_EQ(NextSequence(255), 0);  // never produced, but follows the rule
  std::uint8_t s = 0;
  for (int i = 0; i < 1000; ++i) {
    s = NextSequence(s);
    ASSERT_NE(s, 255);
  }
}

TEST(ClassifyCommand, FollowsTheCommandTable) {
  const std::vector<int> withResponse = {2, 4, 6, 13, 15, 17, 26, 27, 28, 30, 31, 32};
  const std::vector<int> refused = {0, 20, 21, 33, 34};
  for (int code = 0; code < 256; ++code) {
    CommandKind expected = CommandKind::AcknowledgementOnly;
    if (code == 19) expected = CommandKind::Unlock;
    if (std::find(withResponse.begin(), withResponse.end(), code) != withResponse.end()) {
      expected = CommandKind::WithResponse;
    }
    if (code > 38 ||
        std::find(refused.begin(), refused.end(), code) != refused.end()) {
      expected = CommandKind::Refused;
    }
    EXPECT_EQ(ClassifyCommand(static_cast<std::uint8_t>(code)), expected) << "code " << code;
  }
}

struct VerdictCase {
  const char* name;
  void (*spoil)(Frame&);
  ReplyError checkOff;
  ReplyError checkOn;
};

class AcknowledgementVerdict : public ReplyCheckOff,
                               public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(AcknowledgementVerdict, JudgedInOrder) {
  const VerdictCase c = GetParam();
  Frame reply = Acknowledgement(42);
  c.spoil(reply);
  EXPECT_EQ(JudgeAcknowledgement(reply, 42), c.checkOff);
  EnableReplyCheck();
  EXPECT_EQ(JudgeAcknowledgement(reply, 42), c.checkOn);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AcknowledgementVerdict,
    ::testing::Values(
        VerdictCase{"Good", [](Frame&) {}, kReplyAccepted, kReplyAccepted},
        VerdictCase{"ReplyCode22", [](Frame& f) { f[2] = 22; }, kReplyWrongCode,
                    kReplyWrongCode},
        VerdictCase{"WrongCheckWord", [](Frame& f) { f[63] = 1; }, kReplyAccepted,
                    kReplyBadCheckWord},
        VerdictCase{"RightNonZeroCheckWord", [](Frame& f) { f[62] = 0x12, f[64] = 0x48; },
                    kReplyAccepted, kReplyAccepted},
        VerdictCase{"WrongSequence", [](Frame& f) { f[3] = 43; }, kReplyWrongSequence,
                    kReplyWrongSequence},
        VerdictCase{"StatusWord0x0100", [](Frame& f) { f[5] = 1; }, kReplyBadStatus,
                    kReplyBadStatus},
        VerdictCase{"CheckWordBeforeSequence", [](Frame& f) { f[3] = 1, f[64] = 9; },
                    kReplyWrongSequence, kReplyBadCheckWord},
        VerdictCase{"ByteOneIgnored", [](Frame& f) { f[1] = 0x77; }, kReplyAccepted,
                    kReplyAccepted}),
    [](const auto& testParam) { return std::string(testParam.param.name); });

TEST_F(ReplyCheckOff, ResponseCarriesNextSequenceAndHasNoStatusWord) {
  Frame reply{};
  reply[2] = 21;
  reply[3] = 43;
  reply[4] = 0xFF;  // version bytes, not a status word
  reply[5] = 0xFF;
  EXPECT_EQ(JudgeResponse(reply, 42), kReplyAccepted);
  EXPECT_EQ(JudgeResponse(reply, 43), kReplyWrongSequence);
  reply[2] = 20;
  EXPECT_EQ(JudgeResponse(reply, 42), kReplyWrongCode);
}

TEST_F(ReplyCheckOff, ResponseTo254Carries0) {
  Frame reply{};
  reply[2] = 21;
  reply[3] = 0;
  EXPECT_EQ(JudgeResponse(reply, 254), kReplyAccepted);
  reply[3] = 255;
  EXPECT_EQ(JudgeResponse(reply, 254), kReplyWrongSequence);
}

TEST_F(ReplyCheckOff, ResponseCheckWordJudgedOnlyWhileEnabled) {
  Frame reply{};
  reply[2] = 21;
  reply[3] = 1;
  reply[62] = 0x01;  // wants 0x8000, carries 0
  EXPECT_EQ(JudgeResponse(reply, 0), kReplyAccepted);
  EnableReplyCheck();
  EXPECT_TRUE(ReplyCheckEnabled());
  EXPECT_EQ(JudgeResponse(reply, 0), kReplyBadCheckWord);
  reply[64] = 0x80;
  EXPECT_EQ(JudgeResponse(reply, 0), kReplyAccepted);
}
