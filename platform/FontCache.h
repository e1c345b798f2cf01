#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/Font.h"

// Internal to the graphics layer: the process-wide cache behind Font handles and text drawing.
// Every FreeType and fontconfig call happens under the cache's one mutex, because neither library
// lets two threads use a face (or a configuration) at once. Glyphs are rendered once and never
// freed, so a Glyph pointer obtained under the lock stays valid and unchanged afterwards and can be
// read while drawing without holding it.

typedef struct FT_LibraryRec_* FT_Library;
typedef struct FT_FaceRec_* FT_Face;
typedef struct _FcPattern FcPattern;
typedef struct _FcFontSet FcFontSet;

namespace platform {

// One rendered glyph: an 8-bit coverage bitmap placed relative to the pen on the baseline.
struct Glyph {
  int left = 0;        // from the pen position to the bitmap's left column
  int top = 0;         // from the baseline up to the bitmap's top row
  int width = 0;
  int height = 0;
  int advance = 0;     // in 1/64 pixel
  std::vector<std::uint8_t> coverage;  // width * height, row by row
};

// One font file face at one size, with the glyphs rendered from it so far.
class FaceInstance {
 public:
  FaceInstance(FT_Face face, bool embolden) : face_(face), embolden_(embolden) {}
  ~FaceInstance();
  FaceInstance(const FaceInstance&) = delete;
  FaceInstance& operator=(const FaceInstance&) = delete;

  bool HasCharacter(char32_t c) const;
  const Glyph* GlyphForCharacter(char32_t c);
  const Glyph* GlyphAt(unsigned index);

 private:
  FT_Face face_;
  bool embolden_;
  std::unordered_map<unsigned, std::unique_ptr<Glyph>> glyphs_;
};

class FontData {
 public:
  ~FontData();

  int cellHeight = 0;
  int ascent = 0;
  int weight = 400;
  std::u16string face;
  std::string resolvedFamily;
  std::string resolvedFile;

  // The glyph that draws `c`: from the resolved face, else from the first face of the fallback
  // chain that has it, else the resolved face's missing-glyph box. Call with the cache locked.
  const Glyph* GlyphFor(char32_t c) const;

 private:
  friend class FontCache;
  FaceInstance* primary = nullptr;
  long emSize = 0;           // 1/64 pixel, shared by the fallback faces
  FcPattern* pattern = nullptr;     // the request, kept for building the fallback chain
  mutable FcFontSet* fallbacks = nullptr;  // sorted lazily on the first missing character
  mutable bool fallbacksSorted = false;
  mutable std::array<const Glyph*, 128> ascii{};
  mutable std::unordered_map<char32_t, const Glyph*> others;
};

class FontCache {
 public:
  static FontCache& Instance();

  // The font for these parameters, resolving and opening it on first use. `faceUtf8` empty means
  // the system's sans face. Takes the lock itself.
  std::shared_ptr<const FontData> Get(int height, int weight, const std::string& faceUtf8,
                                      std::u16string_view faceUtf16);
  std::shared_ptr<const FontData> Default();

  std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }

  // Opens (or finds) a face of `file` sized to `emSize` (1/64 pixel); null when the file cannot
  // be opened. Call with the lock held.
  FaceInstance* OpenFace(const std::string& file, int index, long emSize, bool embolden);

 private:
  FontCache();
  std::shared_ptr<FontData> Resolve(int height, int weight, const std::string& faceUtf8);

  std::mutex mutex_;
  FT_Library library_ = nullptr;
  std::map<std::tuple<int, int, std::string>, std::shared_ptr<const FontData>> fonts_;
  std::map<std::tuple<std::string, int, long, bool>, std::unique_ptr<FaceInstance>> instances_;
};

}  // namespace platform
