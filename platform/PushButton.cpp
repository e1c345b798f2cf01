#include "platform/PushButton.h"

#include "platform/Font.h"
#include "platform/Graphics.h"
#include "platform/TextDrawing.h"
#include "platform/WindowSystem.h"

namespace platform {

namespace {

constexpr ColorRef kFaceColor = Rgb(225, 225, 225);
constexpr ColorRef kPushedFaceColor = Rgb(204, 228, 247);
constexpr ColorRef kEdgeColor = Rgb(173, 173, 173);
constexpr ColorRef kTextColor = Rgb(0, 0, 0);
constexpr ColorRef kDisabledTextColor = Rgb(131, 131, 131);

}  // namespace

PushButton::~PushButton() { Destroy(); }

bool PushButton::Create(Window& parent, std::u16string_view title, std::uint32_t style, const Rect& rect, int id) {
  return CreateChild(parent, u"Button", title, style, rect, id);
}

void PushButton::SetPushed(bool pushed) {
  if (pushed_.exchange(pushed) != pushed) Invalidate(true);
}

LResult PushButton::HandleMessage(MessageId message, WParam wParam, LParam lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
      pressed_ = true;
      SetCapture();
      SetPushed(true);
      return 0;
    case WM_MOUSEMOVE:
      if (pressed_ && HasCapture()) SetPushed(ClientRect().Contains(PointFromLParam(lParam)));
      return 0;
    case WM_LBUTTONUP: {
      if (!pressed_) return 0;
      pressed_ = false;
      const bool inside = ClientRect().Contains(PointFromLParam(lParam));
      if (HasCapture()) System()->ReleaseCapture();
      SetPushed(false);
      if (inside) {
        if (WindowSystem* system = System()) {
          system->SendMessage(Parent(), WM_COMMAND, MakeWParam(static_cast<std::uint32_t>(Id()), BN_CLICKED),
                              static_cast<LParam>(Handle().value));
        }
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (pressed_) {
        pressed_ = false;
        SetPushed(false);
      }
      return 0;
    case BM_SETSTATE:
      SetPushed(wParam != 0);
      return 0;
    case BM_GETSTATE:
      return IsPushed() ? BST_PUSHED : 0;
    case BM_SETSTYLE:
      SetStyle((Style() & ~0xFFFFu) | (static_cast<std::uint32_t>(wParam) & 0xFFFFu));
      if (lParam != 0) Invalidate(true);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers the whole button
    case WM_PAINT: {
      Canvas& canvas = CanvasOf(wParam);
      if ((Style() & BS_TYPEMASK) == BS_OWNERDRAW) {
        std::uint32_t state = 0;
        if (IsPushed()) state |= ODS_SELECTED;
        if (!IsEnabled()) state |= ODS_DISABLED;
        DrawItem(canvas, state);
      } else {
        DrawStandard(canvas);
      }
      return 0;
    }
    default:
      return DefaultProcessing(message, wParam, lParam);
  }
}

void PushButton::DrawItem(Canvas&, std::uint32_t) {}

void PushButton::DrawStandard(Canvas& canvas) {
  const Rect client = ClientRect();
  if (client.IsEmpty()) return;
  const bool pushed = IsPushed();
  FillRect(canvas, client, kEdgeColor);
  FillRect(canvas, Rect{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1},
           pushed ? kPushedFaceColor : kFaceColor);
  const std::u16string title = Title();
  if (title.empty()) return;
  Rect textRect = client;
  if (pushed) textRect = textRect.Offset(1, 1);
  DrawText(canvas, title, textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE, Font{},
           IsEnabled() ? kTextColor : kDisabledTextColor);
}

}  // namespace platform
