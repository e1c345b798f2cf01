#include "platform/WindowSystem.h"

#include <algorithm>
#include <utility>

#include "platform/Display.h"
#include "platform/HidSystem.h"
#include "platform/WindowSystemCore.h"

namespace platform {

namespace {

// The queues this thread holds in any window system. When the thread ends, each is marked dead in
// its system, so that sends to it return and posts to it fail instead of waiting forever.
struct ThreadQueues {
  std::vector<std::pair<std::weak_ptr<WindowSystem::Core>, std::shared_ptr<ThreadQueue>>> entries;
  ~ThreadQueues();
};
thread_local ThreadQueues tlsQueues;

}  // namespace

// ----------------------------------------------------------------------------------------------
// Core: lookups and queues

WindowSystem::Core::Core(Clock& c, Display& d, HidSystem* h) : clock(c), display(d), hid(h) {}

WindowRecord* WindowSystem::Core::Find(std::uint64_t handle) const {
  auto it = records.find(handle);
  return it == records.end() ? nullptr : it->second.get();
}

WindowRecord* WindowSystem::Core::Root(WindowRecord* record) {
  while (record && record->parent) record = record->parent;
  return record;
}

ThreadQueue* WindowSystem::Core::OwnerQueue(WindowRecord* record) const {
  WindowRecord* root = Root(record);
  if (!root || !root->owner || !root->owner->alive) return nullptr;
  return root->owner.get();
}

bool WindowSystem::Core::OwnedByCaller(WindowRecord* record) const {
  ThreadQueue* owner = OwnerQueue(record);
  return owner && owner->thread == std::this_thread::get_id();
}

std::shared_ptr<ThreadQueue> WindowSystem::Core::CallerQueue() {
  const auto self = std::this_thread::get_id();
  auto it = queues.find(self);
  if (it != queues.end()) return it->second;
  auto queue = std::make_shared<ThreadQueue>(clock);
  queue->thread = self;
  queues.emplace(self, queue);
  tlsQueues.entries.emplace_back(weak_from_this(), queue);
  return queue;
}

bool WindowSystem::Core::IsSeen(const WindowRecord* record) {
  for (; record; record = record->parent) {
    if (!record->visible) return false;
  }
  return true;
}

Point WindowSystem::Core::OriginInRoot(const WindowRecord* record) {
  Point origin;
  for (; record && record->parent; record = record->parent) {
    origin.x += record->rect.left;
    origin.y += record->rect.top;
  }
  return origin;
}

Rect WindowSystem::Core::RectInRoot(const WindowRecord* record) {
  const Point origin = OriginInRoot(record);
  return Rect{origin.x, origin.y, origin.x + record->rect.Width(), origin.y + record->rect.Height()};
}

bool WindowSystem::Core::PostLocked(WindowRecord* record, Message message) {
  ThreadQueue* queue = OwnerQueue(record);
  if (!queue) return false;
  message.window = WindowHandle{record->handle};
  queue->posted.push_back(std::move(message));
  queue->wake.NotifyAll();
  return true;
}

void WindowSystem::Core::DropThread(ThreadQueue& queue) {
  queue.alive = false;
  for (auto& work : queue.sent) {
    work->done = true;
    if (work->sender) work->sender->wake.NotifyAll();
  }
  queue.sent.clear();
  queue.posted.clear();
  queue.timers.clear();
  queues.erase(queue.thread);
}

ThreadQueues::~ThreadQueues() {
  for (auto& [weakCore, queue] : entries) {
    if (auto core = weakCore.lock()) {
      std::lock_guard<std::mutex> lock(core->mutex);
      core->DropThread(*queue);
    }
  }
}

// ----------------------------------------------------------------------------------------------
// Core: sends and delivery

LResult WindowSystem::Core::Deliver(std::uint64_t handle, MessageId message, WParam wParam, LParam lParam) {
  Window* object = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (WindowRecord* record = Find(handle)) object = record->object;
  }
  // Safe without the lock: windows are destroyed only on their owner thread, which is this one.
  return object ? object->HandleMessage(message, wParam, lParam) : 0;
}

