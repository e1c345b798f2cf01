#include "ui/controls/CHoverButtonV2.h"

#include <algorithm>

#include "localization/TranslationSettings.h"
#include "platform/Graphics.h"
#include "platform/TextDrawing.h"

using namespace platform;

namespace {

// Hover shows as soon as the pointer stops on the button.
constexpr Millis kHoverTime = 1;

constexpr int kColorNormal = 0;
constexpr int kColorPressed = 1;
constexpr int kColorHover = 2;
constexpr int kColorDisabled = 3;

}  // namespace

CHoverButtonV2::CHoverButtonV2() : fontFace(UiFontFace) {}

CHoverButtonV2::~CHoverButtonV2() { Destroy(); }

bool CHoverButtonV2::LoadStateBitmaps(int normal, int pressed, int hover, int disabled, int mask,
                                      int disabledLatched, int latchedHover, const SkinModule& module) {
  loadRect = ClientRect();

  if (hover == -1) hover = normal;
  if (disabled == -1) disabled = normal;
  if (disabledLatched == -1) disabledLatched = disabled;
  if (latchedHover == -1) {
    latchedHover = hover;
    hasLatchedHover = false;
  }
  if (pressed == 0) {
    pressed = normal;
    clickable = false;
  }
  if (hover == 0) {
    hover = normal;
    hoverEnabled = false;
  }

  const auto load = [&](StateImage slot, int id) {
    if (Bitmap bitmap = module.LoadSkinBitmap(id)) stateBitmaps[slot] = std::move(bitmap);
  };
  load(kNormal, normal);
  load(kPressed, pressed);
  load(kHover, hover);
  load(kDisabled, disabled);
  load(kLatchedHover, latchedHover);
  load(kDisabledLatched, disabledLatched);
  if (mask != -1) load(kMask, mask);

  const Bitmap& image = stateBitmaps[kNormal];
  imageWidth = image ? image->Width() : 0;
  imageHeight = image ? image->Height() : 0;
  SetPosition(0, 0, imageWidth, imageHeight, SWP_NOMOVE | SWP_NOOWNERZORDER);
  return true;
}

void CHoverButtonV2::SetCaption(std::u16string_view text) {
  std::lock_guard<std::mutex> lock(captionMutex);
  captionText = text;
}

std::u16string CHoverButtonV2::Caption() const {
  std::lock_guard<std::mutex> lock(captionMutex);
  return captionText;
}

void CHoverButtonV2::SetCaptionStyle(int height, std::u16string_view face, ColorRef colorNormal,
                                     ColorRef colorPressed, ColorRef colorHover, ColorRef colorDisabled, bool bold,
                                     bool /*italic*/, bool /*underline*/, bool /*strikeOut*/) {
  fontHeight = height;
  fontFace = face;
  captionColors = {colorNormal, colorPressed, colorHover, colorDisabled};
  captionFont = Font::Create(fontHeight, bold ? 700 : 0, fontFace);
}

CHoverButtonV2::Choice CHoverButtonV2::ChooseState(std::uint32_t itemState) const {
  const bool disabled = !IsEnabled();
  if (latchMode.load() == 1) {
    const bool isLatched = latched.load() == 1;
    if (disabled) return {isLatched ? kDisabledLatched : kDisabled, kColorDisabled};
    if (isLatched && mouseOver) {
      if (hasLatchedHover) return {kLatchedHover, kColorHover};
      return {kPressed, kColorPressed};
    }
    if (isLatched) return {kPressed, kColorPressed};
    if (mouseOver) return {kHover, kColorHover};
    return {kNormal, kColorNormal};
  }
  if (disabled) return {kDisabled, kColorDisabled};
  if (itemState != 0) return {kPressed, kColorPressed};
  if (mouseOver) return {kHover, kColorHover};
  return {kNormal, kColorNormal};
}

CHoverButtonV2::StateImage CHoverButtonV2::CurrentImage() const {
  return ChooseState(IsPushed() ? ODS_SELECTED : 0).image;
}

void CHoverButtonV2::CacheBackground(const Canvas& canvas) {
  // At the first paint the parent has just painted under the button: keep those pixels, so that
  // the see-through parts of every later image show the parent as it was then.
  const Rect client = ClientRect();
  Surface cache(client.Width(), client.Height());
  const Rect inSurface = client.Offset(canvas.origin.x, canvas.origin.y).Intersect(canvas.surface->Bounds());
  for (int y = inSurface.top; y < inSurface.bottom; ++y) {
    for (int x = inSurface.left; x < inSurface.right; ++x) {
      cache.SetPixel(x - canvas.origin.x, y - canvas.origin.y, canvas.surface->Pixel(x, y));
    }
  }
  backgroundCache = std::move(cache);
}

void CHoverButtonV2::DrawItem(Canvas& canvas, std::uint32_t itemState) {
  if (imageWidth == 0 || imageHeight == 0) {
    // Nothing to show: fall back to a standard button (which a 0 x 0 button never paints).
    PushButton::HandleMessage(BM_SETSTYLE, Style() & 0xFFF4u, 1);
    return;
  }
  if (canvas.surface == nullptr) return;
  const Choice choice = ChooseState(itemState);
  const Rect client = ClientRect();

  if (!backgroundCache) CacheBackground(canvas);
  Copy(canvas, 0, 0, client.Width(), client.Height(), *backgroundCache, 0, 0);
  if (const Bitmap& image = stateBitmaps[choice.image]) {
    CopyColorKeyed(canvas, 0, 0, imageWidth, imageHeight, *image, 0, 0, imageWidth, imageHeight, kTransparentColor);
  }

  const std::u16string caption = Caption();
  if (!caption.empty()) {
    DrawText(canvas, caption, client, DT_CENTER | DT_VCENTER | DT_SINGLELINE, captionFont,
             captionColors[choice.colorIndex]);
  }
}

bool CHoverButtonV2::HitsButton(Point client) const {
  if (const Bitmap& mask = stateBitmaps[kMask]) {
    const int x = client.x - loadRect.left;
    const int y = client.y - loadRect.top;
    if (x < 0 || y < 0 || x >= mask->Width() || y >= mask->Height()) return false;
    return mask->Pixel(x, y) == PixelOf(maskColor);
  }
  return ClientRect().Contains(client);
}

void CHoverButtonV2::OnRelease(Point client) {
  if (latchMode.load() != 1 || !HitsButton(client)) return;
  latched.store(latched.load() == 0 ? 1 : 0);
  Invalidate(true);
}

LResult CHoverButtonV2::HandleMessage(MessageId message, WParam wParam, LParam lParam) {
  switch (message) {
    case WM_MOUSEMOVE:
      if (!tracking) tracking = TrackMouseEvent(TME_HOVER | TME_LEAVE, kHoverTime);
      return PushButton::HandleMessage(message, wParam, lParam);
    case WM_MOUSEHOVER:
      if (hoverEnabled) {
        mouseOver = true;
        Invalidate(true);
      }
      return 0;
    case WM_MOUSELEAVE:
      tracking = false;
      if (hoverEnabled) {
        mouseOver = false;
        Invalidate(true);
      }
      return 0;
    case WM_LBUTTONDOWN:
      if (!clickable) return 0;
      return PushButton::HandleMessage(message, wParam, lParam);
    case WM_LBUTTONUP:
      if (!clickable) return 0;
      OnRelease(PointFromLParam(lParam));
      return PushButton::HandleMessage(message, wParam, lParam);
    case WM_ERASEBKGND:
      return 1;  // the paint covers the whole button
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return 0;
    default:
      return PushButton::HandleMessage(message, wParam, lParam);
  }
}
