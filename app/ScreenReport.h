#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "ui/dialogs/CBitmapMessageBox.h"

// Prints what the dialogs show as JSON lines, one per change, for --headless:
//   {"dialog":"upgrade","heading":"...","status":"...","message":null,"body":"...",
//    "buttons":["UPGRADE NOW"],"progress":{"position":3,"low":0,"high":256}}
// A line whose only change is the progress position is printed once per whole percent; the first
// and the last position are always printed. Thread-safe: two dialogs may paint on two threads.
class ScreenReport {
 public:
  explicit ScreenReport(std::ostream& out) : out_(out) {}

  // `dialog` names the dialog ("upgrade" or "waiting"); `key` tells dialogs apart.
  void Painted(const void* key, const std::string& dialog, const ScreenDescription& screen);

  // The line for one screen, without its newline.
  static std::string FormatLine(const std::string& dialog, const ScreenDescription& screen);

 private:
  struct Last {
    std::string lineWithoutProgress;
    std::optional<ScreenDescription::Progress> progress;
  };
  static bool OnlyProgressMoved(const Last& last, const std::string& lineWithoutProgress,
                                const ScreenDescription& screen);

  std::ostream& out_;
  std::mutex mutex_;
  std::map<const void*, Last> last_;
};

// UTF-16 text as a JSON string literal (UTF-8, with the escapes JSON requires).
std::string JsonString(const std::u16string& text);
