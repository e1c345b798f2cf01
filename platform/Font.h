#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

class FontData;  // resolved faces and glyph caches; owned by the process-wide font cache

// A font as the dialogs create one: by height, weight and face name. A cheap, copyable handle:
// copies share the resolved faces and their glyph cache, and creating the same font twice returns
// the same data. The default-constructed Font is null; drawing with a null font uses the default
// font (16 pixels, normal weight, the system's sans face).
//
// height > 0: the character cell height in pixels (ascent + descent of the face = height).
// height < 0: the em height in pixels (the glyphs' nominal size), as the classic API takes it.
// height = 0: 16 pixels cell height.
// weight: 100..900 as usual (300 light, 400 normal, 700 bold); 0 means normal. Faces lacking a
// bold weight are emboldened.
// face: a family name. A family that is not installed falls back to the system's sans face as
// fontconfig chooses (aliases such as "Arial" to a metric-compatible family apply). Characters
// the face lacks (Chinese, for example) are drawn from the first installed face that has them.
class Font {
 public:
  Font() = default;
  static Font Create(int height, int weight, std::u16string_view face);
  static Font Create(int height, int weight, std::string_view faceUtf8);

  bool IsNull() const { return data_ == nullptr; }

  // What the font resolved to (for a null font: the default font's values).
  int CellHeight() const;   // ascent + descent in pixels
  int Ascent() const;       // baseline offset from the top of a line
  int Weight() const;       // the requested weight, 0 mapped to 400
  std::u16string Face() const;          // the requested face name
  std::string ResolvedFamily() const;   // family of the face actually used, e.g. "Liberation Sans"
  std::string ResolvedFile() const;     // its font file

  const FontData& Data() const;  // for text drawing; never null (null fonts give the default)

  friend bool operator==(const Font& a, const Font& b) { return a.data_ == b.data_; }

 private:
  explicit Font(std::shared_ptr<const FontData> data) : data_(std::move(data)) {}
  std::shared_ptr<const FontData> data_;
};

}  // namespace platform
