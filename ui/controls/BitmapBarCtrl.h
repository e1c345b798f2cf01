#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/Bitmap.h"
#include "platform/Window.h"
#include "ui/controls/SkinModule.h"

// A bar drawn from two bitmaps: a track that fills the whole control and a piece drawn over it.
//
// Range mode (`rangeMode` 1): the piece is stretched from `pieceX` to a width proportional to
// `position` within `rangeLow`..`rangeHigh`. Animation mode (0): the unstretched piece travels
// from left to right inside the track, between bands of `margin` pixels at both sides, and starts
// again from the left.
//
// The owner creates the control (CreateChild with WS_CHILD | WS_VISIBLE; only the top-left corner
// of the rectangle matters), calls LoadBarBitmaps, sets the mode and range and steps it. The
// control never notifies anybody.
//
// Threads: stepping and the mode and range members may be used from any thread (they are
// atomics, and stepping only invalidates); painting happens on the thread that owns the dialog.
// A paint that reads a value while it changes shows the old or the new one.
class BitmapBarCtrl : public platform::Window {
 public:
  ~BitmapBarCtrl() override;

  // Loads the track and the piece, sizes the control to the track (keeping its position) and
  // puts the piece at x = `margin`, centred vertically. A bitmap that does not load leaves its
  // member empty (the control keeps its size without a track; the piece size is 0 x 0 without a
  // piece). Always returns true.
  bool LoadBarBitmaps(int trackId, int pieceId, const SkinModule& module = EmbeddedSkin());

  // 1 = range mode, 0 = animation mode.
  std::atomic<int> rangeMode{0};
  std::atomic<std::uint16_t> rangeLow{0};
  std::atomic<std::uint16_t> rangeHigh{0};
  std::atomic<std::uint16_t> position{0};
  // Where the piece is drawn (range mode: the left and top edge of the filled part).
  std::atomic<int> pieceX{0};
  std::atomic<int> pieceY{0};

  int PieceWidth() const { return pieceWidth.load(); }
  int PieceHeight() const { return pieceHeight.load(); }
  int Margin() const { return margin; }
  // The width of the filled part in range mode, as the next paint draws it.
  int FillWidth() const;

 protected:
  // `margin`: the band at each side that the moving piece does not enter, and its starting x.
  // `fillInset`: pixels of the client width left out of the range-mode fill width.
  BitmapBarCtrl(int margin, int fillInset);

  // Advances by `n`: the piece in animation mode, `position` (16-bit, kept to `rangeHigh`) in
  // range mode. Then invalidates the whole control.
  void Advance(int n);

  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                  platform::LParam lParam) override;

 private:
  void Paint(platform::Canvas& canvas);
  void PaintMovingPiece(platform::Canvas& canvas, const platform::Rect& client, const platform::Surface& piece);

  const int margin;
  const int fillInset;
  std::atomic<int> pieceWidth{0};
  std::atomic<int> pieceHeight{0};
  // Loading may run on another thread than painting: both bitmaps are replaced and read as whole
  // values under the mutex.
  mutable std::mutex bitmapMutex;
  platform::Bitmap trackBitmap;
  platform::Bitmap pieceBitmap;
};
