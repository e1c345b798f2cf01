#include "platform/FontCache.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {
namespace {

constexpr int kDefaultCellHeight = 16;
constexpr int kNormalWeight = 400;
constexpr int kEmboldenFromWeight = 600;
constexpr const char* kSansFamily = "sans-serif";

std::string StringOf(FcPattern* pattern, const char* object) {
  FcChar8* value = nullptr;
  if (FcPatternGetString(pattern, object, 0, &value) != FcResultMatch || value == nullptr) return {};
  return reinterpret_cast<const char*>(value);
}

int IntegerOf(FcPattern* pattern, const char* object, int fallback) {
  int value = fallback;
  FcPatternGetInteger(pattern, object, 0, &value);
  return value;
}

bool BoolOf(FcPattern* pattern, const char* object) {
  FcBool value = FcFalse;
  FcPatternGetBool(pattern, object, 0, &value);
  return value == FcTrue;
}

// The face's cell, in font units: what the classic API calls ascent + descent. The OS/2 table's
// Windows metrics define it where present; the horizontal header otherwise.
struct CellMetrics {
  long ascent = 0;
  long descent = 0;
};

CellMetrics CellOf(FT_Face face) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    return {os2->usWinAscent, os2->usWinDescent};
  }
  if (face->ascender - face->descender > 0) return {face->ascender, -face->descender};
  return {face->units_per_EM, 0};
}

}  // namespace

// fontconfig links its patterns, character sets and configuration through offsets instead of
// pointers, so the leak checker cannot see that the cache (which lives for the whole process) still
// reaches them and reports them as lost. Living in this file, the suppression is linked into
// exactly the programs that use fonts.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

FaceInstance::~FaceInstance() { FT_Done_Face(face_); }

bool FaceInstance::HasCharacter(char32_t c) const { return FT_Get_Char_Index(face_, c) != 0; }

const Glyph* FaceInstance::GlyphForCharacter(char32_t c) { return GlyphAt(FT_Get_Char_Index(face_, c)); }

const Glyph* FaceInstance::GlyphAt(unsigned index) {
  auto& slot = glyphs_[index];
  if (slot) return slot.get();
  slot = std::make_unique<Glyph>();
  if (FT_Load_Glyph(face_, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT) != 0) return slot.get();
  FT_GlyphSlot loaded = face_->glyph;
  if (embolden_) FT_GlyphSlot_Embolden(loaded);
  slot->advance = static_cast<int>(loaded->advance.x);
  if (FT_Render_Glyph(loaded, FT_RENDER_MODE_NORMAL) != 0) return slot.get();
  const FT_Bitmap& bitmap = loaded->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return slot.get();
  slot->left = loaded->bitmap_left;
  slot->top = loaded->bitmap_top;
  slot->width = static_cast<int>(bitmap.width);
  slot->height = static_cast<int>(bitmap.rows);
  slot->coverage.resize(static_cast<std::size_t>(slot->width) * slot->height);
  for (int y = 0; y < slot->height; ++y) {
    const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
    std::memcpy(slot->coverage.data() + static_cast<std::size_t>(y) * slot->width, row, slot->width);
  }
  return slot.get();
}

FontData::~FontData() {
  if (fallbacks != nullptr) FcFontSetDestroy(fallbacks);
  if (pattern != nullptr) FcPatternDestroy(pattern);
}

const Glyph* FontData::GlyphFor(char32_t c) const {
  const Glyph** cached = c < ascii.size() ? &ascii[c] : &others[c];
  if (*cached != nullptr) return *cached;
  if (primary == nullptr) return nullptr;

  FaceInstance* source = primary;
  if (!primary->HasCharacter(c)) {
    if (!fallbacksSorted) {
      fallbacksSorted = true;
      FcResult result = FcResultNoMatch;
      fallbacks = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
    }
    for (int i = 0; fallbacks != nullptr && i < fallbacks->nfont; ++i) {
      FcPattern* candidate = fallbacks->fonts[i];
      FcCharSet* characters = nullptr;
      if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &characters) != FcResultMatch) continue;
      if (!FcCharSetHasChar(characters, c)) continue;
      FaceInstance* found = FontCache::Instance().OpenFace(StringOf(candidate, FC_FILE),
                                                           IntegerOf(candidate, FC_INDEX, 0), emSize,
                                                           weight >= kEmboldenFromWeight &&
                                                               IntegerOf(candidate, FC_WEIGHT, FC_WEIGHT_REGULAR) <
                                                                   FC_WEIGHT_DEMIBOLD);
      if (found != nullptr && found->HasCharacter(c)) {
        source = found;
        break;
      }
    }
  }
  *cached = source->GlyphForCharacter(c);
  return *cached;
}

