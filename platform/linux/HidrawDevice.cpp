#include "platform/linux/HidrawDevice.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace platform {
namespace {

constexpr const char* kRuleFile = "packaging/70-rirud-uvariza.rules";

// Said once per node and process: the program polls, and a line per attempt would bury the
// message that matters.
void ReportNoAccess(const std::string& devnode, int error) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard lock(mutex);
  if (!reported.insert(devnode).second) return;
  std::fprintf(stderr,
               "open %s: %s; install %s (see README) to give your login access to the device, "
               "then unplug and reconnect it\n",
               devnode.c_str(), std::strerror(error), kRuleFile);
}

int OpenFlags(bool read, bool write) {
  int access = read && write ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
  return access | O_CLOEXEC;
}

// Runs a hidraw ioctl that transfers a whole report; returns 0 or an errno.
int TransferReport(int fd, unsigned long request, std::uint8_t* data) {
  if (fd < 0) return EBADF;
  int transferred;
  do {
    transferred = ::ioctl(fd, request, data);
  } while (transferred < 0 && errno == EINTR);
  if (transferred < 0) return errno;
  if (static_cast<std::size_t>(transferred) < kFeatureReportSize) return EIO;
  return 0;
}

}  // namespace

std::unique_ptr<HidrawDevice> HidrawDevice::Open(const std::string& devnode, bool read,
                                                 bool write, int& error) {
  error = 0;
  if (!read && !write) {
    // Only the description is wanted, and that comes from sysfs: a node this user cannot open
    // still counts as present.
    struct stat info {};
    if (::stat(devnode.c_str(), &info) != 0) {
      error = errno;
      return nullptr;
    }
    return std::unique_ptr<HidrawDevice>(new HidrawDevice(FileDescriptor{}));
  }

  int fd;
  do {
    fd = ::open(devnode.c_str(), OpenFlags(read, write));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno;
    if (error == EACCES || error == EPERM) ReportNoAccess(devnode, error);
    return nullptr;
  }
  return std::unique_ptr<HidrawDevice>(new HidrawDevice(FileDescriptor{fd}));
}

int HidrawDevice::SetFeature(const FeatureReport& report) {
  // Byte 0 selects the report; anything but report id 0 would reach a different report.
  if (report[0] != 0) return EINVAL;
  FeatureReport buffer = report;
  return TransferReport(fd_.Get(), HIDIOCSFEATURE(kFeatureReportSize), buffer.data());
}

int HidrawDevice::GetFeature(FeatureReport& report) {
  FeatureReport buffer{};
  int error = TransferReport(fd_.Get(), HIDIOCGFEATURE(kFeatureReportSize), buffer.data());
  report = error == 0 ? buffer : FeatureReport{};
  return error;
}

}  // namespace platform
