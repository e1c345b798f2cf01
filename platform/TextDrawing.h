#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Canvas.h"
#include "platform/Font.h"
#include "platform/Geometry.h"

namespace platform {

// Text format flags, with their classic values.
inline constexpr std::uint32_t DT_TOP = 0x0;
inline constexpr std::uint32_t DT_LEFT = 0x0;
inline constexpr std::uint32_t DT_CENTER = 0x1;
inline constexpr std::uint32_t DT_RIGHT = 0x2;
inline constexpr std::uint32_t DT_VCENTER = 0x4;
inline constexpr std::uint32_t DT_BOTTOM = 0x8;
inline constexpr std::uint32_t DT_WORDBREAK = 0x10;
inline constexpr std::uint32_t DT_SINGLELINE = 0x20;
inline constexpr std::uint32_t DT_NOCLIP = 0x100;
inline constexpr std::uint32_t DT_WORD_ELLIPSIS = 0x40000;

// Draws `text` into `rect` (client coordinates of the canvas) in `color` on a transparent
// background, with antialiased glyphs blended into what is there.
//
// - Lines: without DT_SINGLELINE the text breaks at CR LF, at a lone LF and at a lone CR; with it,
//   line break characters are ignored and the text is one line.
// - DT_WORDBREAK (not single-line): lines are also wrapped at spaces (and between Chinese
//   characters) to the width of `rect`; a word wider than the rectangle stays whole on its line.
// - DT_WORD_ELLIPSIS: a line still wider than the rectangle is cut and ends in "...".
// - Horizontal: left (default), DT_CENTER or DT_RIGHT, per line.
// - Vertical: top (default); DT_VCENTER and DT_BOTTOM apply to DT_SINGLELINE text only.
// - Clipping: to `rect` and the canvas clip, unless DT_NOCLIP, which clips to the canvas only.
// Each line is one font cell high. Returns the height of the drawn text block in pixels.
int DrawText(const Canvas& canvas, std::u16string_view text, Rect rect, std::uint32_t format, const Font& font,
             ColorRef color);

// The rectangle the text would occupy when drawn into `rect` with `format`: its left/top as
// aligned inside `rect`, its width the widest line, its height the lines times the cell height.
Rect MeasureText(std::u16string_view text, Rect rect, std::uint32_t format, const Font& font);

}  // namespace platform
