#pragma once

#include "ui/controls/BitmapBarCtrl.h"

// The waiting indicator: used in animation mode, the piece travelling inside a band 5 pixels in
// from each side of the track. Its range-mode fill is (client width - 2) x position / span.
class CBitmapDelayBarCtrl : public BitmapBarCtrl {
 public:
  CBitmapDelayBarCtrl() : BitmapBarCtrl(/*margin=*/5, /*fillInset=*/2) {}
  ~CBitmapDelayBarCtrl() override { Destroy(); }

  // Advances by `n` steps. From any thread.
  void StepBy(int n) { Advance(n); }
};
