#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

using testsupport::ChildProcess;
using testsupport::RunProgram;

namespace {

// Every run gets its own runtime folder (the single-instance lock lives there) and no settings.
class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/rirud-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::vector<std::string> Env(const std::string& lang = "C") const {
    return {"XDG_RUNTIME_DIR=" + folder_, "RIRUD_UVARIZA_SETTINGS=" + folder_ + "/none.conf", "LC_ALL=",
            "LC_MESSAGES=", "LANG=" + lang};
  }

  static std::vector<std::string> Lines(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
      const std::size_t end = output.find('\n', start);
      lines.push_back(output.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return lines;
  }

  std::string folder_;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(ProgramTest, BadOptionsPrintTheProblemAndTheUsageAndExitTwo) {
  for (const char* bad : {"--frobnicate", "--simulate=tablet", "--simulate=keyboard,version=9"}) {
    const auto run = RunProgram({RIRUD_PROGRAM, bad}, Env());
    ASSERT_TRUE(run.status.has_value()) << bad;
    EXPECT_EQ(*run.status, 2) << bad;
    EXPECT_TRUE(Contains(run.errors, "usage: rirud-uvariza")) << run.errors;
    EXPECT_TRUE(run.output.empty()) << "nothing may run: " << run.output;
  }
}

TEST_F(ProgramTest, UnattendedUpgradeOfTheSimulatedKeyboardEndsInSuccess) {
  const auto run = RunProgram(
      {RIRUD_PROGRAM, "--simulate=keyboard,pid=0074,restart-ms=200", "--headless", "--yes"}, Env());
  ASSERT_EQ(run.status, 0) << run.output;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_TRUE(Contains(lines.front(), "\"buttons\":[\"UPGRADE NOW\"]")) << lines.front();
  EXPECT_TRUE(Contains(lines.back(), "Firmware upgrade was successful!")) << lines.back();
  EXPECT_TRUE(Contains(lines.back(), "version 6.0.0")) << lines.back();
  for (const std::string& line : lines) EXPECT_EQ(line.rfind("{\"dialog\":", 0), 0u) << "not a screen: " << line;
}

TEST_F(ProgramTest, ChineseLocaleShowsChineseScreens) {
  const auto run =
      RunProgram({RIRUD_PROGRAM, "--simulate=keyboard,version=6.0.0", "--headless", "--yes"}, Env("zh_CN.UTF-8"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"buttons\":[\"退出\"]")) << run.output;
  EXPECT_TRUE(Contains(run.output, "固件升级")) << run.output;
}

TEST_F(ProgramTest, WithoutADeviceTheNotFoundScreenEndsOnExit) {
  // No --simulate: the machine's own HID interfaces, where no supported device is plugged in.
  const auto run = RunProgram({RIRUD_PROGRAM, "--headless", "--yes"}, Env());
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "Not found !")) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"buttons\":[\"EXIT\"]")) << run.output;
}

TEST_F(ProgramTest, ASecondStartIsTurnedAwayWhileTheFirstRuns) {
  ChildProcess first;
  ASSERT_TRUE(first.Start({RIRUD_PROGRAM, "--simulate", "--headless"}, Env()));
  // The first instance shows its offer screen and waits for the user.
  for (int i = 0; i < 300 && !Contains(first.ReadOutput(100), "UPGRADE NOW"); ++i) {
  }
  ASSERT_TRUE(Contains(first.ReadOutput(), "UPGRADE NOW"));

  const auto second = RunProgram({RIRUD_PROGRAM, "--simulate", "--headless", "--yes"}, Env());
  ASSERT_TRUE(second.status.has_value());
  EXPECT_EQ(*second.status, 1);
  EXPECT_TRUE(Contains(second.errors, "already running")) << second.errors;
  EXPECT_TRUE(second.output.empty()) << second.output;
}
