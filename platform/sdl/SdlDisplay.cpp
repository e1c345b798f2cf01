#include "platform/sdl/SdlDisplay.h"

#include <SDL.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/Messages.h"
#include "platform/TextEncoding.h"
#include "platform/WindowSystem.h"
#include "platform/sdl/X11Shape.h"

namespace platform {

namespace {

// Pixels of exactly this colour are not part of a shaped window.
constexpr std::uint32_t kShapeKey = 0x00FF00FF;


// The virtual-key code of an SDL key, or 0 for keys the dialogs do not care about.
std::uint32_t VirtualKeyOf(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<std::uint32_t>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<std::uint32_t>('0' + (key - SDLK_0));
  switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_TAB: return VK_TAB;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_F4: return VK_F4;
    default: return 0;
  }
}

}  // namespace

struct SdlDisplay::Command {
  enum class Kind { Show, Hide, Move, Destroy, Present, Raise } kind;
  std::uint64_t window = 0;
  Rect rect;
  std::string title;
  std::shared_ptr<Surface> image;
};

// An SDL window and what it shows. Lives on the SDL thread only.
struct SdlDisplay::SdlWindow {
  SDL_Window* window = nullptr;
  bool shaped = false;    // the key colour is cut out
  bool shapeSet = false;  // shaping was tried for shapeMask
  Rect rect;
  std::shared_ptr<Surface> image;
  std::vector<std::uint8_t> shapeMask;  // 1 where the image is not the key colour

  ~SdlWindow() {
    if (window) SDL_DestroyWindow(window);
  }
};

SdlDisplay::SdlDisplay() = default;

SdlDisplay::~SdlDisplay() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    if (started_) {
      SDL_Event wake{};
      wake.type = wakeEvent_;
      SDL_PushEvent(&wake);
    }
  }
  if (thread_.Joinable()) thread_.Join();
}

bool SdlDisplay::Start(std::string* error) {
  thread_ = clock_.StartThread([this] { Run(); });
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.WaitUntil(lock, std::nullopt, [this] { return started_ || startFailed_; });
  if (startFailed_ && error) *error = startError_;
  return started_;
}

void SdlDisplay::Queue(Command command) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!started_ || stopping_) return;
  // A newer image replaces one not yet shown, so a fast painter never builds a backlog.
  if (command.kind == Command::Kind::Present) {
    for (Command& queued : commands_) {
      if (queued.kind == Command::Kind::Present && queued.window == command.window) {
        queued = std::move(command);
        return;
      }
    }
  }
  commands_.push_back(std::move(command));
  SDL_Event wake{};
  wake.type = wakeEvent_;
  SDL_PushEvent(&wake);
}

// ----------------------------------------------------------------------------------------------
// Display

void SdlDisplay::Attach(WindowSystem* system) {
  std::lock_guard<std::mutex> lock(systemMutex_);
  system_ = system;
}

Rect SdlDisplay::ScreenBounds() {
  std::lock_guard<std::mutex> lock(mutex_);
  return screen_;
}

void SdlDisplay::TopLevelShown(WindowHandle window, const Rect& screenRect, std::u16string_view title) {
  Queue(Command{Command::Kind::Show, window.value, screenRect, ToUtf8(title), nullptr});
}

void SdlDisplay::TopLevelHidden(WindowHandle window) { Queue(Command{Command::Kind::Hide, window.value, {}, {}, nullptr}); }

void SdlDisplay::TopLevelMoved(WindowHandle window, const Rect& screenRect) {
  Queue(Command{Command::Kind::Move, window.value, screenRect, {}, nullptr});
}

void SdlDisplay::TopLevelDestroyed(WindowHandle window) {
  Queue(Command{Command::Kind::Destroy, window.value, {}, {}, nullptr});
}

void SdlDisplay::Present(WindowHandle window, const Surface& image, const Rect& screenRect) {
  Queue(Command{Command::Kind::Present, window.value, screenRect, {}, std::make_shared<Surface>(image)});
}

void SdlDisplay::Raise(WindowHandle window) { Queue(Command{Command::Kind::Raise, window.value, {}, {}, nullptr}); }

bool SdlDisplay::WaitUntilPresented(WindowHandle window, int count, Millis timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.WaitUntil(lock, clock_.Now() + timeout, [&] { return presented_[window.value] >= count; });
}

bool SdlDisplay::IsShaped(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = shaped_.find(window.value);
  return it != shaped_.end() && it->second;
}

// ----------------------------------------------------------------------------------------------
// The SDL thread

