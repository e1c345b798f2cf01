#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

constexpr char kPing[] = "PING 1125\n";
// How long a second start waits for the first to answer. The first instance answers from a
// thread of its own, so only a stopped or hung process stays silent this long.
constexpr int kAnswerTimeoutMs = 3000;

std::string DefaultFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
    return runtime;
  }
  std::string folder = "/tmp/rirud-uvariza-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  return folder;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, timeoutMs);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

// Asks the instance listening at `path` to come to the front; true when it answered correctly.
bool Ping(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, address)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool answered = false;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, kPing, sizeof kPing - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof kPing - 1) &&
      WaitReadable(fd, kAnswerTimeoutMs)) {
    char reply[32] = {};
    const ssize_t n = recv(fd, reply, sizeof reply - 1, 0);
    answered = n > 0 && std::strtoul(reply, nullptr, 16) == SingleInstance::kPingReply;
  }
  close(fd);
  return answered;
}

int ListenAt(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, address)) return -1;
  unlink(path.c_str());  // a socket left by an instance that crashed; we hold the lock now
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

SingleInstance::ClaimResult SingleInstance::Claim(std::function<void()> onPing, std::string folder) {
  if (folder.empty()) folder = DefaultFolder();
  const std::string lockPath = folder + "/rirud-uvariza.lock";
  const std::string socketPath = folder + "/rirud-uvariza.sock";

  const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd >= 0 && flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    close(lockFd);
    return {Ping(socketPath) ? Outcome::OtherAnswered : Outcome::OtherSilent, nullptr};
  }
  if (lockFd < 0) {
    // Without a lock file (an unwritable folder) the socket alone tells whether another runs.
    if (Ping(socketPath)) return {Outcome::OtherAnswered, nullptr};
    std::fprintf(stderr, "rirud-uvariza: cannot create %s: %s; not guarding against a second instance\n",
                 lockPath.c_str(), std::strerror(errno));
  }
  const int listenFd = ListenAt(socketPath);
  const int stopFd = eventfd(0, EFD_CLOEXEC);
  return {Outcome::First, std::unique_ptr<SingleInstance>(
                              new SingleInstance(lockFd, listenFd, stopFd, socketPath, std::move(onPing)))};
}

SingleInstance::SingleInstance(int lockFd, int listenFd, int stopFd, std::string socketPath,
                               std::function<void()> onPing)
    : lockFd_(lockFd), listenFd_(listenFd), stopFd_(stopFd), socketPath_(std::move(socketPath)),
      onPing_(std::move(onPing)) {
  if (listenFd_ >= 0 && stopFd_ >= 0) listener_ = std::thread([this] { Listen(); });
}

SingleInstance::~SingleInstance() {
  if (listener_.joinable()) {
    const std::uint64_t one = 1;
    (void)!write(stopFd_, &one, sizeof one);
    listener_.join();
  }
  if (listenFd_ >= 0) {
    close(listenFd_);
    unlink(socketPath_.c_str());
  }
  if (stopFd_ >= 0) close(stopFd_);
  if (lockFd_ >= 0) close(lockFd_);  // releases the lock
}

void SingleInstance::Listen() {
  while (true) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    char request[32] = {};
    // A client that connects and says nothing must not hold the listener up for long.
    if (WaitReadable(client, kAnswerTimeoutMs) && recv(client, request, sizeof request - 1, 0) > 0 &&
        std::strncmp(request, kPing, sizeof kPing - 1) == 0) {
      if (onPing_) onPing_();
      char reply[16];
      const int n = std::snprintf(reply, sizeof reply, "%X\n", kPingReply);
      (void)!send(client, reply, static_cast<std::size_t>(n), MSG_NOSIGNAL);
    }
    close(client);
  }
}

}  // namespace platform
