#pragma once

#include <memory>
#include <string>

#include "platform/HidSystem.h"
#include "platform/linux/FileDescriptor.h"

namespace platform {

// One opened /dev/hidrawN. Feature reports go through the HIDIOCSFEATURE and HIDIOCGFEATURE
// ioctls with report id 0 in byte 0. A device opened for its description only holds no file
// descriptor, and its transfers fail with EBADF.
class HidrawDevice final : public HidDevice {
 public:
  // Opens `devnode` for reading and/or writing, or (neither) only checks that it exists. On
  // failure returns null with `error` set to the errno. A node the user may not open gets one
  // line on standard error per process that says how to grant access.
  static std::unique_ptr<HidrawDevice> Open(const std::string& devnode, bool read, bool write,
                                            int& error);

  // A short transfer counts as EIO.
  int SetFeature(const FeatureReport& report) override;
  int GetFeature(FeatureReport& report) override;

 private:
  explicit HidrawDevice(FileDescriptor fd) : fd_(std::move(fd)) {}

  FileDescriptor fd_;
};

}  // namespace platform