LResult WindowSystem::Core::RunOnOwner(std::uint64_t handle, std::function<LResult()> work) {
  std::unique_lock<std::mutex> lock(mutex);
  WindowRecord* record = Find(handle);
  if (!record) return 0;
  ThreadQueue* owner = OwnerQueue(record);
  if (!owner || owner->thread == std::this_thread::get_id()) {
    lock.unlock();
    return work();
  }
  auto self = CallerQueue();
  auto item = std::make_shared<SentWork>();
  item->run = std::move(work);
  item->sender = self;
  owner->sent.push_back(item);
  owner->wake.NotifyAll();
  // While waiting, carry out sends addressed to this thread, so that two threads sending to each
  // other cannot deadlock.
  while (!item->done) {
    if (!self->sent.empty()) {
      auto incoming = self->sent.front();
      self->sent.pop_front();
      lock.unlock();
      const LResult result = incoming->run();
      lock.lock();
      incoming->result = result;
      incoming->done = true;
      if (incoming->sender) incoming->sender->wake.NotifyAll();
      continue;
    }
    self->wake.WaitUntil(lock, std::nullopt);
  }
  return item->result;
}

// ----------------------------------------------------------------------------------------------
// Core: taking messages

std::optional<Millis> WindowSystem::Core::NextDeadline(ThreadQueue& queue) const {
  std::optional<Millis> next;
  for (const Timer& timer : queue.timers) {
    if (!next || timer.deadline < *next) next = timer.deadline;
  }
  if ((tracking.flags & TME_HOVER) != 0) {
    WindowRecord* tracked = Find(tracking.window);
    if (tracked && OwnerQueue(tracked) == &queue) {
      if (!next || tracking.hoverDeadline < *next) next = tracking.hoverDeadline;
    }
  }
  return next;
}

WindowSystem::Core::Taken WindowSystem::Core::Take(std::unique_lock<std::mutex>& lock, Message& message,
                                                     bool wait, bool remove) {
  std::shared_ptr<ThreadQueue> queue = CallerQueue();
  for (;;) {
    if (!queue->sent.empty()) {
      auto work = queue->sent.front();
      queue->sent.pop_front();
      lock.unlock();
      const LResult result = work->run();
      lock.lock();
      work->result = result;
      work->done = true;
      if (work->sender) work->sender->wake.NotifyAll();
      continue;
    }

    if (!queue->posted.empty()) {
      Message& front = queue->posted.front();
      if (front.registration != 0 && !devices->IsActive(front.registration)) {
        queue->posted.pop_front();  // the window unregistered after the notice was queued
        continue;
      }
      message = front;
      if (remove) queue->posted.pop_front();
      return Taken::Message;
    }

    if (queue->quit) {
      message = Message{};
      message.id = WM_QUIT;
      message.wParam = static_cast<WParam>(*queue->quit);
      if (remove) queue->quit.reset();
      return Taken::Quit;
    }

    WindowRecord* toPaint = nullptr;
    for (WindowRecord* top : topLevels) {
      if (top->needsPaint && !top->painting && top->owner == queue) {
        toPaint = top;
        break;
      }
    }
    if (toPaint) {
      const std::uint64_t handle = toPaint->handle;
      lock.unlock();
      PaintTree(handle);
      lock.lock();
      continue;
    }

    const Millis now = clock.Now();
    if ((tracking.flags & TME_HOVER) != 0 && now >= tracking.hoverDeadline) {
      WindowRecord* tracked = Find(tracking.window);
      if (tracked && OwnerQueue(tracked) == queue.get()) {
        tracking.flags &= ~TME_HOVER;
        if (pointerInside && HitTest(pointer) == tracked) {
          const Rect screen = RectInRoot(tracked).Offset(Root(tracked)->rect.left, Root(tracked)->rect.top);
          Message hover;
          hover.id = WM_MOUSEHOVER;
          hover.wParam = (leftDown ? MK_LBUTTON : 0) | (rightDown ? MK_RBUTTON : 0);
          hover.lParam = PointToLParam(Point{pointer.x - screen.left, pointer.y - screen.top});
          PostLocked(tracked, std::move(hover));
        }
        continue;
      }
    }

    Timer* due = nullptr;
    for (Timer& timer : queue->timers) {
      if (timer.deadline <= now && (!due || timer.deadline < due->deadline ||
                                    (timer.deadline == due->deadline && timer.order < due->order))) {
        due = &timer;
      }
    }
    if (due) {
      message = Message{};
      message.window = WindowHandle{due->window};
      message.id = WM_TIMER;
      message.wParam = due->id;
      if (remove) {
        due->deadline = now + due->interval;
        due->order = nextTimerOrder++;
      }
      return Taken::Message;
    }

    if (!wait) return Taken::Nothing;
    queue->wake.WaitUntil(lock, NextDeadline(*queue));
  }
}

