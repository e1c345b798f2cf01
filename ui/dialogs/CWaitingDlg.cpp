#include "ui/dialogs/CWaitingDlg.h"

#include "engine/ResultShown.h"
#include "engine/UpgradeEngine.h"
#include "platform/Graphics.h"
#include "platform/TextDrawing.h"

std::atomic<int> waitingDialogReady{0};

namespace {

// The close button's images (which the skin does not carry), then the three images of each
// button kind 1 to 8.
constexpr std::array<int, CBitmapMessageBox::kSkinBitmapCount> kSkinBitmaps = {
    148, 149, 164, 662, 661, 663, 659, 658, 660, 662, 661, 663, 659, 658, 660,
    153, 154, 155, 659, 658, 660, 659, 658, 660, 659, 658, 660};

constexpr platform::ColorRef kWhite = 0xFFFFFF;
constexpr int kButtonFontHeight = 14;

constexpr int kDelayTrackId = 647;
constexpr int kDelayPieceId = 646;

// How often the threads look at flags that are set without notice, and the animation's pace.
constexpr platform::Millis kWatchPollMs = 10;
constexpr platform::Millis kResultPollMs = 100;
constexpr platform::Millis kAnimationStepMs = 100;

constexpr std::uint32_t kHeadingFormat =
    platform::DT_CENTER | platform::DT_SINGLELINE | platform::DT_WORD_ELLIPSIS;
constexpr std::uint32_t kStatusFormat =
    platform::DT_CENTER | platform::DT_VCENTER | platform::DT_WORDBREAK | platform::DT_WORD_ELLIPSIS;

}  // namespace

CWaitingDlg::CWaitingDlg(platform::WindowSystem& system)
    : CBitmapMessageBox(system), clock(system.GetClock()), flagsChanged(system.GetClock()) {}

CWaitingDlg::~CWaitingDlg() {
  WaitForThreads();
  Destroy();
}

void CWaitingDlg::Configure(const WaitingDialogSetup& setup) {
  SetSkinModule(&EmbeddedSkin());
  LoadBackground(setup.backgroundId);
  engine = setup.engine;
  SetSkinBitmaps(kSkinBitmaps);
  AllocateButtons(0);
  SetButtonTextStyle(kButtonFontHeight, setup.fontFace, kWhite, kWhite, kWhite, kWhite, 0);
  linkB = setup.linkB;
  linkA = setup.linkA;
  currentLink = setup.currentLink;
  SetTexts(setup.statusText.c_str(), setup.headingText.c_str(), nullptr, nullptr);
  delayBar.rangeLow = static_cast<std::uint16_t>(setup.delayLow);
  delayBar.rangeHigh = static_cast<std::uint16_t>(setup.delayHigh);
  modalResult = 0;
}

void CWaitingDlg::StartWaiting() {
  resultShown = true;
  waitingDialogReady = 0;
  {
    std::lock_guard<std::mutex> lock(flagsMutex);
    painted = false;
    queryDone = false;
    stopAnimation = false;
    animationDone = false;
  }
  queryThread = clock.StartThread([this] { QueryThread(); });
  watchThread = clock.StartThread([this] { WatchThread(); });
  animationThread = clock.StartThread([this] { AnimationThread(); });
}

void CWaitingDlg::WaitForThreads() {
  for (platform::Thread* thread : {&queryThread, &watchThread, &animationThread}) {
    if (thread->Joinable()) thread->Join();
  }
}

bool CWaitingDlg::QueryDone() const { return Flag(&CWaitingDlg::queryDone); }

void CWaitingDlg::QueryThread() {
  if (engine->QueryAndCheck(currentLink)) {
    resultShown = false;
    modalResult = DoModal();
  }
  SetFlag(&CWaitingDlg::queryDone);
}

void CWaitingDlg::WatchThread() {
  const bool opened = WaitFor([] { return !resultShown && waitingDialogReady != 0; }, kWatchPollMs);
  SetFlag(&CWaitingDlg::stopAnimation);
  if (!opened) return;
  // A dialog its user cannot close ends once its animation has had its last step.
  if (WaitFor([this] { return animationDone; }, kAnimationStepMs) && !UserCanClose()) EndDialog(0);
}

