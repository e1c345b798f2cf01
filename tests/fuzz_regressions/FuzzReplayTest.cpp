// Every committed fuzz input, replayed through its harness. A harness checks its properties
// itself and aborts with the property's text when one fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int FuzzFirmwareImage(const std::uint8_t* data, std::size_t size);
extern "C" int FuzzTranslationTable(const std::uint8_t* data, std::size_t size);
extern "C" int FuzzCommandExchange(const std::uint8_t* data, std::size_t size);
extern "C" int FuzzSettingsFile(const std::uint8_t* data, std::size_t size);
extern "C" int FuzzProgramOptions(const std::uint8_t* data, std::size_t size);

namespace {

struct Harness {
  const char* target;  // the fuzz target, and the name of its input folders
  int (*run)(const std::uint8_t*, std::size_t);
};

const Harness kHarnesses[] = {
    {"fuzz_firmware_image", FuzzFirmwareImage},
    {"fuzz_translation_table", FuzzTranslationTable},
    {"fuzz_command_exchange", FuzzCommandExchange},
    {"fuzz_settings_file", FuzzSettingsFile},
    {"fuzz_program_options", FuzzProgramOptions},
};

std::vector<std::filesystem::path> InputsIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  if (!std::filesystem::is_directory(folder)) return files;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    if (item.is_regular_file()) files.push_back(item.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replays each input from a copy of exactly its size, as the fuzzer hands it over, so a read
// past the end is caught by AddressSanitizer.
int Replay(const Harness& harness, const std::vector<std::filesystem::path>& files) {
  for (const auto& file : files) {
    std::fprintf(stderr, "replaying %s\n", file.c_str());
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    const auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    harness.run(copy.get(), bytes.size());
  }
  return static_cast<int>(files.size());
}

class FuzzReplay : public ::testing::TestWithParam<Harness> {};

TEST_P(FuzzReplay, SeedsAndFindingsKeepEveryProperty) {
  const Harness& harness = GetParam();
  const int seeds = Replay(harness, InputsIn(std::filesystem::path(RIRUD_FUZZ_SEEDS_DIR) / harness.target));
  Replay(harness, InputsIn(std::filesystem::path(RIRUD_FUZZ_FINDINGS_DIR) / harness.target));
  // An empty or misplaced seed folder would make this test pass without replaying anything.
  EXPECT_GT(seeds, 0) << "no seeds for " << harness.target;
}

INSTANTIATE_TEST_SUITE_P(AllTargets, FuzzReplay, ::testing::ValuesIn(kHarnesses),
                         [](const auto& param) { return std::string(param.param.target); });

}  // namespace