// ----------------------------------------------------------------------------------------------
// WindowSystem

WindowSystem::WindowSystem(Clock& clock, Display& display, HidSystem* hid)
    : core_(std::make_shared<Core>(clock, display, hid)) {
  display.Attach(this);
  if (hid) {
    std::weak_ptr<Core> weakCore = core_;
    hid->SetEventHandler([weakCore](const HidEvent& event) {
      auto core = weakCore.lock();
      if (!core) return;
      std::vector<std::pair<std::uint64_t, std::uint64_t>> targets;
      {
        std::lock_guard<std::mutex> lock(core->devices->mutex);
        targets.assign(core->devices->windowOf.begin(), core->devices->windowOf.end());
      }
      std::lock_guard<std::mutex> lock(core->mutex);
      for (const auto& [registration, window] : targets) {
        WindowRecord* record = core->Find(window);
        if (!record) continue;
        // One notice per window: handlers may change it in place.
        auto notice = std::make_shared<DeviceInterfaceNotice>();
        notice->deviceType = DBT_DEVTYP_DEVICEINTERFACE;
        notice->path = event.path;
        Message message;
        message.id = WM_DEVICECHANGE;
        message.wParam = event.kind == HidEventKind::Arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        message.lParam = reinterpret_cast<LParam>(notice.get());
        message.payload = notice;
        message.registration = registration;
        core->PostLocked(record, std::move(message));
      }
    });
  }
}

WindowSystem::~WindowSystem() {
  if (core_->hid) core_->hid->SetEventHandler({});
  core_->display.Attach(nullptr);
  std::lock_guard<std::mutex> lock(core_->mutex);
  for (auto& [handle, record] : core_->records) {
    if (record->object) record->object->handle_.store(0, std::memory_order_release);
  }
  for (auto& [thread, queue] : core_->queues) {
    for (auto& work : queue->sent) {
      work->done = true;
      if (work->sender) work->sender->wake.NotifyAll();
    }
    queue->sent.clear();
  }
}

Clock& WindowSystem::GetClock() const { return core_->clock; }
Display& WindowSystem::GetDisplay() const { return core_->display; }

bool WindowSystem::PostMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
  std::lock_guard<std::mutex> lock(core_->mutex);
  WindowRecord* record = core_->Find(window);
  if (!record) return false;
  Message m;
  m.id = message;
  m.wParam = wParam;
  m.lParam = lParam;
  return core_->PostLocked(record, std::move(m));
}

LResult WindowSystem::SendMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
  Core* core = core_.get();
  const std::uint64_t handle = window.value;
  return core_->RunOnOwner(handle, [core, handle, message, wParam, lParam] {
    return core->Deliver(handle, message, wParam, lParam);
  });
}

bool WindowSystem::IsWindow(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  return core_->Find(window) != nullptr;
}

void WindowSystem::PostQuitMessage(int exitCode) {
  std::lock_guard<std::mutex> lock(core_->mutex);
  auto queue = core_->CallerQueue();
  queue->quit = exitCode;
  queue->wake.NotifyAll();
}

bool WindowSystem::GetMessage(Message& message) {
  std::unique_lock<std::mutex> lock(core_->mutex);
  return core_->Take(lock, message, true, true) == Core::Taken::Message;
}

bool WindowSystem::PeekMessage(Message& message, bool remove) {
  std::unique_lock<std::mutex> lock(core_->mutex);
  return core_->Take(lock, message, false, remove) != Core::Taken::Nothing;
}

LResult WindowSystem::DispatchMessage(const Message& message) {
  if (!message.window) return 0;
  if (message.registration != 0 && !core_->devices->IsActive(message.registration)) return 0;
  return core_->Deliver(message.window.value, message.id, message.wParam, message.lParam);
}

