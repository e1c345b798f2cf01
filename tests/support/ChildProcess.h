#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

// Test support for running real programs: finding them on PATH, starting them with extra
// environment, reading their output and waiting for them with a bound, so a hung program fails
// the test instead of hanging it.
namespace testsupport {

inline std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

class ChildProcess {
 public:
  // Starts `args` with the current environment plus `extraEnv` ("NAME=value"); standard output
  // and standard error are captured separately.
  bool Start(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {}) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    if (pipe2(err, O_CLOEXEC) != 0) {
      close(out[0]);
      close(out[1]);
      return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // getenv takes the first of two equal names, so an override replaces the inherited entry.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('=') + 1);
      bool overridden = false;
      for (const std::string& extra : extraEnv) overridden |= extra.rfind(name, 0) == 0;
      if (!overridden) env.push_back(entry);
    }
    for (const std::string& e : extraEnv) env.push_back(e);
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
      close(out[0]);
      close(err[0]);
      pid_ = -1;
      return false;
    }
    outFd_ = out[0];
    errFd_ = err[0];
    return true;
  }

  ~ChildProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
  }

  // Reads what the program printed so far on standard output, waiting at most `ms` for more.
  const std::string& ReadOutput(int ms = 0) {
    Drain(ms);
    return output_;
  }
  const std::string& ReadErrors(int ms = 0) {
    Drain(ms);
    return errors_;
  }

  // Waits up to `timeout` for the program to end, reading its output meanwhile; returns its exit
  // status, or nullopt when it is still running (it is then killed by the destructor).
  std::optional<int> Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        Drain(100);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      Drain(20);
    }
    return std::nullopt;
  }

  pid_t Pid() const { return pid_; }

 private:
  // Reads both pipes until neither has anything more within `ms`.
  void Drain(int ms) {
    while (outFd_ >= 0 || errFd_ >= 0) {
      pollfd p[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
      if (poll(p, 2, ms) <= 0) return;
      ms = 0;
      ReadInto(p[0], outFd_, output_);
      ReadInto(p[1], errFd_, errors_);
    }
  }

  static void ReadInto(const pollfd& p, int& fd, std::string& into) {
    if (fd < 0 || p.revents == 0) return;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      close(fd);
      fd = -1;
      return;
    }
    into.append(buffer, static_cast<std::size_t>(n));
  }

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string output_;
  std::string errors_;
};

// Runs a program to its end (bounded) and returns its exit status and output.
struct Finished {
  std::optional<int> status;
  std::string output;  // standard output
  std::string errors;  // standard error
};

inline Finished RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {},
                           std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
  ChildProcess child;
  if (!child.Start(args, extraEnv)) return {};
  Finished finished;
  finished.status = child.Wait(timeout);
  finished.output = child.ReadOutput();
  finished.errors = child.ReadErrors();
  return finished;
}

}  // namespace testsupport
