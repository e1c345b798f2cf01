#include <functional>
#include <vector>

#include "platform/Display.h"
#include "platform/WindowSystemCore.h"

namespace platform {

using Core = WindowSystem::Core;

// Windows paint into one surface per tree, parent first and children in z-order after it, and the
// surface keeps what was painted. So when a window is to be painted again, every window painted
// after it that overlaps the area must be painted again too, or the repaint would cover it.
void Core::Invalidate(WindowRecord* record, const Rect& clientRect, bool erase) {
  const Rect area = clientRect.Intersect(record->ClientBounds());
  if (area.IsEmpty()) return;
  record->invalid = record->invalid.Union(area);
  record->erase = record->erase || erase;
  if (!IsSeen(record)) return;

  const Point origin = OriginInRoot(record);
  const Rect areaInRoot = area.Offset(origin.x, origin.y);
  WindowRecord* root = Root(record);
  bool after = false;
  std::function<void(WindowRecord*)> visit = [&](WindowRecord* node) {
    if (!node->visible) return;
    if (node == record) {
      after = true;
    } else if (after) {
      const Rect overlap = RectInRoot(node).Intersect(areaInRoot);
      if (!overlap.IsEmpty()) {
        const Point o = OriginInRoot(node);
        node->invalid = node->invalid.Union(overlap.Offset(-o.x, -o.y));
        node->erase = node->erase || erase;
      }
    }
    for (WindowRecord* child : node->children) visit(child);
  };
  visit(root);

  root->needsPaint = true;
  if (ThreadQueue* queue = OwnerQueue(root)) queue->wake.NotifyAll();
}

void Core::InvalidateBehind(WindowRecord* record) {
  if (record->parent) Invalidate(record->parent, record->rect, true);
}

void Core::PaintTree(std::uint64_t rootHandle) {
  struct Job {
    std::uint64_t handle;
    Window* object;
    Canvas canvas;
    bool erase;
  };
  std::vector<Job> jobs;
  std::shared_ptr<Surface> surface;
  Rect screenRect;
  {
    std::lock_guard<std::mutex> lock(mutex);
    WindowRecord* root = Find(rootHandle);
    if (!root || root->parent || root->painting) return;
    root->needsPaint = false;
    if (!root->visible) return;
    surface = root->surface;
    if (surface->Width() != root->rect.Width() || surface->Height() != root->rect.Height()) {
      *surface = Surface(root->rect.Width(), root->rect.Height());
      Invalidate(root, root->ClientBounds(), true);
      root->needsPaint = false;
    }
    std::function<void(WindowRecord*, const Rect&)> collect = [&](WindowRecord* node, const Rect& parentClip) {
      if (!node->visible || !node->redraw) return;
      const Rect visible = RectInRoot(node).Intersect(parentClip);
      if (!node->invalid.IsEmpty()) {
        const Point origin = OriginInRoot(node);
        const Rect clip = visible.Intersect(node->invalid.Offset(origin.x, origin.y));
        if (!clip.IsEmpty()) jobs.push_back(Job{node->handle, node->object, Canvas{surface.get(), origin, clip}, node->erase});
        node->invalid = Rect{};
        node->erase = false;
      }
      for (WindowRecord* child : node->children) collect(child, visible);
    };
    collect(root, surface->Bounds());
    if (jobs.empty()) return;
    root->painting = true;
    screenRect = root->rect;
  }

  for (Job& job : jobs) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!Find(job.handle)) continue;  // an earlier handler destroyed it
    }
    const WParam canvas = reinterpret_cast<WParam>(&job.canvas);
    if (job.erase) job.object->HandleMessage(WM_ERASEBKGND, canvas, 0);
    job.object->HandleMessage(WM_PAINT, canvas, 0);
  }

  bool present = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (WindowRecord* root = Find(rootHandle)) {
      root->painting = false;
      present = root->visible;
    }
  }
  if (present) display.Present(WindowHandle{rootHandle}, *surface, screenRect);
}

}  // namespace platform