void CWaitingDlg::AnimationThread() {
  const bool ready = WaitFor([] { return !resultShown; }, kResultPollMs) &&
                     WaitFor([this] { return painted; }, kWatchPollMs) &&
                     WaitFor([this] { return Exists(); }, kWatchPollMs);
  if (ready && CreateDelayBar()) {
    std::unique_lock<std::mutex> lock(flagsMutex);
    while (!stopAnimation) {
      lock.unlock();
      if (delayBar.Exists()) delayBar.StepBy(1);
      lock.lock();
      flagsChanged.WaitUntil(lock, clock.Now() + kAnimationStepMs, [this] { return stopAnimation; });
    }
  }
  SetFlag(&CWaitingDlg::animationDone);
}

bool CWaitingDlg::CreateDelayBar() {
  const platform::Rect client = ClientRect();
  delayRect = platform::Rect{client.left + 35, client.bottom - 67, client.right - 20, client.bottom - 63};
  if (!delayBar.CreateChild(*this, u"BitmapDelayBar", u"", platform::WS_CHILD | platform::WS_VISIBLE,
                            delayRect, kDelayBarId)) {
    return false;
  }
  delayBar.LoadBarBitmaps(kDelayTrackId, kDelayPieceId);
  delayBar.rangeMode = 0;
  Invalidate(true);
  Update();
  return true;
}

template <class Ready>
bool CWaitingDlg::WaitFor(Ready ready, platform::Millis pollMs) {
  std::unique_lock<std::mutex> lock(flagsMutex);
  while (!ready()) {
    if (queryDone) return false;
    flagsChanged.WaitUntil(lock, clock.Now() + pollMs);
  }
  return true;
}

void CWaitingDlg::SetFlag(bool CWaitingDlg::*flag) {
  std::lock_guard<std::mutex> lock(flagsMutex);
  this->*flag = true;
  flagsChanged.NotifyAll();
}

bool CWaitingDlg::Flag(bool CWaitingDlg::*flag) const {
  std::lock_guard<std::mutex> lock(flagsMutex);
  return this->*flag;
}

// The close button is the dialog's only way out; without its images it is 0 x 0 pixels.
bool CWaitingDlg::UserCanClose() const {
  return closeButton.IsVisible() && closeButton.IsEnabled() && closeButton.ImageWidth() > 0 &&
         closeButton.ImageHeight() > 0;
}

bool CWaitingDlg::OnInitDialog() {
  waitingDialogReady = 1;
  return CBitmapMessageBox::OnInitDialog();
}

platform::LResult CWaitingDlg::HandleMessage(platform::MessageId message, platform::WParam wParam,
                                             platform::LParam lParam) {
  switch (message) {
    case platform::WM_PAINT:
      Paint(CanvasOf(wParam));
      return 0;
    case platform::WM_ERASEBKGND:
      return OnEraseBkgnd(wParam, lParam);
    default:
      return CBitmapMessageBox::HandleMessage(message, wParam, lParam);
  }
}

void CWaitingDlg::Paint(platform::Canvas& canvas) {
  const platform::Rect client = ClientRect();
  if (platform::Bitmap background = Skin().LoadSkinBitmap(BackgroundId())) {
    platform::Copy(canvas, 0, 0, client.Width(), client.Height(), *background, 0, 0);
  }
  const MessageBoxTexts texts = Texts();
  if (texts.headingText && !texts.headingText->empty()) {
    const platform::Rect rect{client.left + 20, client.top + 10, client.right - 20, client.bottom - 10};
    platform::DrawText(canvas, *texts.headingText, rect, kHeadingFormat, texts.headingFont, texts.headingColor);
  }
  if (texts.statusText && !texts.statusText->empty()) {
    const platform::Rect rect{client.left + 20, client.top + 60, client.right - 20, client.bottom - 50};
    platform::DrawText(canvas, *texts.statusText, rect, kStatusFormat, texts.statusFont, texts.statusColor);
  }
  SetFlag(&CWaitingDlg::painted);
}

ScreenDescription CWaitingDlg::DescribeScreen() const {
  ScreenDescription screen = CBitmapMessageBox::DescribeScreen();
  // Only the heading and the status line are painted here.
  screen.message.reset();
  screen.body.reset();
  return screen;
}
