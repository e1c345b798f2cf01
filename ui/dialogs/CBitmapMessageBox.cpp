#include "ui/dialogs/CBitmapMessageBox.h"

#include <algorithm>

#include "localization/TranslationSettings.h"
#include "platform/Graphics.h"
#include "platform/TextDrawing.h"

using namespace platform;

namespace {

constexpr std::uint32_t kButtonStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;

// The upgrade screens' text layout: rectangles from 25 pixels right of the client's left edge to
// its right and bottom edges.
constexpr int kTextLeft = 25;
constexpr int kHeadingTop = 21;
constexpr int kMessageTop = 132;
constexpr int kStatusTop = 144;
constexpr int kBodyTop = 240;
constexpr std::uint32_t kDefaultHeadingFormat = DT_CENTER | DT_SINGLELINE | DT_WORD_ELLIPSIS;
constexpr std::uint32_t kDefaultTextFormat = DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_WORD_ELLIPSIS;

bool IsDrawn(const std::optional<std::u16string>& text) { return text && !text->empty(); }

std::optional<std::u16string> DrawnText(const std::optional<std::u16string>& text) {
  if (!IsDrawn(text)) return std::nullopt;
  return text;
}

void DrawSlot(const Canvas& canvas, const std::optional<std::u16string>& text, std::int32_t format,
              std::uint32_t defaultFormat, const Font& font, ColorRef color, const Rect& rect) {
  if (!IsDrawn(text)) return;
  const std::uint32_t flags = format == -1 ? defaultFormat : static_cast<std::uint32_t>(format);
  DrawText(canvas, *text, rect, flags, font, color);
}

}  // namespace

CBitmapMessageBox::CBitmapMessageBox(WindowSystem& system) : Dialog(system, kTemplateId) {
  state.texts.statusFont = Font::Create(14, 400, UiFontFace);
  state.texts.headingFont = Font::Create(16, 700, UiFontFace);
}

CBitmapMessageBox::~CBitmapMessageBox() { Destroy(); }

// --- Configuration ---

void CBitmapMessageBox::SetSkinModule(const SkinModule* module) { resourceInstance = module; }

const SkinModule& CBitmapMessageBox::Skin() const {
  return resourceInstance != nullptr ? *resourceInstance : EmbeddedSkin();
}

void CBitmapMessageBox::LoadBackground(int id) {
  Bitmap bitmap = Skin().LoadSkinBitmap(id);
  std::lock_guard<std::mutex> lock(stateMutex);
  state.backgroundId = id & 0xFFFF;
  state.background = std::move(bitmap);
}

void CBitmapMessageBox::SetSkinBitmaps(const std::array<int, kSkinBitmapCount>& ids) {
  for (int i = 0; i < 3; ++i) closeBitmapIds[i] = ids[i];
  for (int kind = 0; kind < kButtonKinds; ++kind) {
    for (int i = 0; i < 3; ++i) kindBitmapIds[kind][i] = ids[3 + kind * 3 + i];
  }
}

bool CBitmapMessageBox::AllocateButtons(int count) {
  if (buttons || count < 0) return false;
  // AddButton never fills more than eight, so no more are made.
  buttons = std::make_unique<ButtonItem[]>(static_cast<std::size_t>(std::min(count, kMaxButtons)));
  buttonCapacity = count;
  return true;
}

void CBitmapMessageBox::AddButton(int x, int code, const char16_t* caption, int fromBottom) {
  if (buttonCount >= kMaxButtons || buttonCount >= buttonCapacity) return;
  ButtonItem& item = buttons[buttonCount];
  item.code = code;
  item.x = x;
  item.fromBottom = fromBottom;
  item.caption = caption != nullptr ? std::optional<std::u16string>(caption) : std::nullopt;
  ++buttonCount;
}

void CBitmapMessageBox::SetTexts(const char16_t* status, const char16_t* heading, const char16_t* message,
                                 const char16_t* body) {
  std::lock_guard<std::mutex> lock(stateMutex);
  if (status != nullptr) state.texts.statusText = status;
  if (heading != nullptr) state.texts.headingText = heading;
  if (message != nullptr) state.texts.messageText = message;
  if (body != nullptr) state.texts.bodyText = body;
}

void CBitmapMessageBox::SetButtonTextStyle(int height, std::u16string_view face, ColorRef color1, ColorRef color2,
                                           ColorRef color3, ColorRef color4, int bold) {
  buttonFontHeight = height;
  buttonFontFace = face;
  buttonColors = {color1, color2, color3, color4};
  buttonBold = bold;
}

