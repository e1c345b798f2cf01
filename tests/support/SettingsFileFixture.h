#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

// A settings file of the test's own, in a fresh folder that is removed afterwards.
class SettingsFileFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "rirud-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    file_ = folder_ / "settings.conf";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void Write(const std::string& content) const { std::ofstream(file_, std::ios::binary) << content; }

  std::string Read() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path folder_;
  std::filesystem::path file_;
};

}  // namespace testsupport
