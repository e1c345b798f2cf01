#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/SingleInstance.h"

using platform::SingleInstance;

namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/rirud-instance-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string folder_;
};

}  // namespace

TEST_F(SingleInstanceTest, SecondStartPingsTheFirstAndIsTurnedAway) {
  std::atomic<int> pings{0};
  auto first = SingleInstance::Claim([&] { ++pings; }, folder_);
  ASSERT_EQ(first.outcome, SingleInstance::Outcome::First);
  ASSERT_TRUE(first.instance);

  const auto second = SingleInstance::Claim([] {}, folder_);
  EXPECT_EQ(second.outcome, SingleInstance::Outcome::OtherAnswered);
  EXPECT_FALSE(second.instance);
  EXPECT_EQ(pings.load(), 1);
}

TEST_F(SingleInstanceTest, TheLockIsFreedWhenTheFirstEnds) {
  {
    auto first = SingleInstance::Claim([] {}, folder_);
    ASSERT_EQ(first.outcome, SingleInstance::Outcome::First);
  }
  const auto next = SingleInstance::Claim([] {}, folder_);
  EXPECT_EQ(next.outcome, SingleInstance::Outcome::First);
}

TEST_F(SingleInstanceTest, AStaleSocketFromACrashedInstanceDoesNotBlockAStart) {
  // A crashed instance leaves its socket file but no lock holder.
  { std::FILE* f = std::fopen((folder_ + "/rirud-uvariza.sock").c_str(), "w"); std::fclose(f); }
  auto first = SingleInstance::Claim([] {}, folder_);
  EXPECT_EQ(first.outcome, SingleInstance::Outcome::First);
  const auto second = SingleInstance::Claim([] {}, folder_);
  EXPECT_EQ(second.outcome, SingleInstance::Outcome::OtherAnswered);
}
