#include "platform/Window.h"

#include <algorithm>
#include <functional>

#include "platform/Display.h"
#include "platform/WindowSystem.h"
#include "platform/WindowSystemCore.h"

namespace platform {

namespace {

constexpr Millis kMinimumTimerInterval = 10;
constexpr Millis kDefaultHoverTime = 400;

using Core = WindowSystem::Core;

// Runs `body` with the core locked and the window's record, or returns `fallback` when the
// window does not exist.
template <class Result, class Body>
Result WithRecord(const Window& window, Result fallback, Body body) {
  WindowSystem* system = window.System();
  if (!system || !window.Exists()) return fallback;
  Core& core = WindowSystemAccess::CoreOf(*system);
  std::lock_guard<std::mutex> lock(core.mutex);
  WindowRecord* record = core.Find(window.Handle());
  if (!record) return fallback;
  return body(core, *record);
}

}  // namespace

Window::~Window() { Destroy(); }

// ----------------------------------------------------------------------------------------------
// Creation and destruction

bool Window::CreateTopLevel(WindowSystem& system, std::u16string_view className, std::u16string_view title,
                            std::uint32_t style, const Rect& screenRect) {
  if (Exists()) return false;
  Core& core = WindowSystemAccess::CoreOf(system);
  {
    std::lock_guard<std::mutex> lock(core.mutex);
    auto record = std::make_unique<WindowRecord>();
    record->handle = core.nextHandle++;
    record->object = this;
    record->owner = core.CallerQueue();
    record->className = className;
    record->title = title;
    record->style = style & ~(WS_VISIBLE | WS_DISABLED);
    record->rect = screenRect;
    record->enabled = (style & WS_DISABLED) == 0;
    record->surface = std::make_shared<Surface>();
    core.topLevels.insert(core.topLevels.begin(), record.get());
    system_.store(&system, std::memory_order_release);
    handle_.store(record->handle, std::memory_order_release);
    core.records.emplace(record->handle, std::move(record));
  }
  if (style & WS_VISIBLE) ShowWindow(SW_SHOW);
  return true;
}

bool Window::CreateChild(Window& parent, std::u16string_view className, std::u16string_view title,
                         std::uint32_t style, const Rect& rect, int id) {
  WindowSystem* system = parent.System();
  if (!system || Exists()) return false;
  Core& core = WindowSystemAccess::CoreOf(*system);
  std::lock_guard<std::mutex> lock(core.mutex);
  WindowRecord* parentRecord = core.Find(parent.Handle());
  if (!parentRecord) return false;
  auto record = std::make_unique<WindowRecord>();
  record->handle = core.nextHandle++;
  record->object = this;
  record->parent = parentRecord;
  record->className = className;
  record->title = title;
  record->style = style & ~(WS_VISIBLE | WS_DISABLED);
  record->id = id;
  record->rect = rect;
  record->visible = (style & WS_VISIBLE) != 0;
  record->enabled = (style & WS_DISABLED) == 0;
  parentRecord->children.push_back(record.get());
  WindowRecord* created = record.get();
  system_.store(system, std::memory_order_release);
  handle_.store(record->handle, std::memory_order_release);
  core.records.emplace(record->handle, std::move(record));
  if (Core::IsSeen(created)) core.Invalidate(created, created->ClientBounds(), true);
  return true;
}

void Window::Destroy() {
  WindowSystem* system = System();
  const std::uint64_t handle = handle_.load(std::memory_order_acquire);
  if (!system || handle == 0) return;
  Core& core = WindowSystemAccess::CoreOf(*system);
  core.RunOnOwner(handle, [&core, handle] {
    core.DestroyTree(handle);
    return LResult{0};
  });
}

void Core::DestroyTree(std::uint64_t handle) {
  std::vector<std::pair<std::uint64_t, Window*>> doomed;  // parent before children
  {
    std::lock_guard<std::mutex> lock(mutex);
    WindowRecord* record = Find(handle);
    if (!record) return;
    std::function<void(WindowRecord*)> collect = [&](WindowRecord* r) {
      doomed.emplace_back(r->handle, r->object);
      for (WindowRecord* child : r->children) collect(child);
    };
    collect(record);
  }
  for (const auto& [h, object] : doomed) {
    bool exists;
    {
      std::lock_guard<std::mutex> lock(mutex);
      exists = Find(h) != nullptr;
    }
    if (exists) object->HandleMessage(WM_DESTROY, 0, 0);
  }

  bool wasTopLevel = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    WindowRecord* record = Find(handle);
    if (!record) return;  // a WM_DESTROY handler destroyed it already
    wasTopLevel = record->parent == nullptr;
    if (!wasTopLevel && IsSeen(record)) InvalidateBehind(record);
    std::function<void(WindowRecord*)> forget = [&](WindowRecord* r) {
      while (!r->children.empty()) forget(r->children.back());
      Forget(r);
    };
    forget(record);
  }
  if (wasTopLevel) display.TopLevelDestroyed(WindowHandle{handle});
}