FontCache& FontCache::Instance() {
  // Never destroyed: a dialog thread may still be drawing while the process exits.
  static FontCache* cache = new FontCache;
  return *cache;
}

FontCache::FontCache() {
  FcInit();
  if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
}

FaceInstance* FontCache::OpenFace(const std::string& file, int index, long emSize, bool embolden) {
  if (library_ == nullptr || file.empty()) return nullptr;
  auto& slot = instances_[{file, index, emSize, embolden}];
  if (slot) return slot.get();
  FT_Face face = nullptr;
  if (FT_New_Face(library_, file.c_str(), index, &face) != 0) return nullptr;
  if (FT_Set_Char_Size(face, 0, emSize, 72, 72) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  slot = std::make_unique<FaceInstance>(face, embolden);
  return slot.get();
}

std::shared_ptr<FontData> FontCache::Resolve(int height, int weight, const std::string& faceUtf8) {
  auto data = std::make_shared<FontData>();
  data->weight = weight;

  FcPattern* request = FcPatternCreate();
  const std::string family = faceUtf8.empty() ? kSansFamily : faceUtf8;
  // Built field by field, not parsed: face names such as "X Pro-Light" contain characters that
  // fontconfig's name syntax would read as a size.
  FcPatternAddString(request, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(request, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(request, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(request, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, request, FcMatchPattern);
  FcDefaultSubstitute(request);
  data->pattern = request;

  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, request, &result);
  if (match == nullptr) {
    data->cellHeight = height > 0 ? height : kDefaultCellHeight;
    data->ascent = data->cellHeight * 4 / 5;
    return data;
  }
  data->resolvedFamily = StringOf(match, FC_FAMILY);
  data->resolvedFile = StringOf(match, FC_FILE);
  const int index = IntegerOf(match, FC_INDEX, 0);
  const bool embolden = BoolOf(match, FC_EMBOLDEN) ||
                        (weight >= kEmboldenFromWeight && IntegerOf(match, FC_WEIGHT, 0) < FC_WEIGHT_DEMIBOLD);
  FcPatternDestroy(match);

  // Size the face so that its cell is `height` pixels (or its em, for a negative height).
  FT_Face probe = nullptr;
  CellMetrics cell{1, 0};
  long unitsPerEm = 1;
  if (library_ != nullptr && FT_New_Face(library_, data->resolvedFile.c_str(), index, &probe) == 0) {
    cell = CellOf(probe);
    unitsPerEm = std::max<long>(probe->units_per_EM, 1);
    FT_Done_Face(probe);
  }
  const long cellUnits = std::max<long>(cell.ascent + cell.descent, 1);
  if (height < 0) {
    data->emSize = static_cast<long>(-height) * 64;
    data->cellHeight = static_cast<int>(std::lround(static_cast<double>(-height) * cellUnits / unitsPerEm));
  } else {
    data->cellHeight = height;
    data->emSize = std::lround(64.0 * height * unitsPerEm / cellUnits);
  }
  data->ascent = static_cast<int>(std::lround(static_cast<double>(data->cellHeight) * cell.ascent / cellUnits));
  data->primary = OpenFace(data->resolvedFile, index, data->emSize, embolden);
  return data;
}

std::shared_ptr<const FontData> FontCache::Get(int height, int weight, const std::string& faceUtf8,
                                               std::u16string_view faceUtf16) {
  if (height == 0) height = kDefaultCellHeight;
  if (weight <= 0) weight = kNormalWeight;
  weight = std::min(weight, 1000);
  // Absurd sizes would make FreeType render megapixel glyphs; nothing on a screen needs more.
  height = std::clamp(height, -1000, 1000);
  std::lock_guard lock(mutex_);
  auto& slot = fonts_[{height, weight, faceUtf8}];
  if (!slot) {
    auto data = Resolve(height, weight, faceUtf8);
    data->face = std::u16string(faceUtf16);
    slot = std::move(data);
  }
  return slot;
}

std::shared_ptr<const FontData> FontCache::Default() { return Get(kDefaultCellHeight, kNormalWeight, {}, {}); }

}  // namespace platform
