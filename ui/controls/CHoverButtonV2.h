#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Bitmap.h"
#include "platform/Font.h"
#include "platform/Geometry.h"
#include "platform/PushButton.h"
#include "platform/Surface.h"
#include "ui/controls/SkinModule.h"

// The skinned push button of the skinned dialogs: an owner-drawn button that paints one whole
// bitmap per state (normal, hover, pressed or latched, disabled) with an optional one-line
// caption on top, and follows the pointer in and out.
//
// The owner creates it with Create(parent, u"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, rect, id),
// then calls LoadStateBitmaps (which sizes it to its normal bitmap), SetCaption and
// SetCaptionStyle, and sets `latchMode` and `latched` followed by Invalidate(true). Clicks reach
// the parent as WM_COMMAND (id, BN_CLICKED) from the standard push-button behaviour.
//
// Pixels of exactly RGB(255, 0, 255) in a state bitmap show what lay under the button when it was
// first painted (its background is cached once, at that paint).
//
// Threads: used on the thread that runs its dialog, except that the caption, `latchMode` and
// `latched` may be read or written from any thread.
class CHoverButtonV2 : public platform::PushButton {
 public:
  CHoverButtonV2();
  ~CHoverButtonV2() override;

  // Loads the state bitmaps from `module` and sizes the button to the normal one (keeping its
  // position). Defaults: hover -1 -> normal; disabled -1 -> normal; disabledLatched -1 ->
  // disabled; latchedHover -1 -> hover, and a latched button under the pointer then shows the
  // pressed bitmap; pressed 0 -> normal and the button cannot be clicked; hover 0 -> normal and
  // the pointer never changes the image. The mask is loaded only when its id is not -1. A bitmap
  // that does not load leaves its slot as it was. Without a normal bitmap the button becomes
  // 0 x 0 pixels: never painted, never clicked. Always returns true.
  bool LoadStateBitmaps(int normal, int pressed, int hover, int disabled, int mask, int disabledLatched,
                        int latchedHover, const SkinModule& module = EmbeddedSkin());

  // Replaces the caption (empty: no text). Does not repaint; the owner invalidates.
  void SetCaption(std::u16string_view text);
  std::u16string Caption() const;

  // Caption font and colours for the normal, pressed/latched, hover and disabled state. Bold
  // gives weight 700, otherwise the face's normal weight. Our fonts have no italic, underline
  // or strike-out variants; those requests are accepted and not drawn. Does not repaint.
  void SetCaptionStyle(int height, std::u16string_view face, platform::ColorRef colorNormal,
                       platform::ColorRef colorPressed, platform::ColorRef colorHover,
                       platform::ColorRef colorDisabled, bool bold, bool italic, bool underline,
                       bool strikeOut);

  // What the button draws now, by the rules of DrawItem. For tests and screen descriptions.
  enum StateImage { kNormal, kPressed, kHover, kDisabled, kMask, kDisabledLatched, kLatchedHover };
  StateImage CurrentImage() const;

  int ImageWidth() const { return imageWidth; }
  int ImageHeight() const { return imageHeight; }
  bool IsMouseOver() const { return mouseOver; }
  bool IsClickable() const { return clickable; }
  bool IsHoverEnabled() const { return hoverEnabled; }

  // 1: the image follows `latched` (every button of the skinned dialogs draws this way);
  // 0: it follows the pushed state of the standard button. Owners invalidate after a change.
  std::atomic<int> latchMode{0};
  // Flipped by a release on the button in latched mode; cleared again by the owner.
  std::atomic<int> latched{0};

 protected:
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                  platform::LParam lParam) override;
  void DrawItem(platform::Canvas& canvas, std::uint32_t itemState) override;

 private:
  struct Choice {
    StateImage image;
    int colorIndex;  // into captionColors
  };
  Choice ChooseState(std::uint32_t itemState) const;
  bool HitsButton(platform::Point client) const;
  void CacheBackground(const platform::Canvas& canvas);
  void OnRelease(platform::Point client);

  // Written at loading on the dialog's thread; atomics so that tests and screen descriptions may
  // read them from elsewhere.
  std::atomic<int> imageWidth{0};
  std::atomic<int> imageHeight{0};
  std::array<platform::Bitmap, 7> stateBitmaps;  // indexed by StateImage
  platform::ColorRef maskColor = platform::Rgb(0, 255, 0);
  platform::Rect loadRect;
  std::atomic<bool> mouseOver{false};  // read by CurrentImage from any thread
  std::atomic<bool> hoverEnabled{true};
  std::atomic<bool> clickable{true};
  bool tracking = false;
  bool hasLatchedHover = true;

  int fontHeight = 16;
  std::u16string fontFace;
  std::array<platform::ColorRef, 4> captionColors{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
  platform::Font captionFont;  // null until SetCaptionStyle: the default font

  mutable std::mutex captionMutex;
  std::u16string captionText;

  std::optional<platform::Surface> backgroundCache;
};