void Core::Forget(WindowRecord* record) {
  const std::uint64_t handle = record->handle;
  if (ThreadQueue* queue = OwnerQueue(record)) {
    auto& timers = queue->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [handle](const Timer& t) { return t.window == handle; }),
                 timers.end());
    auto& posted = queue->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [handle](const Message& m) { return m.window.value == handle; }),
                 posted.end());
  }
  if (capture == handle) capture = 0;
  if (tracking.window == handle) tracking = MouseTracking{};
  if (record->parent) {
    auto& siblings = record->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), record), siblings.end());
  } else {
    topLevels.erase(std::remove(topLevels.begin(), topLevels.end(), record), topLevels.end());
    if (active == handle) ChooseNewActive();
  }
  if (record->object) record->object->handle_.store(0, std::memory_order_release);
  records.erase(handle);
}

// ----------------------------------------------------------------------------------------------
// Attributes

WindowHandle Window::Parent() const {
  return WithRecord(*this, WindowHandle{}, [](Core&, WindowRecord& r) {
    return r.parent ? WindowHandle{r.parent->handle} : WindowHandle{};
  });
}

int Window::Id() const {
  return WithRecord(*this, 0, [](Core&, WindowRecord& r) { return r.id; });
}

std::u16string Window::ClassName() const {
  return WithRecord(*this, std::u16string{}, [](Core&, WindowRecord& r) { return r.className; });
}

std::u16string Window::Title() const {
  return WithRecord(*this, std::u16string{}, [](Core&, WindowRecord& r) { return r.title; });
}

void Window::SetTitle(std::u16string_view title) {
  WithRecord(*this, 0, [title](Core&, WindowRecord& r) {
    r.title = title;
    return 0;
  });
}

std::uint32_t Window::Style() const {
  return WithRecord(*this, std::uint32_t{0}, [](Core&, WindowRecord& r) {
    return r.style | (r.visible ? WS_VISIBLE : 0) | (r.enabled ? 0 : WS_DISABLED);
  });
}

void Window::SetStyle(std::uint32_t style) {
  WithRecord(*this, 0, [style](Core&, WindowRecord& r) {
    r.style = style & ~(WS_VISIBLE | WS_DISABLED);
    return 0;
  });
}

Rect Window::WindowRect() const {
  return WithRecord(*this, Rect{}, [](Core&, WindowRecord& r) { return r.rect; });
}

Rect Window::ClientRect() const {
  return WithRecord(*this, Rect{}, [](Core&, WindowRecord& r) { return r.ClientBounds(); });
}

Rect Window::ScreenRect() const {
  return WithRecord(*this, Rect{}, [](Core&, WindowRecord& r) {
    const WindowRecord* root = Core::Root(&r);
    return Core::RectInRoot(&r).Offset(root->rect.left, root->rect.top);
  });
}

Point Window::ClientToScreen(Point p) const {
  const Rect screen = ScreenRect();
  return Point{p.x + screen.left, p.y + screen.top};
}

Point Window::ScreenToClient(Point p) const {
  const Rect screen = ScreenRect();
  return Point{p.x - screen.left, p.y - screen.top};
}

bool Window::IsVisible() const {
  return WithRecord(*this, false, [](Core&, WindowRecord& r) { return Core::IsSeen(&r); });
}

bool Window::IsEnabled() const {
  return WithRecord(*this, false, [](Core&, WindowRecord& r) { return r.enabled; });
}

Rect Window::UpdateRect() const {
  return WithRecord(*this, Rect{}, [](Core&, WindowRecord& r) { return r.invalid; });
}

// ----------------------------------------------------------------------------------------------
// Visibility, state and position

