#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/ProgramOptions.h"

namespace {

ParsedOptions Parse(std::vector<std::string_view> args) { return ParseProgramOptions(args); }

}  // namespace

TEST(ProgramOptions, NoArgumentsMeansHardwareAndAWindow) {
  const ParsedOptions p = Parse({});
  EXPECT_TRUE(p.error.empty());
  EXPECT_FALSE(p.options.simulate);
  EXPECT_FALSE(p.options.headless);
  EXPECT_FALSE(p.options.yes);
}

TEST(ProgramOptions, FlagsAndScreenshotFolderInBothForms) {
  for (const auto& args : {std::vector<std::string_view>{"--headless", "--yes", "--debug", "--screenshots", "shots"},
                           std::vector<std::string_view>{"--screenshots=shots", "--debug", "--yes", "--headless"}}) {
    const ParsedOptions p = Parse(args);
    ASSERT_TRUE(p.error.empty()) << p.error;
    EXPECT_TRUE(p.options.headless);
    EXPECT_TRUE(p.options.yes);
    EXPECT_TRUE(p.options.debug);
    EXPECT_EQ(p.options.screenshotsDir, "shots");
  }
}

TEST(ProgramOptions, SimulateDefaultsPerKind) {
  const ParsedOptions keyboard = Parse({"--simulate"});
  ASSERT_TRUE(keyboard.options.simulate);
  EXPECT_FALSE(keyboard.options.simulate->groupB);
  EXPECT_EQ(keyboard.options.simulate->productId, 0x0076);
  EXPECT_EQ(keyboard.options.simulate->modelCode, 14);
  EXPECT_EQ(keyboard.options.simulate->version, (std::array<std::uint8_t, 3>{5, 2, 1}));
  EXPECT_EQ(keyboard.options.simulate->newVersion, (std::array<std::uint8_t, 3>{6, 0, 0}));
  EXPECT_EQ(keyboard.options.simulate->restartMs, 3000);

  const ParsedOptions mouse = Parse({"--simulate=mouse"});
  ASSERT_TRUE(mouse.options.simulate);
  EXPECT_TRUE(mouse.options.simulate->groupB);
  EXPECT_EQ(mouse.options.simulate->productId, 0x0078);
  EXPECT_EQ(mouse.options.simulate->modelCode, 7);
}

TEST(ProgramOptions, SimulateKeysOverrideTheKind) {
  const ParsedOptions p =
      Parse({"--simulate=keyboard,pid=0x00b5,version=1.3.7,model=4,newversion=6.0.1,restart-ms=0"});
  ASSERT_TRUE(p.error.empty()) << p.error;
  const SimulatedDeviceOptions& d = *p.options.simulate;
  EXPECT_EQ(d.productId, 0x00B5);
  EXPECT_EQ(d.version, (std::array<std::uint8_t, 3>{1, 3, 7}));
  EXPECT_EQ(d.modelCode, 4);
  EXPECT_EQ(d.newVersion, (std::array<std::uint8_t, 3>{6, 0, 1}));
  EXPECT_EQ(d.restartMs, 0);

  const ParsedOptions keysOnly = Parse({"--simulate=pid=74"});
  ASSERT_TRUE(keysOnly.error.empty()) << keysOnly.error;
  EXPECT_EQ(keysOnly.options.simulate->productId, 0x0074);
}

TEST(ProgramOptions, BadCommandLinesNameTheProblem) {
  const struct {
    std::vector<std::string_view> args;
    const char* mentions;
  } cases[] = {
      {{"--frobnicate"}, "--frobnicate"},
      {{"-x"}, "-x"},
      {{"--screenshots"}, "folder"},
      {{"--screenshots="}, "folder"},
      {{"--simulate=tablet"}, "tablet"},
      {{"--simulate=keyboard,colour=red"}, "colour"},
      {{"--simulate=keyboard,pid"}, "KEY=VALUE"},
      {{"--simulate=keyboard,pid="}, "KEY=VALUE"},
      {{"--simulate=keyboard,pid=12345"}, "pid"},
      {{"--simulate=keyboard,pid=zz"}, "pid"},
      {{"--simulate=keyboard,version=1.2"}, "version"},
      {{"--simulate=keyboard,version=1.2.256"}, "version"},
      {{"--simulate=keyboard,version=1.-2.3"}, "version"},
      {{"--simulate=keyboard,newversion=a.b.c"}, "newversion"},
      {{"--simulate=keyboard,model=300"}, "model"},
      {{"--simulate=keyboard,restart-ms=-1"}, "restart-ms"},
      {{"--simulate=keyboard,restart-ms=99999999999999999999"}, "restart-ms"},
      {{"--simulate=,"}, ""},
  };
  for (const auto& c : cases) {
    const ParsedOptions p = Parse(c.args);
    EXPECT_FALSE(p.error.empty()) << c.args[0];
    EXPECT_NE(p.error.find(c.mentions), std::string::npos) << p.error;
    EXPECT_EQ(p.error.find('\n'), std::string::npos) << "one line: " << p.error;
  }
}