void CBitmapMessageBox::SetSlotFont(Font MessageBoxTexts::*slot, int height, int weight, std::u16string_view face) {
  Font font = Font::Create(height, weight, face);
  std::lock_guard<std::mutex> lock(stateMutex);
  state.texts.*slot = std::move(font);
}

void CBitmapMessageBox::SetStatusFont(int height, int weight, std::u16string_view face) {
  SetSlotFont(&MessageBoxTexts::statusFont, height, weight, face);
}
void CBitmapMessageBox::SetHeadingFont(int height, int weight, std::u16string_view face) {
  SetSlotFont(&MessageBoxTexts::headingFont, height, weight, face);
}
void CBitmapMessageBox::SetMessageFont(int height, int weight, std::u16string_view face) {
  SetSlotFont(&MessageBoxTexts::messageFont, height, weight, face);
}
void CBitmapMessageBox::SetBodyFont(int height, int weight, std::u16string_view face) {
  SetSlotFont(&MessageBoxTexts::bodyFont, height, weight, face);
}

// --- Shared state ---

MessageBoxTexts CBitmapMessageBox::Texts() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return state.texts;
}

void CBitmapMessageBox::UpdateTexts(const std::function<void(MessageBoxTexts&)>& change) {
  std::lock_guard<std::mutex> lock(stateMutex);
  change(state.texts);
}

int CBitmapMessageBox::BackgroundId() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return state.backgroundId;
}

Bitmap CBitmapMessageBox::Background() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return state.background;
}

Rect CBitmapMessageBox::BackgroundRect() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return state.backgroundRect;
}

std::optional<ColorRef> CBitmapMessageBox::LayeredColorKey() const {
  std::lock_guard<std::mutex> lock(stateMutex);
  return state.colorKey;
}

ButtonItem* CBitmapMessageBox::ButtonAt(int index) {
  if (index < 0 || index >= buttonCount) return nullptr;
  return &buttons[index];
}

const ButtonItem* CBitmapMessageBox::ButtonAt(int index) const {
  if (index < 0 || index >= buttonCount) return nullptr;
  return &buttons[index];
}

// --- Opening ---

bool CBitmapMessageBox::OnInitDialog() {
  {
    const Rect client = ClientRect();
    std::lock_guard<std::mutex> lock(stateMutex);
    state.backgroundRect = client;
  }
  LoadBackground(BackgroundId());
  FitWindowToBackground();
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    state.colorKey = kColorKey;
  }
  CreateControls();
  return true;
}

void CBitmapMessageBox::FitWindowToBackground() {
  const Bitmap background = Background();
  if (!background) return;  // the window keeps its template size
  SetPosition(0, 0, background->Width(), background->Height(), SWP_NOMOVE | SWP_NOOWNERZORDER);
  std::lock_guard<std::mutex> lock(stateMutex);
  state.backgroundRect.right = state.backgroundRect.left + background->Width();
  state.backgroundRect.bottom = state.backgroundRect.top + background->Height();
}

void CBitmapMessageBox::ReloadBackground() {
  {
    const Rect client = ClientRect();
    std::lock_guard<std::mutex> lock(stateMutex);
    state.backgroundRect = client;
  }
  LoadBackground(BackgroundId());
  FitWindowToBackground();
  InvalidateRect(BackgroundRect(), false);
}

void CBitmapMessageBox::CreateControls() {
  const Rect client = ClientRect();
  CreateCloseButton(client);
  for (int i = 0; i < buttonCount; ++i) CreateButtonItem(i, client);
}

void CBitmapMessageBox::CreateCloseButton(const Rect& client) {
  const Rect rect{client.right - 28, client.top + 5, client.right - 2, client.top + 20};
  if (!closeButton.Exists() && !closeButton.Create(*this, u"", kButtonStyle, rect, kCloseCommand)) return;
  closeButton.LoadStateBitmaps(closeBitmapIds[0], closeBitmapIds[1], closeBitmapIds[2], -1, -1, -1, -1,
                               EmbeddedSkin());
  closeButton.latchMode = 1;
  closeButton.latched = 0;
  closeButton.Invalidate(true);
}

