// A full paint of the upgrade offer screen, done the way the dialog paints: background bitmap into
// an off-screen surface, the text slots, the action button with its caption and the close button,
// then the whole client area copied to the window's surface.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/Bitmap.h"
#include "platform/Graphics.h"
#include "platform/TextDrawing.h"

namespace platform {
namespace {

constexpr char16_t kFace[] = u"VORLAN DIN Pro-Light";
constexpr ColorRef kRed = 0x4000E5;
constexpr ColorRef kWhite = 0xFFFFFF;

struct Slot {
  std::u16string text;
  Font font;
  int top;
  ColorRef color;
};

struct OfferScreen {
  Bitmap background = LoadBitmap(648);
  Bitmap button = LoadBitmap(662);
  Bitmap close = LoadBitmap(209);
  Font caption = Font::Create(20, 0, kFace);
  Slot slots[4] = {
      {u"\n\nFIRMWARE UPGRADE  6.0.0", Font::Create(30, 300, kFace), 21, kRed},
      {u"Your KORVEX 6.0\r\nis currently on\r\nVersion  5.2.1", Font::Create(20, 300, kFace), 144, kRed},
      // The offer screen leaves this slot empty; the transfer screen's text keeps all four fonts busy.
      {u"Transfer in progress ...", Font::Create(24, 300, kFace), 132, kRed},
      {u"With this upgrade package your product\ncan be updated to the latest firmware. \nOnce the upgrade is "
       u"started, it cannot be cancelled or reversed.\r\nUse at your own Risk.",
       Font::Create(16, 300, kFace), 240, kWhite},
  };

  void Paint(Surface& window, Surface& offscreen) const {
    const Canvas memory = Canvas::Whole(offscreen);
    const Rect client = offscreen.Bounds();
    Copy(memory, 0, 0, client.Width(), client.Height(), *LoadBitmap(648), 0, 0);
    for (const Slot& slot : slots) {
      DrawText(memory, slot.text, {client.left + 25, client.top + slot.top, client.right, client.bottom}, 0,
               slot.font, slot.color);
    }
    const Rect buttonRect{307, client.bottom - 59, 307 + button->Width(), client.bottom - 59 + button->Height()};
    const Canvas buttonCanvas = memory.Sub(buttonRect);
    CopyColorKeyed(buttonCanvas, 0, 0, button->Width(), button->Height(), *button, 0, 0, button->Width(),
                   button->Height());
    DrawText(buttonCanvas, u"UPGRADE NOW", {0, 0, button->Width(), button->Height()},
             DT_CENTER | DT_VCENTER | DT_SINGLELINE, caption, kWhite);
    CopyColorKeyed(memory, client.right - 28, 5, close->Width(), close->Height(), *close, 0, 0, close->Width(),
                   close->Height());
    Copy(Canvas::Whole(window), 0, 0, client.Width(), client.Height(), offscreen, 0, 0);
  }
};

void BM_PaintOfferScreen(benchmark::State& state) {
  const OfferScreen screen;
  if (!screen.background || !screen.button || !screen.close) {
    state.SkipWithError("skin bitmaps are not embedded");
    return;
  }
  Surface window(500, 353);
  Surface offscreen(500, 353);
  screen.Paint(window, offscreen);  // glyphs are rendered once, as after the dialog's first paint
  for (auto _ : state) {
    screen.Paint(window, offscreen);
    benchmark::DoNotOptimize(window.Pixels().data());
  }
}
BENCHMARK(BM_PaintOfferScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace platform

BENCHMARK_MAIN();