int WindowSystem::RunMessageLoop() {
  Message message;
  while (GetMessage(message)) DispatchMessage(message);
  return static_cast<int>(message.wParam);
}

bool WindowSystem::ProcessPendingMessages() {
  for (;;) {
    Message message;
    {
      std::unique_lock<std::mutex> lock(core_->mutex);
      const Core::Taken taken = core_->Take(lock, message, false, true);
      if (taken == Core::Taken::Nothing) return true;
      if (taken == Core::Taken::Quit) {
        core_->CallerQueue()->quit = static_cast<int>(message.wParam);  // stays pending
        return false;
      }
    }
    DispatchMessage(message);
  }
}

WindowHandle WindowSystem::FindWindow(std::optional<std::u16string_view> className,
                                      std::optional<std::u16string_view> title) const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  for (WindowRecord* top : core_->topLevels) {
    if (className && top->className != *className) continue;
    if (title && top->title != *title) continue;
    return WindowHandle{top->handle};
  }
  return {};
}

std::vector<WindowHandle> WindowSystem::TopLevelWindows() const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  std::vector<WindowHandle> result;
  for (WindowRecord* top : core_->topLevels) result.push_back(WindowHandle{top->handle});
  return result;
}

std::vector<WindowHandle> WindowSystem::Children(WindowHandle parent) const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  std::vector<WindowHandle> result;
  if (WindowRecord* record = core_->Find(parent)) {
    for (WindowRecord* child : record->children) result.push_back(WindowHandle{child->handle});
  }
  return result;
}

WindowHandle WindowSystem::FindChild(WindowHandle parent, int id) const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  if (WindowRecord* record = core_->Find(parent)) {
    for (WindowRecord* child : record->children) {
      if (child->id == id) return WindowHandle{child->handle};
    }
  }
  return {};
}

Window* WindowSystem::Lookup(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  WindowRecord* record = core_->Find(window);
  return record ? record->object : nullptr;
}

std::optional<Rect> WindowSystem::ScreenRectOf(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  WindowRecord* record = core_->Find(window);
  if (!record) return std::nullopt;
  const WindowRecord* root = Core::Root(record);
  return Core::RectInRoot(record).Offset(root->rect.left, root->rect.top);
}

std::u16string WindowSystem::TitleOf(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  WindowRecord* record = core_->Find(window);
  return record ? record->title : std::u16string{};
}

bool WindowSystem::IsSeen(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  WindowRecord* record = core_->Find(window);
  return record && Core::IsSeen(record);
}

WindowHandle WindowSystem::ActiveWindow() const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  return WindowHandle{core_->active};
}

bool WindowSystem::BringToFront(WindowHandle window) {
  std::uint64_t root = 0;
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    WindowRecord* record = core_->Find(window);
    if (!record) return false;
    WindowRecord* top = Core::Root(record);
    core_->Activate(top);
    root = top->handle;
  }
  core_->display.Raise(WindowHandle{root});
  return true;
}

WindowHandle WindowSystem::Capture() const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  return WindowHandle{core_->capture};
}

void WindowSystem::ReleaseCapture() {
  std::lock_guard<std::mutex> lock(core_->mutex);
  core_->SetCaptureLocked(0);
}

DeviceNotification WindowSystem::RegisterDeviceNotification(const Window& window) {
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (!core_->Find(window.Handle())) return {};
  }
  std::lock_guard<std::mutex> lock(core_->devices->mutex);
  const std::uint64_t id = core_->devices->nextId++;
  core_->devices->windowOf[id] = window.Handle().value;
  return DeviceNotification(core_->devices, id);
}

// ----------------------------------------------------------------------------------------------
// DeviceNotification

DeviceNotification::DeviceNotification(DeviceNotification&& other) noexcept
    : registry_(std::move(other.registry_)), id_(std::exchange(other.id_, 0)) {}

DeviceNotification& DeviceNotification::operator=(DeviceNotification&& other) noexcept {
  if (this != &other) {
    Unregister();
    registry_ = std::move(other.registry_);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

void DeviceNotification::Unregister() {
  if (id_ == 0 || !registry_) return;
  {
    std::lock_guard<std::mutex> lock(registry_->mutex);
    registry_->windowOf.erase(id_);
  }
  id_ = 0;
  registry_.reset();
}

}  // namespace platform