void SdlDisplay::Run() {
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // Plain framebuffer updates: no GL context (often missing on virtual servers) for a dialog.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // SDL would turn Ctrl+C and SIGTERM into a quit event that nothing here waits for, and the
  // program could then only be ended with SIGKILL. Keep the signals' usual meaning.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    startFailed_ = true;
    startError_ = std::string("cannot open the display: ") + SDL_GetError();
    changed_.NotifyAll();
    return;
  }
  SDL_Rect bounds;
  const std::uint32_t wake = SDL_RegisterEvents(1);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (SDL_GetDisplayBounds(0, &bounds) == 0) screen_ = Rect{bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
    wakeEvent_ = wake;
    started_ = true;
    changed_.NotifyAll();
  }

  std::map<std::uint64_t, std::unique_ptr<SdlWindow>> windows;

  auto findBySdlId = [&](std::uint32_t id) -> std::pair<std::uint64_t, SdlWindow*> {
    for (auto& [handle, w] : windows) {
      if (w->window && SDL_GetWindowID(w->window) == id) return {handle, w.get()};
    }
    return {0, nullptr};
  };

  auto draw = [&](std::uint64_t handle, SdlWindow& w) {
    if (!w.window || !w.image || w.image->IsEmpty()) return;
    int width = 0, height = 0;
    SDL_GetWindowSize(w.window, &width, &height);
    if (width != w.image->Width() || height != w.image->Height()) {
      SDL_SetWindowSize(w.window, w.image->Width(), w.image->Height());
    }
    // The window surface first: making it may replace the X window, and with it any shape.
    SDL_Surface* target = SDL_GetWindowSurface(w.window);
    if (!target) return;
    std::vector<std::uint8_t> mask(w.image->Pixels().size());
    std::transform(w.image->Pixels().begin(), w.image->Pixels().end(), mask.begin(),
                   [](std::uint32_t p) { return (p & 0x00FFFFFF) != kShapeKey ? 1 : 0; });
    if (!w.shapeSet || mask != w.shapeMask) {
      w.shaped = ShapeByColorKey(w.window, *w.image, kShapeKey);
      w.shapeMask = std::move(mask);
      w.shapeSet = true;
      std::lock_guard<std::mutex> lock(mutex_);
      shaped_[handle] = w.shaped;
    }
    const int rows = std::min(target->h, w.image->Height());
    const int columns = std::min(target->w, w.image->Width());
    if (SDL_ConvertPixels(columns, rows, SDL_PIXELFORMAT_RGB888, w.image->Pixels().data(), w.image->Width() * 4,
                          target->format->format, target->pixels, target->pitch) == 0) {
      SDL_UpdateWindowSurface(w.window);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++presented_[handle];
    changed_.NotifyAll();
  };

  auto create = [&](std::uint64_t handle, const Command& c) {
    auto w = std::make_unique<SdlWindow>();
    w->rect = c.rect;
    const int width = std::max(c.rect.Width(), 1), height = std::max(c.rect.Height(), 1);
    w->window = SDL_CreateWindow(c.title.c_str(), c.rect.left, c.rect.top, width, height,
                                 SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
    windows[handle] = std::move(w);
  };

  auto apply = [&](Command& c) {
    auto it = windows.find(c.window);
    SdlWindow* w = it == windows.end() ? nullptr : it->second.get();
    switch (c.kind) {
      case Command::Kind::Show:
        if (!w) {
          create(c.window, c);
          w = windows[c.window].get();
        }
        if (!w->window) return;
        w->rect = c.rect;
        SDL_SetWindowPosition(w->window, c.rect.left, c.rect.top);
        SDL_ShowWindow(w->window);
        SDL_RaiseWindow(w->window);
        draw(c.window, *w);
        return;
      case Command::Kind::Hide:
        if (w && w->window) SDL_HideWindow(w->window);
        return;
      case Command::Kind::Move:
        if (!w || !w->window) return;
        w->rect = c.rect;
        SDL_SetWindowPosition(w->window, c.rect.left, c.rect.top);
        return;
      case Command::Kind::Destroy:
        windows.erase(c.window);
        return;
      case Command::Kind::Present:
        if (!w) return;  // not shown yet: the image comes again after the show
        w->image = c.image;
        w->rect = c.rect;
        draw(c.window, *w);
        return;
      case Command::Kind::Raise:
        if (w && w->window) SDL_RaiseWindow(w->window);
        return;
    }
  };

  auto toSystem = [&](auto&& give) {
    std::lock_guard<std::mutex> lock(systemMutex_);
    if (system_) give(*system_);
  };

  for (;;) {
    SDL_Event event;
    const bool got = SDL_WaitEvent(&event) == 1;
    std::deque<Command> work;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) break;
      work.swap(commands_);
    }
    for (Command& c : work) apply(c);
    if (!got) continue;

    switch (event.type) {
      case SDL_MOUSEMOTION: {
        auto [handle, w] = findBySdlId(event.motion.windowID);
        if (!w) break;
        const Point p{w->rect.left + event.motion.x, w->rect.top + event.motion.y};
        toSystem([&](WindowSystem& s) { s.InputMouseMove(p); });
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        auto [handle, w] = findBySdlId(event.button.windowID);
        if (!w) break;
        if (event.button.button != SDL_BUTTON_LEFT && event.button.button != SDL_BUTTON_RIGHT) break;
        const Point p{w->rect.left + event.button.x, w->rect.top + event.button.y};
        const MouseButton button = event.button.button == SDL_BUTTON_LEFT ? MouseButton::Left : MouseButton::Right;
        const bool down = event.type == SDL_MOUSEBUTTONDOWN;
        toSystem([&](WindowSystem& s) { s.InputMouseButton(button, down, p); });
        break;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const std::uint32_t vk = VirtualKeyOf(event.key.keysym.sym);
        if (vk == 0) break;
        const bool down = event.type == SDL_KEYDOWN;
        const bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
        toSystem([&](WindowSystem& s) { s.InputKey(vk, down, alt); });
        break;
      }
      case SDL_WINDOWEVENT: {
        auto [handle, w] = findBySdlId(event.window.windowID);
        if (!w) break;
        if (event.window.event == SDL_WINDOWEVENT_LEAVE) {
          toSystem([](WindowSystem& s) { s.InputMouseLeave(); });
        } else if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
          const WindowHandle target{handle};
          toSystem([&](WindowSystem& s) { s.InputCloseRequest(target); });
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
          draw(handle, *w);
        }
        break;
      }
      default:
        break;  // SDL_QUIT included: closing is the dialogs' business
    }
  }

  windows.clear();
  SDL_Quit();
}

}  // namespace platform
