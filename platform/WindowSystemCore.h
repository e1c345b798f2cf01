#pragma once

// The window system's shared state. Internal to the windowing layer: include only from its .cpp
// files.
//
// One mutex guards everything here (the window tree, every thread's queue, capture and mouse
// tracking). Handlers, the Display and the HID subscription are always called with it released.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/HidSystem.h"
#include "platform/Surface.h"
#include "platform/Window.h"
#include "platform/WindowSystem.h"

namespace platform {

// Registrations for device notices. Kept apart from the core so that a DeviceNotification can
// unregister after the system is gone, and so that the HID thread reads it without the core lock.
struct DeviceNotification::Registry {
  std::mutex mutex;
  std::uint64_t nextId = 1;
  std::map<std::uint64_t, std::uint64_t> windowOf;  // registration id -> window handle

  bool IsActive(std::uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex);
    return windowOf.count(id) != 0;
  }
};

// A send waiting to be carried out on the owner thread of its window.
struct SentWork {
  std::function<LResult()> run;
  bool done = false;
  LResult result = 0;
  std::shared_ptr<struct ThreadQueue> sender;  // woken when done
};

struct Timer {
  std::uint64_t window = 0;
  std::uintptr_t id = 0;
  Millis interval = 0;
  Millis deadline = 0;
  std::uint64_t order = 0;  // ties in deadline fire in the order the timers were (re)armed
};

// One thread's message queue.
struct ThreadQueue {
  explicit ThreadQueue(Clock& clock) : wake(clock) {}

  std::thread::id thread;
  bool alive = true;
  std::deque<std::shared_ptr<SentWork>> sent;
  std::deque<Message> posted;
  std::optional<int> quit;
  std::vector<Timer> timers;
  Condition wake;  // the owner thread waits on it for anything above to arrive
};

struct WindowRecord {
  std::uint64_t handle = 0;
  Window* object = nullptr;
  WindowRecord* parent = nullptr;
  std::vector<WindowRecord*> children;  // bottom of the z-order first
  std::shared_ptr<ThreadQueue> owner;   // set on top-level records; children use their root's
  std::u16string className;
  std::u16string title;
  std::uint32_t style = 0;
  int id = 0;
  Rect rect;                  // in the parent's client coordinates; screen for top-level windows
  bool visible = false;
  bool enabled = true;
  bool redraw = true;         // WM_SETREDRAW
  Rect invalid;               // client coordinates; empty when nothing is to be painted
  bool erase = false;
  // Top-level windows only.
  std::shared_ptr<Surface> surface;
  bool needsPaint = false;    // something in the tree is invalid
  bool painting = false;      // a paint of the tree is running (a handler may ask for another)

  Rect ClientBounds() const { return Rect{0, 0, rect.Width(), rect.Height()}; }
};

// Mouse hover/leave tracking (one request at a time, as there is one pointer).
struct MouseTracking {
  std::uint64_t window = 0;
  std::uint32_t flags = 0;  // TME_HOVER | TME_LEAVE still pending
  Millis hoverTime = 0;
  Millis hoverDeadline = 0;
  Point anchor;             // where the pointer was when the hover time began
};

struct WindowSystem::Core : std::enable_shared_from_this<WindowSystem::Core> {
  Core(Clock& c, Display& d, HidSystem* h);

  Clock& clock;
  Display& display;
  HidSystem* hid;
  std::shared_ptr<DeviceNotification::Registry> devices = std::make_shared<DeviceNotification::Registry>();

  std::mutex mutex;
  std::uint64_t nextHandle = 1;
  std::uint64_t nextTimerOrder = 0;
  std::unordered_map<std::uint64_t, std::unique_ptr<WindowRecord>> records;
  std::vector<WindowRecord*> topLevels;  // topmost first
  std::map<std::thread::id, std::shared_ptr<ThreadQueue>> queues;
  std::uint64_t active = 0;
  std::uint64_t capture = 0;
  bool pointerInside = false;
  Point pointer;
  bool leftDown = false;
  bool rightDown = false;
  MouseTracking tracking;

  // --- Lookup (caller holds mutex) ---
  WindowRecord* Find(std::uint64_t handle) const;
  WindowRecord* Find(WindowHandle handle) const { return Find(handle.value); }
  static WindowRecord* Root(WindowRecord* record);
  ThreadQueue* OwnerQueue(WindowRecord* record) const;  // null when the owner thread has ended
  bool OwnedByCaller(WindowRecord* record) const;
  std::shared_ptr<ThreadQueue> CallerQueue();  // created on first use
  static bool IsSeen(const WindowRecord* record);
  static Point OriginInRoot(const WindowRecord* record);  // client origin in the root's client space
  static Rect RectInRoot(const WindowRecord* record);      // window rectangle in the root's client space

  // --- Queues (caller holds mutex) ---
  bool PostLocked(WindowRecord* record, Message message);
  void DropThread(ThreadQueue& queue);

  // --- Running work on owner threads ---
  // Runs `work` on the owner thread of `handle`: directly on it (or when that thread has ended),
  // otherwise as a send the caller waits for. Takes the lock itself; call without it.
  LResult RunOnOwner(std::uint64_t handle, std::function<LResult()> work);
  LResult Deliver(std::uint64_t handle, MessageId message, WParam wParam, LParam lParam);  // on owner

  // --- Taking messages (caller holds lock; may release it while handlers run) ---
  enum class Taken { Nothing, Message, Quit };
  Taken Take(std::unique_lock<std::mutex>& lock, Message& message, bool wait, bool remove);
  std::optional<Millis> NextDeadline(ThreadQueue& queue) const;

  // --- Tree changes (caller holds mutex) ---
  void Invalidate(WindowRecord* record, const Rect& clientRect, bool erase);
  void InvalidateBehind(WindowRecord* record);  // the parent's area under a child that moves or hides
  void Activate(WindowRecord* top);
  void ChooseNewActive();
  void Forget(WindowRecord* record);  // removes a record (children already gone)

  // --- Painting (on the owner thread, without the lock) ---
  void PaintTree(std::uint64_t rootHandle);
  void DestroyTree(std::uint64_t handle);

  // --- Mouse (caller holds mutex) ---
  WindowRecord* HitTest(Point screen) const;
  void TrackPointer(Point screen);
  void SetCaptureLocked(std::uint64_t handle);
};

// How the windowing layer's own files reach the core of a system.
struct WindowSystemAccess {
  static WindowSystem::Core& CoreOf(WindowSystem& system) { return *system.core_; }
};

}  // namespace platform
