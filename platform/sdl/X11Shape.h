#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/Surface.h"

namespace platform {

// Cuts the pixels of exactly `key` (0x00RRGGBB) out of an SDL window on X11 with the SHAPE
// extension; `image` is the window's size. Returns false when the window is not an X11 window or
// the server has no SHAPE extension: the window then stays rectangular.
bool ShapeByColorKey(SDL_Window* window, const Surface& image, std::uint32_t key);

}  // namespace platform
