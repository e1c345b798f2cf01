#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace platform {

// Keeps two updaters from ever working on one device at once. The first instance of a user
// holds a lock file and answers pings on a Unix socket beside it (in $XDG_RUNTIME_DIR, else
// /tmp/rirud-uvariza-<uid>); a later start pings it, which asks the running instance to bring
// its window to the front, and then ends.
class SingleInstance {
 public:
  // The answer that identifies a running instance.
  static constexpr unsigned kPingReply = 0x2A3B4C5D;

  enum class Outcome {
    First,           // this process is the only instance; Claim's result holds the lock
    OtherAnswered,   // another instance runs and was asked to come to the front
    OtherSilent,     // another instance holds the lock but did not answer in time
  };

  struct ClaimResult {
    Outcome outcome;
    std::unique_ptr<SingleInstance> instance;  // set only for Outcome::First
  };

  // `folder` empty: the user's runtime folder. `onPing` runs on the listener thread of the first
  // instance whenever a later start pings it (post to the UI thread from there).
  static ClaimResult Claim(std::function<void()> onPing, std::string folder = {});

  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

 private:
  SingleInstance(int lockFd, int listenFd, int stopFd, std::string socketPath, std::function<void()> onPing);
  void Listen();

  int lockFd_;
  int listenFd_;
  int stopFd_;  // an eventfd that ends the listener
  std::string socketPath_;
  std::function<void()> onPing_;
  std::thread listener_;
};

}  // namespace platform
