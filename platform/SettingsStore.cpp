#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "platform/TextEncoding.h"

namespace platform {

namespace {

// Closes the descriptor it holds.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadWholeFile(const std::filesystem::path& path, std::string& content) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::kMissing : ReadResult::kFailed;
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uintmax_t>(info.st_size) > kMaxSettingsFileBytes) {
    return ReadResult::kFailed;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ReadResult::kFailed;
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
    if (content.size() > kMaxSettingsFileBytes) return ReadResult::kFailed;
  }
  return ReadResult::kRead;
}

// Lines keep a CR before their LF, so that a rewrite gives back every line it does not change
// byte for byte; the CR is dropped only where a line is read (LineText).
std::vector<std::string> SplitLines(std::string_view content) {
  std::vector<std::string> lines;
  while (!content.empty()) {
    const std::size_t end = content.find('\n');
    lines.emplace_back(content.substr(0, end));
    if (end == std::string_view::npos) break;
    content.remove_prefix(end + 1);
  }
  return lines;
}

// A line as its text is read: without the CR of a CR LF line end.
std::string_view LineText(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "[NAME]" gives NAME.
std::optional<std::string_view> SectionName(std::string_view line) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
  return line.substr(1, line.size() - 2);
}

struct ValueLine {
  std::string_view type;
  std::string_view name;
  std::string_view text;
};

// "TYPE NAME=VALUE"; the name holds no blank and no '='.
std::optional<ValueLine> SplitValueLine(std::string_view line) {
  const std::size_t blank = line.find(' ');
  const std::size_t equals = line.find('=');
  if (blank == std::string_view::npos || equals == std::string_view::npos || equals < blank) {
    return std::nullopt;
  }
  ValueLine value{line.substr(0, blank), line.substr(blank + 1, equals - blank - 1),
                  line.substr(equals + 1)};
  if (value.name.empty() || value.name.find(' ') != std::string_view::npos) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return number;
}

}  // namespace

std::filesystem::path SettingsFilePath() {
  const char* overridden = std::getenv(kSettingsFileVariable);
  if (overridden != nullptr && *overridden != '\0') return overridden;
  return kSystemSettingsFile;
}

SettingsKey::SettingsKey(std::filesystem::path file, std::string keyName,
                         std::vector<std::string> lines)
    : file_(std::move(file)), keyName_(std::move(keyName)), lines_(std::move(lines)) {
  ParseValues();
}

std::optional<SettingsKey> SettingsKey::Open(const std::filesystem::path& file,
                                             std::string_view keyName) {
  std::string content;
  switch (ReadWholeFile(file, content)) {
    case ReadResult::kFailed:
      return std::nullopt;
    case ReadResult::kMissing:
      return SettingsKey(file, std::string(keyName), {});
    case ReadResult::kRead:
      break;
  }
  return SettingsKey(file, std::string(keyName), SplitLines(content));
}

void SettingsKey::ParseValues() {
  bool inKey = false;
  for (const std::string& stored : lines_) {
    const std::string_view line = LineText(stored);
    if (const auto section = SectionName(line)) {
      inKey = EqualIgnoringAsciiCase(*section, keyName_);
      continue;
    }
    if (!inKey) continue;
    const auto value = SplitValueLine(line);
    if (!value) continue;
    if (value->type == "string") {
      if (auto text = FromUtf8Strict(value->text)) values_[std::string(value->name)] = std::move(*text);
    } else if (value->type == "number") {
      if (auto number = ParseNumber(value->text)) values_[std::string(value->name)] = *number;
    }
  }
}

std::optional<std::u16string> SettingsKey::QueryString(std::string_view name,
                                                       std::size_t maxUnits) const {
  const auto found = values_.find(name);
  if (found == values_.end()) return std::nullopt;
  const auto* text = std::get_if<std::u16string>(&found->second);
  if (text == nullptr || text->size() > maxUnits) return std::nullopt;
  return *text;
}

std::optional<std::uint32_t> SettingsKey::QueryNumber(std::string_view name) const {
  const auto found = values_.find(name);
  if (found == values_.end()) return std::nullopt;
  const auto* number = std::get_if<std::uint32_t>(&found->second);
  if (number == nullptr) return std::nullopt;
  return *number;
}

bool SettingsKey::SetNumber(std::string_view name, std::uint32_t value) {
  const std::string newLine = "number " + std::string(name) + "=" + std::to_string(value);

  // Replace the line that counts now (the last of that name in the key), or add one at the
  // end of the key, or add the key at the end of the file.
  std::vector<std::string> lines = lines_;
  std::optional<std::size_t> replace;
  std::optional<std::size_t> keyEnd;
  bool inKey = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = LineText(lines[i]);
    if (const auto section = SectionName(line)) {
      inKey = EqualIgnoringAsciiCase(*section, keyName_);
      if (inKey) keyEnd = i + 1;
      continue;
    }
    if (!inKey) continue;
    keyEnd = i + 1;
    const auto existing = SplitValueLine(line);
    if (existing && existing->name == name) replace = i;
  }
  if (replace) {
    lines[*replace] = newLine;
  } else if (keyEnd) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*keyEnd), newLine);
  } else {
    lines.push_back("[" + keyName_ + "]");
    lines.push_back(newLine);
  }

  if (!WriteLines(lines)) return false;
  lines_ = std::move(lines);
  values_[std::string(name)] = value;
  return true;
}

bool SettingsKey::WriteLines(const std::vector<std::string>& lines) const {
  std::string content;
  for (const std::string& line : lines) content += line + "\n";

  std::error_code ignored;
  const std::filesystem::path folder = file_.parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);

  std::string temporary = file_.string() + ".XXXXXX";
  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.Get() < 0) return false;
  bool written = ::fchmod(fd.Get(), 0644) == 0;
  for (std::size_t done = 0; written && done < content.size();) {
    const ssize_t n = ::write(fd.Get(), content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<std::size_t>(n);
  }
  written = written && ::fsync(fd.Get()) == 0;
  written = fd.Close() && written;
  if (!written || ::rename(temporary.c_str(), file_.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