void Window::ShowWindow(int command) {
  const bool show = command != SW_HIDE;
  enum class Tell { Nothing, Shown, Hidden } tell = Tell::Nothing;
  Rect rect;
  std::u16string title;
  WithRecord(*this, 0, [&](Core& core, WindowRecord& r) {
    if (r.visible == show) return 0;
    if (!r.parent) {
      r.visible = show;
      if (show) {
        core.Invalidate(&r, r.ClientBounds(), true);
        core.Activate(&r);
      } else if (core.active == r.handle) {
        core.ChooseNewActive();
      }
      tell = show ? Tell::Shown : Tell::Hidden;
      rect = r.rect;
      title = r.title;
      return 0;
    }
    if (!show && Core::IsSeen(&r)) core.InvalidateBehind(&r);
    r.visible = show;
    if (show && Core::IsSeen(&r)) core.Invalidate(&r, r.ClientBounds(), true);
    return 0;
  });
  if (tell == Tell::Shown) System()->GetDisplay().TopLevelShown(Handle(), rect, title);
  if (tell == Tell::Hidden) System()->GetDisplay().TopLevelHidden(Handle());
}

void Window::Enable(bool enable) {
  WithRecord(*this, 0, [enable](Core& core, WindowRecord& r) {
    if (r.enabled == enable) return 0;
    r.enabled = enable;
    if (Core::IsSeen(&r)) core.Invalidate(&r, r.ClientBounds(), true);
    return 0;
  });
}

void Window::SetPosition(int x, int y, int width, int height, std::uint32_t flags) {
  bool topLevelMoved = false;
  Rect screenRect;
  WithRecord(*this, 0, [&](Core& core, WindowRecord& r) {
    Rect next = r.rect;
    if (!(flags & SWP_NOMOVE)) next = Rect{x, y, x + r.rect.Width(), y + r.rect.Height()};
    if (!(flags & SWP_NOSIZE)) next.right = next.left + std::max(width, 0), next.bottom = next.top + std::max(height, 0);
    const bool toTop = (flags & SWP_NOZORDER) == 0;
    if (!r.parent) {
      const bool resized = next.Width() != r.rect.Width() || next.Height() != r.rect.Height();
      topLevelMoved = next != r.rect && r.visible;
      r.rect = next;
      screenRect = next;
      if (resized && r.visible) core.Invalidate(&r, r.ClientBounds(), true);
      if (toTop) {
        auto& tops = core.topLevels;
        tops.erase(std::remove(tops.begin(), tops.end(), &r), tops.end());
        tops.insert(tops.begin(), &r);
      }
      return 0;
    }
    const bool seen = Core::IsSeen(&r);
    if (seen && next != r.rect) core.InvalidateBehind(&r);
    r.rect = next;
    if (toTop) {
      auto& siblings = r.parent->children;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), &r), siblings.end());
      siblings.push_back(&r);
    }
    if (seen) core.Invalidate(&r, r.ClientBounds(), true);
    return 0;
  });
  if (topLevelMoved) System()->GetDisplay().TopLevelMoved(Handle(), screenRect);
  if (flags & SWP_SHOWWINDOW) ShowWindow(SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(SW_HIDE);
}

void Window::BringToFront() {
  if (WindowSystem* system = System()) system->BringToFront(Handle());
}

// ----------------------------------------------------------------------------------------------
// Painting

void Window::Invalidate(bool erase) {
  WithRecord(*this, 0, [erase](Core& core, WindowRecord& r) {
    core.Invalidate(&r, r.ClientBounds(), erase);
    return 0;
  });
}

void Window::InvalidateRect(const Rect& rect, bool erase) {
  WithRecord(*this, 0, [&rect, erase](Core& core, WindowRecord& r) {
    core.Invalidate(&r, rect, erase);
    return 0;
  });
}

void Window::Update() {
  WindowSystem* system = System();
  const std::uint64_t handle = handle_.load(std::memory_order_acquire);
  if (!system || handle == 0) return;
  Core& core = WindowSystemAccess::CoreOf(*system);
  core.RunOnOwner(handle, [&core, handle] {
    std::uint64_t root = 0;
    {
      std::lock_guard<std::mutex> lock(core.mutex);
      WindowRecord* record = core.Find(handle);
      if (!record || !Core::Root(record)->needsPaint) return LResult{0};
      root = Core::Root(record)->handle;
    }
    core.PaintTree(root);
    return LResult{0};
  });
}

// ----------------------------------------------------------------------------------------------
// Messages and timers

LResult Window::Send(MessageId message, WParam wParam, LParam lParam) {
  WindowSystem* system = System();
  return system ? system->SendMessage(Handle(), message, wParam, lParam) : 0;
}

