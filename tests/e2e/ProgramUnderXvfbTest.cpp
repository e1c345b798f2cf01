#include <gtest/gtest.h>
#include <png.h>

// After GoogleTest: Xlib's macros (None, Bool, Status) would clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/XvfbServer.h"

using testsupport::ChildProcess;
using testsupport::FindProgram;
using testsupport::RunProgram;
using testsupport::XvfbServer;

namespace {

constexpr int kDialogWidth = 500;
constexpr int kDialogHeight = 353;
// The action button: 174 x 45 at x 307, 59 pixels above the bottom edge.
constexpr int kButtonCentreX = 307 + 174 / 2;
constexpr int kButtonCentreY = kDialogHeight - 59 + 45 / 2;

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
};

std::optional<Image> ReadPng(const std::string& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return std::nullopt;
  png.format = PNG_FORMAT_BGRA;
  Image image{static_cast<int>(png.width), static_cast<int>(png.height), {}};
  image.pixels.resize(static_cast<std::size_t>(png.width) * png.height);
  if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) return std::nullopt;
  for (std::uint32_t& p : image.pixels) p &= 0x00FFFFFF;
  return image;
}

// The X server as the user sees it: where our dialog is and what it shows.
class XScreen {
 public:
  explicit XScreen(const std::string& display) : x_(XOpenDisplay(display.c_str())) {}
  ~XScreen() {
    if (x_ != nullptr) XCloseDisplay(x_);
  }
  bool IsOpen() const { return x_ != nullptr; }

  // The top-left corner of a mapped window of the dialog's size, in root coordinates.
  std::optional<std::pair<int, int>> FindDialog() {
    return Find(DefaultRootWindow(x_));
  }

  Image Grab(int left, int top, int width, int height) {
    Image image{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    XImage* grabbed = XGetImage(x_, DefaultRootWindow(x_), left, top, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (grabbed == nullptr) return {};
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        image.pixels[static_cast<std::size_t>(y) * width + x] =
            static_cast<std::uint32_t>(XGetPixel(grabbed, x, y)) & 0x00FFFFFF;
      }
    }
    XDestroyImage(grabbed);
    return image;
  }

 private:
  std::optional<std::pair<int, int>> Find(::Window window) {
    ::Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(x_, window, &root, &parent, &children, &count)) return std::nullopt;
    std::optional<std::pair<int, int>> found;
    for (unsigned i = 0; i < count && !found; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(x_, children[i], &a) && a.map_state == IsViewable && a.width == kDialogWidth &&
          a.height == kDialogHeight) {
        int rx = 0, ry = 0;
        ::Window child;
        XTranslateCoordinates(x_, children[i], root, 0, 0, &rx, &ry, &child);
        found = std::make_pair(rx, ry);
      } else {
        found = Find(children[i]);
      }
    }
    if (children != nullptr) XFree(children);
    return found;
  }

  Display* x_;
};

int Differences(const Image& a, const Image& b) {
  if (a.width != b.width || a.height != b.height) return a.width * a.height + 1;
  int differing = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) differing += a.pixels[i] != b.pixels[i];
  return differing;
}

std::string LastPng(const std::string& folder) {
  std::string last;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().string();
    if (name.ends_with(".png") && name > last) last = name;
  }
  return last;
}

// Waits in real time (this is a separate process on a real X server), checking every 100 ms.
template <class Pred>
bool Eventually(Pred ready, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

}  // namespace

