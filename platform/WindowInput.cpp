#include <algorithm>
#include <cstdlib>

#include "platform/Display.h"
#include "platform/WindowSystemCore.h"

namespace platform {

using Core = WindowSystem::Core;

namespace {

// The pointer may drift this far (in pixels, either way) while it rests for a hover.
constexpr int kHoverSlack = 2;

// lParam of key messages: repeat count 1, bit 29 with Alt, bits 30 and 31 on release.
LParam KeyLParam(bool down, bool alt) {
  std::uint32_t bits = 1;
  if (alt) bits |= 1u << 29;
  if (!down) bits |= (1u << 30) | (1u << 31);
  return static_cast<LParam>(bits);
}

}  // namespace

// ----------------------------------------------------------------------------------------------
// Core: activation, hit testing, capture, tracking

void Core::Activate(WindowRecord* top) {
  active = top->handle;
  topLevels.erase(std::remove(topLevels.begin(), topLevels.end(), top), topLevels.end());
  topLevels.insert(topLevels.begin(), top);
}

void Core::ChooseNewActive() {
  active = 0;
  for (WindowRecord* top : topLevels) {
    if (top->visible) {
      active = top->handle;
      return;
    }
  }
}

WindowRecord* Core::HitTest(Point screen) const {
  for (WindowRecord* top : topLevels) {
    if (!top->visible || !top->rect.Contains(screen)) continue;
    if (!top->enabled) return nullptr;
    WindowRecord* node = top;
    Point p{screen.x - top->rect.left, screen.y - top->rect.top};
    for (;;) {
      WindowRecord* found = nullptr;
      for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
        WindowRecord* child = *it;
        if (child->visible && child->enabled && child->rect.Contains(p)) {
          found = child;
          break;
        }
      }
      if (!found) return node;
      p = Point{p.x - found->rect.left, p.y - found->rect.top};
      node = found;
    }
  }
  return nullptr;
}

void Core::SetCaptureLocked(std::uint64_t handle) {
  const std::uint64_t previous = capture;
  capture = handle;
  if (previous == 0 || previous == handle) return;
  if (WindowRecord* loser = Find(previous)) {
    Message changed;
    changed.id = WM_CAPTURECHANGED;
    changed.lParam = static_cast<LParam>(handle);
    PostLocked(loser, std::move(changed));
  }
}

void Core::TrackPointer(Point screen) {
  if (tracking.window == 0) return;
  WindowRecord* tracked = Find(tracking.window);
  if (!tracked) {
    tracking = MouseTracking{};
    return;
  }
  WindowRecord* under = pointerInside ? HitTest(screen) : nullptr;
  if (under != tracked) {
    if (tracking.flags & TME_LEAVE) {
      Message leave;
      leave.id = WM_MOUSELEAVE;
      PostLocked(tracked, std::move(leave));
      tracking = MouseTracking{};
    }
    return;
  }
  if ((tracking.flags & TME_HOVER) &&
      (std::abs(screen.x - tracking.anchor.x) > kHoverSlack || std::abs(screen.y - tracking.anchor.y) > kHoverSlack)) {
    tracking.anchor = screen;
    tracking.hoverDeadline = clock.Now() + tracking.hoverTime;
    if (ThreadQueue* queue = OwnerQueue(tracked)) queue->wake.NotifyAll();
  }
}

namespace {

// Posts a mouse message to `target` with the pointer in its client coordinates.
void PostMouse(Core& core, WindowRecord* target, MessageId id, Point screen) {
  const WindowRecord* root = Core::Root(target);
  const Point origin = Core::OriginInRoot(target);
  Message message;
  message.id = id;
  message.wParam = (core.leftDown ? MK_LBUTTON : 0) | (core.rightDown ? MK_RBUTTON : 0);
  message.lParam = PointToLParam(Point{screen.x - root->rect.left - origin.x, screen.y - root->rect.top - origin.y});
  core.PostLocked(target, std::move(message));
}

WindowRecord* MouseTarget(Core& core, Point screen) {
  if (core.capture != 0) {
    if (WindowRecord* captured = core.Find(core.capture)) return captured;
  }
  return core.HitTest(screen);
}

void MoveLocked(Core& core, Point screen) {
  core.pointerInside = true;
  core.pointer = screen;
  if (WindowRecord* target = MouseTarget(core, screen)) PostMouse(core, target, WM_MOUSEMOVE, screen);
  core.TrackPointer(screen);
}

}  // namespace

// ----------------------------------------------------------------------------------------------
// Input from the display

void WindowSystem::InputMouseMove(Point screen) {
  std::lock_guard<std::mutex> lock(core_->mutex);
  MoveLocked(*core_, screen);
}

void WindowSystem::InputMouseButton(MouseButton button, bool down, Point screen) {
  std::uint64_t raise = 0;
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    Core& core = *core_;
    if (!core.pointerInside || !(core.pointer == screen)) MoveLocked(core, screen);
    (button == MouseButton::Left ? core.leftDown : core.rightDown) = down;
    WindowRecord* target = MouseTarget(core, screen);
    if (!target) return;
    const MessageId id = button == MouseButton::Left ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
                                                     : (down ? WM_RBUTTONDOWN : WM_RBUTTONUP);
    PostMouse(core, target, id, screen);
    WindowRecord* top = Core::Root(target);
    if (down && core.active != top->handle) {
      core.Activate(top);
      raise = top->handle;
    }
  }
  if (raise != 0) core_->display.Raise(WindowHandle{raise});
}

void WindowSystem::InputMouseLeave() {
  std::lock_guard<std::mutex> lock(core_->mutex);
  core_->pointerInside = false;
  core_->TrackPointer(core_->pointer);
}

void WindowSystem::InputKey(std::uint32_t virtualKey, bool down, bool alt) {
  std::lock_guard<std::mutex> lock(core_->mutex);
  WindowRecord* target = core_->Find(core_->active);
  if (!target || !target->enabled) return;
  Message message;
  message.id = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  message.wParam = virtualKey;
  message.lParam = KeyLParam(down, alt);
  core_->PostLocked(target, std::move(message));
}

void WindowSystem::InputCloseRequest(WindowHandle topLevel) {
  std::lock_guard<std::mutex> lock(core_->mutex);
  WindowRecord* target = core_->Find(topLevel);
  if (!target) return;
  Message message;
  message.id = WM_SYSCOMMAND;
  message.wParam = SC_CLOSE;
  core_->PostLocked(target, std::move(message));
}

}  // namespace platform
