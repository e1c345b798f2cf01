#include "app/ScreenReport.h"

#include "platform/TextEncoding.h"

namespace {

std::string OptionalJson(const std::optional<std::u16string>& text) {
  return text ? JsonString(*text) : "null";
}

int Percent(const ScreenDescription::Progress& p) {
  const int span = p.high - p.low;
  return span > 0 ? static_cast<int>((static_cast<long long>(p.position - p.low) * 100) / span) : 0;
}

}  // namespace

std::string JsonString(const std::u16string& text) {
  static const char* hex = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : platform::ToUtf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string ScreenReport::FormatLine(const std::string& dialog, const ScreenDescription& screen) {
  std::string line = "{\"dialog\":\"" + dialog + "\"";
  line += ",\"heading\":" + OptionalJson(screen.heading);
  line += ",\"status\":" + OptionalJson(screen.status);
  line += ",\"message\":" + OptionalJson(screen.message);
  line += ",\"body\":" + OptionalJson(screen.body);
  line += ",\"buttons\":[";
  for (std::size_t i = 0; i < screen.buttons.size(); ++i) {
    if (i != 0) line += ',';
    line += JsonString(screen.buttons[i]);
  }
  line += "],\"progress\":";
  if (screen.progress) {
    line += "{\"position\":" + std::to_string(screen.progress->position) +
            ",\"low\":" + std::to_string(screen.progress->low) +
            ",\"high\":" + std::to_string(screen.progress->high) + "}";
  } else {
    line += "null";
  }
  return line + "}";
}

bool ScreenReport::OnlyProgressMoved(const Last& last, const std::string& lineWithoutProgress,
                                     const ScreenDescription& screen) {
  return last.lineWithoutProgress == lineWithoutProgress && last.progress && screen.progress &&
         last.progress->low == screen.progress->low && last.progress->high == screen.progress->high;
}

void ScreenReport::Painted(const void* key, const std::string& dialog, const ScreenDescription& screen) {
  ScreenDescription withoutProgress = screen;
  withoutProgress.progress.reset();
  const std::string rest = FormatLine(dialog, withoutProgress);

  std::lock_guard<std::mutex> lock(mutex_);
  auto found = last_.find(key);
  if (found != last_.end()) {
    const Last& last = found->second;
    const bool sameProgress = last.progress.has_value() == screen.progress.has_value() &&
                              (!screen.progress || (last.progress->position == screen.progress->position &&
                                                    last.progress->low == screen.progress->low &&
                                                    last.progress->high == screen.progress->high));
    if (last.lineWithoutProgress == rest && sameProgress) return;
    if (OnlyProgressMoved(last, rest, screen) && screen.progress->position != screen.progress->high &&
        Percent(*last.progress) == Percent(*screen.progress)) {
      return;
    }
  }
  last_[key] = Last{rest, screen.progress};
  out_ << FormatLine(dialog, screen) << '\n';
  out_.flush();
}
