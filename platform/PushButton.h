#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "platform/Window.h"

namespace platform {

// The standard push button. A left press captures the mouse and shows the button pushed while
// the pointer stays on it; the release ends the capture and, when it happens on the button, sends
// WM_COMMAND (MakeWParam(id, BN_CLICKED), the button's handle value) to the parent. BM_SETSTATE
// pushes or releases it, BM_GETSTATE reports BST_PUSHED, BM_SETSTYLE replaces its style (the
// button type is the low four bits).
//
// Drawing: a BS_OWNERDRAW button calls DrawItem from its paint; any other type draws a plain
// button (grey face, bevelled edge, centred title).
//
// Subclasses that change the behaviour call PushButton::HandleMessage for the standard part
// ("default processing" of a button).
class PushButton : public Window {
 public:
  PushButton() = default;
  ~PushButton() override;

  // Creates the button as a child of `parent`; `style` should include WS_CHILD.
  bool Create(Window& parent, std::u16string_view title, std::uint32_t style, const Rect& rect, int id);

  bool IsPushed() const { return pushed_.load(std::memory_order_relaxed); }

 protected:
  LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override;

  // Draws an owner-drawn button into `canvas` (client coordinates, clipped to the button).
  // `itemState`: ODS_SELECTED while pushed, ODS_DISABLED while disabled.
  virtual void DrawItem(Canvas& canvas, std::uint32_t itemState);

 private:
  void SetPushed(bool pushed);
  void DrawStandard(Canvas& canvas);

  std::atomic<bool> pushed_{false};
  bool pressed_ = false;  // a press began on the button and the capture is held; owner thread only
};

}  // namespace platform
