#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Graphics.h"
#include "platform/Window.h"
#include "platform/WindowSystem.h"
#include "platform/sdl/SdlDisplay.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/XvfbServer.h"

extern char** environ;

// SDL's session-bus connection keeps a buffer until the process ends; that is the system
// library's, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

using namespace platform;
using testsupport::FindProgram;

int RunProgram(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr ColorRef kRed = Rgb(255, 0, 0);
constexpr ColorRef kBlue = Rgb(0, 0, 255);

// Left half red, right half blue, a see-through square at the top left.
class PatternWindow : public platform::Window {
 public:
  ~PatternWindow() override { Destroy(); }
  int releases = 0;
  Point lastRelease;
  bool timedOut = false;

 protected:
  LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override {
    switch (message) {
      case WM_PAINT: {
        Canvas& canvas = CanvasOf(wParam);
        const Rect client = ClientRect();
        FillRect(canvas, Rect{0, 0, client.right / 2, client.bottom}, kRed);
        FillRect(canvas, Rect{client.right / 2, 0, client.right, client.bottom}, kBlue);
        FillRect(canvas, Rect{0, 0, 20, 20}, Rgb(255, 0, 255));
        return 0;
      }
      case WM_LBUTTONUP:
        ++releases;
        lastRelease = PointFromLParam(lParam);
        return 0;
      case WM_TIMER:
        timedOut = true;
        return 0;
      default:
        return DefaultProcessing(message, wParam, lParam);
    }
  }
};

std::uint32_t RootPixel(::Display* x, int px, int py) {
  XImage* image = XGetImage(x, DefaultRootWindow(x), px, py, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xFFFFFFFF;
  const unsigned long pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return static_cast<std::uint32_t>(pixel & 0xFFFFFF);
}

TEST(SdlDisplay, ShowsPaintedWindowCentredAndTakesClicks) {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  testsupport::XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start(xvfb, "800x600x24", error)) << error;
  setenv("DISPLAY", server.Display().c_str(), 1);

  RealClock clock;
  SdlDisplay display;
  ASSERT_TRUE(display.Start(&error)) << error;
  EXPECT_EQ(display.ScreenBounds(), (Rect{0, 0, 800, 600}));
  {
    WindowSystem system(clock, display);
    PatternWindow window;
    ASSERT_TRUE(window.CreateTopLevel(system, u"Pattern", u"pattern", WS_POPUP | WS_VISIBLE, Rect{300, 250, 500, 350}));
    system.ProcessPendingMessages();
    ASSERT_TRUE(display.WaitUntilPresented(window.Handle(), 1, 20000));

    ::Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(RootPixel(x, 350, 300), PixelOf(kRed));
    EXPECT_EQ(RootPixel(x, 450, 300), PixelOf(kBlue));
    EXPECT_EQ(RootPixel(x, 499, 349), PixelOf(kBlue));
    EXPECT_EQ(RootPixel(x, 250, 300), 0u);  // the black root outside the window
    // The key-coloured corner is cut out of a shaped window and shows the root behind it.
    EXPECT_EQ(RootPixel(x, 305, 255), display.IsShaped(window.Handle()) ? 0u : 0xFF00FFu);
    XCloseDisplay(x);

    const std::string xdotool = FindProgram("xdotool");
    if (!xdotool.empty()) {
      ASSERT_EQ(RunProgram({xdotool, "mousemove", "--sync", "420", "310", "click", "1"}), 0);
      window.SetTimer(1, 20000);  // gives up instead of hanging
      while (window.releases == 0 && !window.timedOut) {
        Message message;
        ASSERT_TRUE(system.GetMessage(message));
        system.DispatchMessage(message);
      }
      EXPECT_EQ(window.releases, 1);
      EXPECT_EQ(window.lastRelease, (Point{120, 60}));
    }
  }
}

}  // namespace
