#pragma once

#include "platform/Bitmap.h"

// Where skin bitmaps come from. The program's skin is embedded in the executable; a dialog's
// creator may name another source for its background and button images (tests use their own
// bitmaps this way). Ids are 16-bit resource ids: only the low 16 bits count.
class SkinModule {
 public:
  virtual ~SkinModule() = default;
  // The bitmap `id`, or null when this source has none.
  virtual platform::Bitmap LoadSkinBitmap(int id) const = 0;
};

// The bitmaps embedded in the executable. Shared by everyone; thread-safe.
const SkinModule& EmbeddedSkin();