void CBitmapMessageBox::CreateButtonItem(int index, const Rect& client) {
  ButtonItem& item = buttons[index];
  item.rect.left = item.x;
  item.rect.top = client.bottom - item.fromBottom;
  item.rect.right = item.rect.left + kButtonWidth;
  item.rect.bottom = item.rect.top + kButtonHeight;
  CHoverButtonV2& button = item.button;
  if (!button.Exists() && !button.Create(*this, u"", kButtonStyle, item.rect, kFirstButtonCommand + index)) return;

  if (item.code >= 1 && item.code <= kButtonKinds) {
    const std::array<int, 3>& ids = kindBitmapIds[item.code - 1];
    button.LoadStateBitmaps(ids[0], ids[1], ids[2], -1, -1, -1, -1, Skin());
  } else {
    // No kind, no images: the button shrinks to nothing.
    button.LoadStateBitmaps(0, -1, -1, -1, -1, -1, -1, Skin());
  }
  if (item.caption) button.SetCaption(*item.caption);
  button.latchMode = 1;
  button.latched = 0;
  button.Invalidate(true);
  if (buttonFontHeight != 0) {
    button.SetCaptionStyle(buttonFontHeight, buttonFontFace, buttonColors[0], buttonColors[1], buttonColors[2],
                           buttonColors[3], buttonBold != 0, false, false, false);
  }
}

void CBitmapMessageBox::ResetButtonStates() {
  for (int i = 0; i < buttonCount; ++i) {
    CHoverButtonV2& button = buttons[i].button;
    if (!button.Exists()) continue;
    button.latchMode = 1;
    button.latched = 0;
    button.Invalidate(true);
    button.Send(BM_SETSTATE, 0);
  }
}

// --- Messages ---

LResult CBitmapMessageBox::HandleMessage(MessageId message, WParam wParam, LParam lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = static_cast<int>(LowWord(wParam));
      if (id == kCloseCommand) {
        EndDialog(0);
        return 0;
      }
      const int index = id - kFirstButtonCommand;
      if (index >= 0 && index < kMaxButtons) {
        // Only filled items end the dialog: a command from anywhere else has no code to give.
        if (index < buttonCount) EndDialog(buttons[index].code);
        return 0;
      }
      return Dialog::HandleMessage(message, wParam, lParam);
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return 0;
    default:
      return Dialog::HandleMessage(message, wParam, lParam);
  }
}

// --- Painting helpers and description ---

LResult CBitmapMessageBox::OnEraseBkgnd(WParam wParam, LParam lParam) {
  const LResult result = DefaultProcessing(WM_ERASEBKGND, wParam, lParam);
  EraseWithBackground(CanvasOf(wParam));
  return result;
}

void CBitmapMessageBox::EraseWithBackground(Canvas& canvas) const {
  const Bitmap background = Background();
  if (!background) return;
  const Rect client = ClientRect();
  Copy(canvas, 0, 0, client.Width(), client.Height(), *background, 0, 0);
}

void CBitmapMessageBox::PaintTextSlots(Canvas& canvas) const {
  const Rect client = ClientRect();
  if (const Bitmap background = Skin().LoadSkinBitmap(BackgroundId())) {
    Copy(canvas, 0, 0, client.Width(), client.Height(), *background, 0, 0);
  }
  const MessageBoxTexts t = Texts();
  const auto slotRect = [&](int top) {
    return Rect{client.left + kTextLeft, client.top + top, client.right, client.bottom};
  };
  DrawSlot(canvas, t.headingText, t.headingFormat, kDefaultHeadingFormat, t.headingFont, t.headingColor,
           slotRect(kHeadingTop));
  DrawSlot(canvas, t.statusText, t.statusFormat, kDefaultTextFormat, t.statusFont, t.statusColor,
           slotRect(kStatusTop));
  DrawSlot(canvas, t.messageText, t.messageFormat, kDefaultTextFormat, t.messageFont, t.messageColor,
           slotRect(kMessageTop));
  DrawSlot(canvas, t.bodyText, t.bodyFormat, kDefaultTextFormat, t.bodyFont, t.bodyColor, slotRect(kBodyTop));
}

ScreenDescription CBitmapMessageBox::DescribeScreen() const {
  const MessageBoxTexts t = Texts();
  ScreenDescription screen;
  screen.heading = DrawnText(t.headingText);
  screen.status = DrawnText(t.statusText);
  screen.message = DrawnText(t.messageText);
  screen.body = DrawnText(t.bodyText);
  const auto isUsable = [](const CHoverButtonV2& button) {
    return button.Exists() && button.IsVisible() && button.IsEnabled() && !button.WindowRect().IsEmpty();
  };
  for (int i = 0; i < buttonCount; ++i) {
    const CHoverButtonV2& button = buttons[i].button;
    if (isUsable(button)) screen.buttons.push_back(button.Caption());
  }
  screen.closeButton = isUsable(closeButton);
  return screen;
}
