#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Clock.h"
#include "platform/Graphics.h"
#include "platform/WindowSystem.h"
#include "platform/headless/HeadlessDisplay.h"
#include "ui/controls/SkinModule.h"
#include "ui/dialogs/CBitmapMessageBox.h"

namespace ui_test {

using namespace platform;

// Pixel values (0x00RRGGBB) of the colours the test bitmaps are drawn in.
inline constexpr std::uint32_t kGround = 0x102030;
inline constexpr std::uint32_t kNormalFace = 0xB30033;
inline constexpr std::uint32_t kPressedFace = 0xFF0048;
inline constexpr std::uint32_t kHoverFace = 0xE50040;
inline constexpr std::uint32_t kMagenta = 0xFF00FF;
inline constexpr std::uint32_t kNearMagenta = 0xFE00FF;

// Test bitmap ids, none of which the embedded skin has.
inline constexpr int kBackground400x300 = 9001;
inline constexpr int kNormalId = 9011;
inline constexpr int kPressedId = 9012;
inline constexpr int kHoverId = 9013;
inline constexpr int kMissingId = 9099;
inline constexpr int kButtonWidth = 60;
inline constexpr int kButtonHeight = 20;

inline Bitmap Solid(int width, int height, std::uint32_t pixel) {
  return std::make_shared<const Surface>(width, height, pixel);
}

// A button face: the left 10 columns magenta (see-through), the next 10 near-magenta (drawn),
// the rest in `face`.
inline Bitmap ButtonFace(std::uint32_t face) {
  Surface s(kButtonWidth, kButtonHeight, face);
  s.Fill(Rect{0, 0, 10, kButtonHeight}, kMagenta);
  s.Fill(Rect{10, 0, 20, kButtonHeight}, kNearMagenta);
  return std::make_shared<const Surface>(std::move(s));
}

// The test's own bitmaps, with the embedded skin behind them.
class TestSkin final : public SkinModule {
 public:
  TestSkin() {
    Add(kBackground400x300, Solid(400, 300, kGround));
    Add(kNormalId, ButtonFace(kNormalFace));
    Add(kPressedId, ButtonFace(kPressedFace));
    Add(kHoverId, ButtonFace(kHoverFace));
  }
  void Add(int id, Bitmap bitmap) {
    std::lock_guard<std::mutex> lock(mutex_);
    bitmaps_[id] = std::move(bitmap);
  }
  Bitmap LoadSkinBitmap(int id) const override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = bitmaps_.find(id);
      if (it != bitmaps_.end()) return it->second;
    }
    return EmbeddedSkin().LoadSkinBitmap(id);
  }

 private:
  mutable std::mutex mutex_;
  std::map<int, Bitmap> bitmaps_;
};

// A message box that paints as the upgrade screens do and records the commands it sees. With
// `swallowItemCommands` the button items' commands do not end it.
class PaintedBox : public CBitmapMessageBox {
 public:
  using CBitmapMessageBox::CBitmapMessageBox;
  ~PaintedBox() override { Destroy(); }

  std::atomic<bool> swallowItemCommands{false};
  // Sent to the dialog: runs ResetButtonStates on its thread.
  static constexpr MessageId kResetButtons = WM_APP + 1;

  std::vector<int> Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }

 protected:
  LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override {
    switch (message) {
      case WM_ERASEBKGND:
        EraseWithBackground(CanvasOf(wParam));
        return 1;
      case WM_PAINT:
        PaintTextSlots(CanvasOf(wParam));
        return 0;
      case kResetButtons:
        ResetButtonStates();
        return 0;
      case WM_COMMAND: {
        const int id = static_cast<int>(LowWord(wParam));
        {
          std::lock_guard<std::mutex> lock(mutex_);
          commands_.push_back(id);
        }
        if (swallowItemCommands && id >= kFirstButtonCommand && id < kFirstButtonCommand + kMaxButtons) return 0;
        break;
      }
      default:
        break;
    }
    return CBitmapMessageBox::HandleMessage(message, wParam, lParam);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int> commands_;
};

// A virtual clock, a headless screen and a window system, and a dialog run on a thread of its
// own while the test acts as the user.
class UiTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  HeadlessDisplay display{clock, Rect{0, 0, 1000, 800}};
  WindowSystem system{clock, display};
  TestSkin skin;

  // The skin ids of the message box with kind 3 drawn from the test bitmaps.
  static std::array<int, CBitmapMessageBox::kSkinBitmapCount> SkinIds(int normal = kNormalId,
                                                                        int pressed = kPressedId,
                                                                        int hover = kHoverId) {
    std::array<int, CBitmapMessageBox::kSkinBitmapCount> ids{};
    ids.fill(kMissingId);
    ids[0] = 209;
    ids[1] = 121;
    ids[2] = 656;
    ids[3 + 2 * 3] = normal;
    ids[3 + 2 * 3 + 1] = pressed;
    ids[3 + 2 * 3 + 2] = hover;
    return ids;
  }

  // Runs DoModal of `box` on a dialog thread and waits until the dialog is on the screen.
  void Open() {
    dialogThread = clock.StartThread([this] {
      result = box.DoModal();
      ended = true;
    });
    ASSERT_TRUE(display.WaitUntil(
        [&] { return box.Exists() && display.IsShown(box.Handle()) && display.PresentCount(box.Handle()) > 0; },
        1000));
  }

  // Waits for the dialog to end; false when it is still open after `timeout` ms of clock time.
  bool WaitForEnd(Millis timeout = 1000) {
    return display.WaitUntil([&] { return ended.load(); }, timeout);
  }

  void TearDown() override {
    if (dialogThread.Joinable()) {
      if (!ended) box.EndDialog(-5);
      dialogThread.Join();
    }
  }

  // Client rectangle of a child of the dialog, in the dialog's client coordinates.
  static Point CentreOf(const Window& child) {
    const Rect r = child.WindowRect();
    return Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }

  // A pixel of a button's face away from its caption and its see-through columns.
  static Point FaceOf(const Window& button) {
    const Rect r = button.WindowRect();
    return Point{r.left + 25, r.top + 2};
  }

  std::uint32_t PixelAt(Point client) const {
    const Surface image = display.ImageOf(box.Handle());
    if (client.x < 0 || client.y < 0 || client.x >= image.Width() || client.y >= image.Height()) return 0xFFFFFFFF;
    return image.Pixel(client.x, client.y);
  }

  bool WaitForPixel(Point client, std::uint32_t pixel, Millis timeout = 200) {
    return display.WaitUntil([&] { return PixelAt(client) == pixel; }, timeout);
  }

  PaintedBox box{system};
  Thread dialogThread;
  std::atomic<int> result{-100};
  std::atomic<bool> ended{false};
};

}  // namespace ui_test
