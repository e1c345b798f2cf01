#pragma once

#include "ui/controls/BitmapBarCtrl.h"

// The transfer's progress bar: used in range mode, the piece stretched from the left edge to
// client width x position / (rangeHigh - rangeLow). No margin.
class CBitmapProgressBarCtrl : public BitmapBarCtrl {
 public:
  CBitmapProgressBarCtrl() : BitmapBarCtrl(/*margin=*/0, /*fillInset=*/0) {}
  ~CBitmapProgressBarCtrl() override { Destroy(); }

  // Advances by one step. From any thread.
  void StepIt() { Advance(1); }
};
