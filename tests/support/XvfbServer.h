#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

// A private X server with a black root window. It picks a free display number itself and writes
// it to a pipe once it accepts connections, so nothing has to wait for it by the clock.
class XvfbServer {
 public:
  bool Start(const std::string& program, const std::string& screen, std::string& error) {
    int fds[2];
    if (pipe(fds) != 0) {
      error = "pipe failed";
      return false;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const std::vector<std::string> args = {program, "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                           screen, "-br", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ);
    close(fds[1]);
    if (spawned != 0) {
      close(fds[0]);
      pid_ = -1;
      error = "cannot start " + program;
      return false;
    }
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
      error = "Xvfb did not report a display";
      return false;
    }
    display_ = ":" + number;
    return true;
  }

  ~XvfbServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace testsupport