bool Window::Post(MessageId message, WParam wParam, LParam lParam) {
  WindowSystem* system = System();
  return system && system->PostMessage(Handle(), message, wParam, lParam);
}

std::uintptr_t Window::SetTimer(std::uintptr_t id, Millis interval) {
  if (id == 0) return 0;
  return WithRecord(*this, std::uintptr_t{0}, [id, interval](Core& core, WindowRecord& r) -> std::uintptr_t {
    ThreadQueue* queue = core.OwnerQueue(&r);
    if (!queue) return 0;
    auto& timers = queue->timers;
    const std::uint64_t handle = r.handle;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.window == handle && t.id == id; }),
                 timers.end());
    Timer timer;
    timer.window = handle;
    timer.id = id;
    timer.interval = std::max(interval, kMinimumTimerInterval);
    timer.deadline = core.clock.Now() + timer.interval;
    timer.order = core.nextTimerOrder++;
    timers.push_back(timer);
    queue->wake.NotifyAll();
    return id;
  });
}

bool Window::KillTimer(std::uintptr_t id) {
  return WithRecord(*this, false, [id](Core& core, WindowRecord& r) {
    ThreadQueue* queue = core.OwnerQueue(&r);
    if (!queue) return false;
    auto& timers = queue->timers;
    const std::uint64_t handle = r.handle;
    const auto end = std::remove_if(timers.begin(), timers.end(),
                                    [&](const Timer& t) { return t.window == handle && t.id == id; });
    const bool found = end != timers.end();
    timers.erase(end, timers.end());
    return found;
  });
}

// ----------------------------------------------------------------------------------------------
// Mouse

void Window::SetCapture() {
  WithRecord(*this, 0, [](Core& core, WindowRecord& r) {
    core.SetCaptureLocked(r.handle);
    return 0;
  });
}

bool Window::HasCapture() const {
  return WithRecord(*this, false, [](Core& core, WindowRecord& r) { return core.capture == r.handle; });
}

bool Window::TrackMouseEvent(std::uint32_t flags, Millis hoverTime) {
  return WithRecord(*this, false, [flags, hoverTime](Core& core, WindowRecord& r) {
    MouseTracking& tracking = core.tracking;
    const std::uint32_t kinds = flags & (TME_HOVER | TME_LEAVE);
    if (flags & TME_CANCEL) {
      if (tracking.window == r.handle) {
        tracking.flags &= ~kinds;
        if (tracking.flags == 0) tracking = MouseTracking{};
      }
      return true;
    }
    if (tracking.window != r.handle) tracking = MouseTracking{};
    tracking.window = r.handle;
    const bool over = core.pointerInside && core.HitTest(core.pointer) == &r;
    if ((kinds & TME_LEAVE) && !over) {
      Message leave;
      leave.id = WM_MOUSELEAVE;
      core.PostLocked(&r, std::move(leave));
      tracking = MouseTracking{};
      return true;
    }
    tracking.flags |= kinds;
    if (kinds & TME_HOVER) {
      tracking.hoverTime = hoverTime < 0 ? kDefaultHoverTime : hoverTime;
      tracking.hoverDeadline = core.clock.Now() + tracking.hoverTime;
      tracking.anchor = core.pointer;
      if (ThreadQueue* queue = core.OwnerQueue(&r)) queue->wake.NotifyAll();
    }
    if (tracking.flags == 0) tracking = MouseTracking{};
    return true;
  });
}

// ----------------------------------------------------------------------------------------------
// Handlers

LResult Window::HandleMessage(MessageId message, WParam wParam, LParam lParam) {
  return DefaultProcessing(message, wParam, lParam);
}

LResult Window::DefaultProcessing(MessageId message, WParam wParam, LParam lParam) {
  (void)lParam;
  switch (message) {
    case WM_SETREDRAW:
      WithRecord(*this, 0, [wParam](Core& core, WindowRecord& r) {
        r.redraw = wParam != 0;
        if (r.redraw) {
          WindowRecord* root = Core::Root(&r);
          root->needsPaint = true;  // paint what stayed invalid while painting was off
          if (ThreadQueue* queue = core.OwnerQueue(root)) queue->wake.NotifyAll();
        }
        return 0;
      });
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4) Post(WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) Send(WM_CLOSE);
      return 0;
    case WM_CLOSE:
      Destroy();
      return 0;
    default:
      return 0;
  }
}

}  // namespace platform
