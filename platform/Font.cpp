#include "platform/Font.h"

#include "platform/FontCache.h"
#include "platform/TextEncoding.h"

namespace platform {

Font Font::Create(int height, int weight, std::u16string_view face) {
  return Font(FontCache::Instance().Get(height, weight, ToUtf8(face), face));
}

Font Font::Create(int height, int weight, std::string_view faceUtf8) {
  return Font(FontCache::Instance().Get(height, weight, std::string(faceUtf8), FromUtf8(faceUtf8)));
}

const FontData& Font::Data() const { return data_ ? *data_ : *FontCache::Instance().Default(); }

int Font::CellHeight() const { return Data().cellHeight; }
int Font::Ascent() const { return Data().ascent; }
int Font::Weight() const { return Data().weight; }
std::u16string Font::Face() const { return Data().face; }
std::string Font::ResolvedFamily() const { return Data().resolvedFamily; }
std::string Font::ResolvedFile() const { return Data().resolvedFile; }

}  // namespace platform
