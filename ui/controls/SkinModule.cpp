#include "ui/controls/SkinModule.h"

namespace {

class EmbeddedSkinModule final : public SkinModule {
 public:
  platform::Bitmap LoadSkinBitmap(int id) const override {
    const int resourceId = id & 0xFFFF;
    if (resourceId == 0) return nullptr;  // id 0 names no resource
    return platform::LoadBitmap(resourceId);
  }
};

}  // namespace

const SkinModule& EmbeddedSkin() {
  static const EmbeddedSkinModule module;
  return module;
}
