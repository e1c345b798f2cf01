#include "ui/controls/BitmapBarCtrl.h"

#include <cstdint>

#include "platform/Graphics.h"

using namespace platform;

BitmapBarCtrl::BitmapBarCtrl(int margin_, int fillInset_) : margin(margin_), fillInset(fillInset_) {}

BitmapBarCtrl::~BitmapBarCtrl() { Destroy(); }

bool BitmapBarCtrl::LoadBarBitmaps(int trackId, int pieceId, const SkinModule& module) {
  Bitmap track = module.LoadSkinBitmap(trackId);
  Bitmap piece = module.LoadSkinBitmap(pieceId);
  {
    std::lock_guard<std::mutex> lock(bitmapMutex);
    trackBitmap = track;
    pieceBitmap = piece;
  }
  const int trackHeight = track ? track->Height() : 0;
  if (track) SetPosition(0, 0, track->Width(), track->Height(), SWP_NOMOVE | SWP_NOOWNERZORDER);
  pieceWidth = piece ? piece->Width() : 0;
  pieceHeight = piece ? piece->Height() : 0;
  pieceX = margin;
  pieceY = (trackHeight - pieceHeight) / 2;
  return true;
}

void BitmapBarCtrl::Advance(int n) {
  if (rangeMode.load() == 0) {
    int x = pieceX.load() + n;
    const Rect client = ClientRect();
    // Past the band the piece starts again wholly left of it and slides back in.
    if (x >= client.right - margin) x = client.left - pieceWidth;
    pieceX = x;
  } else {
    auto next = static_cast<std::uint16_t>(position.load() + n);
    if (next > rangeHigh.load()) next = rangeHigh.load();
    position = next;
  }
  Invalidate(true);
}

int BitmapBarCtrl::FillWidth() const {
  const int span = static_cast<int>(rangeHigh.load()) - static_cast<int>(rangeLow.load());
  if (span <= 0) return 0;
  const int width = ClientRect().Width();
  return static_cast<std::int16_t>(((width - fillInset) * static_cast<int>(position.load())) / span);
}

LResult BitmapBarCtrl::HandleMessage(MessageId message, WParam wParam, LParam lParam) {
  if (message == WM_PAINT) {
    Paint(CanvasOf(wParam));
    return 0;
  }
  return Window::HandleMessage(message, wParam, lParam);
}

void BitmapBarCtrl::Paint(Canvas& canvas) {
  Bitmap track;
  Bitmap piece;
  {
    std::lock_guard<std::mutex> lock(bitmapMutex);
    track = trackBitmap;
    piece = pieceBitmap;
  }
  const Rect client = ClientRect();
  if (track) Copy(canvas, 0, 0, client.Width(), client.Height(), *track, 0, 0);
  if (!piece) return;
  if (rangeMode.load() != 0) {
    Stretch(canvas, pieceX, pieceY, FillWidth(), pieceHeight, *piece, 0, 0, pieceWidth, pieceHeight);
  } else {
    PaintMovingPiece(canvas, client, *piece);
  }
}

void BitmapBarCtrl::PaintMovingPiece(Canvas& canvas, const Rect& client, const Surface& piece) {
  const int leftLimit = client.left + margin;
  const int rightLimit = client.right - margin;
  const int x = pieceX;
  const int width = pieceWidth;
  const int end = x + width;
  if (x > rightLimit || end < leftLimit) return;
  if (end > rightLimit) {
    Copy(canvas, x, pieceY, rightLimit - x, pieceHeight, piece, 0, 0);
  } else if (x < leftLimit) {
    Copy(canvas, leftLimit, pieceY, end - leftLimit, pieceHeight, piece, leftLimit - x, 0);
  } else {
    Copy(canvas, x, pieceY, width, pieceHeight, piece, 0, 0);
  }
}
