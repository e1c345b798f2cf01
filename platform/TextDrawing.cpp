#include "platform/TextDrawing.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/FontCache.h"
#include "platform/TextEncoding.h"

namespace platform {
namespace {

constexpr char32_t kEllipsis[] = U"...";

// One laid-out line: glyphs with their pen positions (1/64 pixel) from the line's start.
struct Line {
  std::vector<const Glyph*> glyphs;
  std::vector<long> pens;
  long width = 0;  // 1/64 pixel

  int PixelWidth() const { return static_cast<int>((width + 63) / 64); }
};

bool IsSpace(char32_t c) { return c == U' ' || c == U'\t' || c == 0x3000; }

// Chinese and Japanese text has no spaces; a line may break between any two of its characters.
bool IsIdeographic(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

// Closing punctuation stays with the character before it.
bool MustNotStartLine(char32_t c) {
  static constexpr char32_t kClosing[] = U"，。、！？：；）」』】》〉”’,.!?:;)]}";
  return std::char_traits<char32_t>::find(kClosing, std::size(kClosing) - 1, c) != nullptr;
}

bool IsBreakBefore(const std::u32string& text, std::size_t i) {
  if (i == 0 || i >= text.size() || IsSpace(text[i]) || MustNotStartLine(text[i])) return false;
  return IsSpace(text[i - 1]) || IsIdeographic(text[i - 1]) || IsIdeographic(text[i]);
}

// Splits the text into paragraphs at CR LF, lone LF and lone CR; single-line text is one
// paragraph with its line break characters left out.
std::vector<std::u32string> SplitParagraphs(const std::u32string& text, bool singleLine) {
  std::vector<std::u32string> paragraphs(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    if (c != U'\r' && c != U'\n') {
      paragraphs.back().push_back(c);
      continue;
    }
    if (singleLine) continue;
    if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
    paragraphs.emplace_back();
  }
  return paragraphs;
}

// Everything the layout needs from the font, fetched under the cache lock.
struct ShapedText {
  std::vector<const Glyph*> glyphs;
  std::vector<long> prefix;  // prefix[i] = advance of characters 0..i-1, 1/64 pixel
};

ShapedText Shape(const std::u32string& text, const FontData& font) {
  ShapedText shaped;
  shaped.prefix.push_back(0);
  for (char32_t c : text) {
    // Control characters (tabs included) take no room, as they draw nothing meaningful here.
    const Glyph* glyph = c < 0x20 ? nullptr : font.GlyphFor(c);
    shaped.glyphs.push_back(glyph);
    shaped.prefix.push_back(shaped.prefix.back() + (glyph ? glyph->advance : 0));
  }
  return shaped;
}

Line MakeLine(const ShapedText& shaped, std::size_t begin, std::size_t end) {
  Line line;
  for (std::size_t i = begin; i < end; ++i) {
    line.glyphs.push_back(shaped.glyphs[i]);
    line.pens.push_back(shaped.prefix[i] - shaped.prefix[begin]);
  }
  line.width = shaped.prefix[end] - shaped.prefix[begin];
  return line;
}

std::size_t TrimEnd(const std::u32string& text, std::size_t begin, std::size_t end) {
  while (end > begin && IsSpace(text[end - 1])) --end;
  return end;
}

// Greedy wrapping: each line takes as many words as fit; a word wider than the line stays whole.
void WrapParagraph(const std::u32string& text, const ShapedText& shaped, long maxWidth, std::vector<Line>& lines) {
  const auto width = [&](std::size_t b, std::size_t e) { return shaped.prefix[e] - shaped.prefix[b]; };
  std::size_t begin = 0;
  do {
    std::size_t end = text.size();
    std::size_t next = text.size();
    if (width(begin, TrimEnd(text, begin, text.size())) > maxWidth) {
      std::size_t fitting = 0;
      std::size_t first = 0;
      for (std::size_t i = begin + 1; i < text.size(); ++i) {
        if (!IsBreakBefore(text, i)) continue;
        if (first == 0) first = i;
        if (width(begin, TrimEnd(text, begin, i)) > maxWidth) break;
        fitting = i;
      }
      const std::size_t chosen = fitting != 0 ? fitting : first;
      if (chosen != 0) {
        end = TrimEnd(text, begin, chosen);
        next = chosen;
      }
    }
    lines.push_back(MakeLine(shaped, begin, end));
    begin = next;
  } while (begin < text.size());
}

// Where the pen stands after the first `count` glyphs of the line.
long PenAfter(const Line& line, std::size_t count) {
  if (count == 0) return 0;
  const Glyph* last = line.glyphs[count - 1];
  return line.pens[count - 1] + (last ? last->advance : 0);
}

// Cuts a line that is too wide and ends it in "...", keeping the result within maxWidth.
void Ellipsize(Line& line, const FontData& font, long maxWidth) {
  if (line.width <= maxWidth) return;
  std::vector<const Glyph*> dots;
  long dotsWidth = 0;
  for (char32_t c : std::u32string_view(kEllipsis)) {
    const Glyph* glyph = font.GlyphFor(c);
    dots.push_back(glyph);
    dotsWidth += glyph ? glyph->advance : 0;
  }
  std::size_t keep = line.glyphs.size();
  while (keep > 0 && PenAfter(line, keep) + dotsWidth > maxWidth) --keep;
  long pen = PenAfter(line, keep);
  line.glyphs.resize(keep);
  line.pens.resize(keep);
  for (const Glyph* dot : dots) {
    line.glyphs.push_back(dot);
    line.pens.push_back(pen);
    pen += dot ? dot->advance : 0;
  }
  line.width = pen;
}

struct Layout {
  std::vector<Line> lines;
  int cellHeight = 0;
  int ascent = 0;
};

Layout LayOut(std::u16string_view text, const Rect& rect, std::uint32_t format, const FontData& font) {
  Layout layout;
  layout.cellHeight = font.cellHeight;
  layout.ascent = font.ascent;
  const bool singleLine = (format & DT_SINGLELINE) != 0;
  const long maxWidth = static_cast<long>(std::max(rect.Width(), 0)) * 64;
  auto lock = FontCache::Instance().Lock();
  for (const std::u32string& paragraph : SplitParagraphs(ToCodePoints(text), singleLine)) {
    const ShapedText shaped = Shape(paragraph, font);
    if (!singleLine && (format & DT_WORDBREAK) != 0) {
      WrapParagraph(paragraph, shaped, maxWidth, layout.lines);
    } else {
      layout.lines.push_back(MakeLine(shaped, 0, paragraph.size()));
    }
  }
  if ((format & DT_WORD_ELLIPSIS) != 0) {
    for (Line& line : layout.lines) Ellipsize(line, font, maxWidth);
  }
  return layout;
}

int BlockTop(const Layout& layout, const Rect& rect, std::uint32_t format) {
  if ((format & DT_SINGLELINE) == 0) return rect.top;
  if ((format & DT_VCENTER) != 0) return rect.top + (rect.Height() - layout.cellHeight) / 2;
  if ((format & DT_BOTTOM) != 0) return rect.bottom - layout.cellHeight;
  return rect.top;
}

int LineLeft(const Line& line, const Rect& rect, std::uint32_t format) {
  if ((format & DT_CENTER) != 0) return rect.left + (rect.Width() - line.PixelWidth()) / 2;
  if ((format & DT_RIGHT) != 0) return rect.right - line.PixelWidth();
  return rect.left;
}

// Blends one glyph's coverage in `pixel` colour at (x, y) (surface coordinates), within `clip`.
void BlendGlyph(Surface& surface, const Glyph& glyph, int x, int y, const Rect& clip, std::uint32_t pixel) {
  const Rect area = Rect{x, y, x + glyph.width, y + glyph.height}.Intersect(clip);
  const std::uint32_t r = (pixel >> 16) & 0xFF;
  const std::uint32_t g = (pixel >> 8) & 0xFF;
  const std::uint32_t b = pixel & 0xFF;
  for (int row = area.top; row < area.bottom; ++row) {
    const std::uint8_t* coverage = glyph.coverage.data() + static_cast<std::size_t>(row - y) * glyph.width - x;
    std::uint32_t* out = surface.Row(row);
    for (int column = area.left; column < area.right; ++column) {
      const std::uint32_t a = coverage[column];
      if (a == 0) continue;
      if (a == 255) {
        out[column] = pixel;
        continue;
      }
      const std::uint32_t d = out[column];
      const auto mix = [a](std::uint32_t src, std::uint32_t dst) { return (src * a + dst * (255 - a) + 127) / 255; };
      out[column] = (mix(r, (d >> 16) & 0xFF) << 16) | (mix(g, (d >> 8) & 0xFF) << 8) | mix(b, d & 0xFF);
    }
  }
}

}  // namespace

int DrawText(const Canvas& canvas, std::u16string_view text, Rect rect, std::uint32_t format, const Font& font,
             ColorRef color) {
  if (text.empty()) return 0;
  const FontData& data = font.Data();
  const Layout layout = LayOut(text, rect, format, data);
  const int height = static_cast<int>(layout.lines.size()) * layout.cellHeight;
  if (canvas.surface == nullptr) return height;

  const Rect clip = (format & DT_NOCLIP) != 0 ? canvas.clip.Intersect(canvas.surface->Bounds())
                                              : canvas.ToSurface(rect).Intersect(canvas.surface->Bounds());
  const std::uint32_t pixel = PixelOf(color);
  int top = BlockTop(layout, rect, format) + canvas.origin.y;
  for (const Line& line : layout.lines) {
    const int left = LineLeft(line, rect, format) + canvas.origin.x;
    const int baseline = top + layout.ascent;
    for (std::size_t i = 0; i < line.glyphs.size(); ++i) {
      const Glyph* glyph = line.glyphs[i];
      if (glyph == nullptr || glyph->coverage.empty()) continue;
      const int penX = left + static_cast<int>((line.pens[i] + 32) / 64);
      BlendGlyph(*canvas.surface, *glyph, penX + glyph->left, baseline - glyph->top, clip, pixel);
    }
    top += layout.cellHeight;
  }
  return height;
}

Rect MeasureText(std::u16string_view text, Rect rect, std::uint32_t format, const Font& font) {
  if (text.empty()) return {rect.left, rect.top, rect.left, rect.top};
  const Layout layout = LayOut(text, rect, format, font.Data());
  int widest = 0;
  for (const Line& line : layout.lines) widest = std::max(widest, line.PixelWidth());
  const int top = BlockTop(layout, rect, format);
  int left = rect.left;
  if ((format & DT_CENTER) != 0) left = rect.left + (rect.Width() - widest) / 2;
  else if ((format & DT_RIGHT) != 0) left = rect.right - widest;
  return {left, top, left + widest, top + static_cast<int>(layout.lines.size()) * layout.cellHeight};
}

}  // namespace platform