TEST(ProgramUnderXvfb, UpgradeNowClickedInARealWindowShowsTheResult) {
  const std::string xvfb = FindProgram("Xvfb");
  const std::string xdotool = FindProgram("xdotool");
  if (xvfb.empty() || xdotool.empty()) GTEST_SKIP() << "Xvfb or xdotool is not installed";

  char name[] = "/tmp/rirud-xvfb-XXXXXX";
  ASSERT_NE(mkdtemp(name), nullptr);
  const std::string folder = name;
  const std::string reference = folder + "/headless", shots = folder + "/window";
  // The keyboard with product id 0074 is found again by polling after its restart.
  const std::string device = "--simulate=keyboard,pid=0074,restart-ms=300";
  const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + folder, "RIRUD_UVARIZA_SETTINGS=" + folder + "/none",
                                        "LC_ALL=", "LANG=C"};

  // The same upgrade headless first: its last screenshot is the result screen as the program
  // draws it, and its report says which result that is.
  const auto headless = RunProgram({RIRUD_PROGRAM, device, "--headless", "--yes", "--screenshots", reference}, env);
  ASSERT_EQ(headless.status, 0) << headless.output;
  ASSERT_NE(headless.output.find("Firmware upgrade was successful!"), std::string::npos) << headless.output;
  const std::optional<Image> resultScreen = ReadPng(LastPng(reference));
  ASSERT_TRUE(resultScreen);

  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start(xvfb, "1280x800x24", error)) << error;
  std::vector<std::string> windowEnv = env;
  windowEnv.push_back("DISPLAY=" + server.Display());
  ChildProcess program;
  ASSERT_TRUE(program.Start({RIRUD_PROGRAM, device, "--screenshots", shots}, windowEnv));

  XScreen screen(server.Display());
  ASSERT_TRUE(screen.IsOpen());
  std::optional<std::pair<int, int>> at;
  ASSERT_TRUE(Eventually([&] { return (at = screen.FindDialog()).has_value(); }, std::chrono::seconds(30)))
      << program.ReadErrors();
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(shots + "/001-upgrade.png"); },
                         std::chrono::seconds(30)));

  const std::string x = std::to_string(at->first + kButtonCentreX), y = std::to_string(at->second + kButtonCentreY);
  const std::vector<std::string> displayEnv = {"DISPLAY=" + server.Display()};
  ASSERT_EQ(RunProgram({xdotool, "mousemove", x, y, "click", "1"}, displayEnv).status, 0);

  // The real window ends up showing exactly the result screen of the headless run.
  Image shown;
  const bool same = Eventually(
      [&] {
        shown = screen.Grab(at->first, at->second, kDialogWidth, kDialogHeight);
        return Differences(shown, *resultScreen) == 0;
      },
      std::chrono::seconds(60));
  EXPECT_TRUE(same) << Differences(shown, *resultScreen) << " pixels differ from the result screen; "
                    << program.ReadErrors();

  // EXIT ends the program.
  ASSERT_EQ(RunProgram({xdotool, "mousemove", x, y, "click", "1"}, displayEnv).status, 0);
  EXPECT_EQ(program.Wait(std::chrono::seconds(30)), 0) << program.ReadErrors();
  std::filesystem::remove_all(folder);
}

// Ctrl+C in the terminal, or SIGTERM from the session, ends the windowed program.
TEST(ProgramUnderXvfb, InterruptEndsTheWindowedProgram) {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  char name[] = "/tmp/rirud-xvfb-XXXXXX";
  ASSERT_NE(mkdtemp(name), nullptr);
  const std::string folder = name;
  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start(xvfb, "1280x800x24", error)) << error;

  for (const int signal : {SIGINT, SIGTERM}) {
    ChildProcess program;
    ASSERT_TRUE(program.Start({RIRUD_PROGRAM, "--simulate"},
                              {"DISPLAY=" + server.Display(), "XDG_RUNTIME_DIR=" + folder, "LANG=C"}));
    XScreen screen(server.Display());
    ASSERT_TRUE(Eventually([&] { return screen.FindDialog().has_value(); }, std::chrono::seconds(30)));
    kill(program.Pid(), signal);
    const std::optional<int> status = program.Wait(std::chrono::seconds(10));
    ASSERT_TRUE(status.has_value()) << "still running after signal " << signal;
    EXPECT_EQ(*status, 128 + signal);
  }
  std::filesystem::remove_all(folder);
}
