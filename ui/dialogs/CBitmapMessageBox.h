#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Dialog.h"
#include "platform/Font.h"
#include "platform/Geometry.h"
#include "ui/controls/CHoverButtonV2.h"
#include "ui/controls/SkinModule.h"

// The four text slots of a skinned message box with their formats, colours and fonts.
//
// A text is "none" (nullopt), empty, or a text; painting draws only non-empty texts. A format is
// a set of DrawText flags; -1 asks the painting dialog for its default format. Colours are
// 0x00BBGGRR. A null font draws with the default font.
struct MessageBoxTexts {
  std::optional<std::u16string> statusText = std::u16string();
  std::int32_t statusFormat = -1;
  std::optional<std::u16string> headingText;
  std::int32_t headingFormat = -1;
  std::optional<std::u16string> messageText;
  std::int32_t messageFormat = -1;
  std::optional<std::u16string> bodyText;
  std::int32_t bodyFormat = -1;

  platform::ColorRef statusColor = 0xFFFFFF;
  platform::ColorRef headingColor = 0xFFFFFF;
  platform::ColorRef messageColor = 0xFFFFFF;
  platform::ColorRef bodyColor = 0xFFFFFF;

  platform::Font statusFont;
  platform::Font headingFont;
  platform::Font messageFont;
  platform::Font bodyFont;
};

// What a skinned dialog shows now, for the program's --headless output and for tests. A text is
// nullopt when nothing is drawn in its place (no text or an empty one).
struct ScreenDescription {
  struct Progress {
    int position = 0;
    int low = 0;
    int high = 0;
  };

  std::optional<std::u16string> heading;
  std::optional<std::u16string> status;
  std::optional<std::u16string> message;
  std::optional<std::u16string> body;
  // Captions of the button items that are seen and enabled, in item order ("" for an item
  // without caption). The small close button is not listed.
  std::vector<std::u16string> buttons;
  bool closeButton = false;  // the close button is seen and enabled
  std::optional<Progress> progress;  // filled by dialogs that show a progress bar
};

// One of the dialog's row of skinned buttons. Command 2181 + its index ends the dialog with
// `code` unless a subclass handles it; `code` 1 to 8 also selects the button kind's images.
struct ButtonItem {
  int code = 0;
  int x = 0;           // left edge in client pixels
  int fromBottom = 0;  // distance of the top edge above the client bottom
  CHoverButtonV2 button;
  platform::Rect rect;  // zeros until created
  std::optional<std::u16string> caption;  // nullopt: no caption
};

// The base of the skinned modal dialogs: a borderless window that takes the size of its
// background bitmap, with RGB(255, 0, 255) as its transparent colour; four text slots that the
// subclasses paint; a small close button (command 2195) that ends the dialog with 0; up to eight
// button items (commands 2181 to 2188). Enter, Escape and the system close do nothing.
//
// A creator configures the dialog with the setters below and then runs DoModal:
//
//   box.SetSkinModule(&EmbeddedSkin());
//   box.LoadBackground(648);
//   box.SetSkinBitmaps({209, 121, 656, ...});   // 27 ids
//   box.AllocateButtons(1);
//   box.SetTexts(status, heading, nullptr, body);
//   box.AddButton(307, 3, caption, 59);
//   int code = box.DoModal();
//
// Threads: the dialog runs on the thread that calls DoModal. The text slots and the background
// may be replaced from any thread while it runs (a transfer worker does): each setter replaces
// whole values under a small lock, and painting works from a snapshot (Texts(), Background()).
// The button members are used on the dialog's thread, apart from what CHoverButtonV2 allows.
class CBitmapMessageBox : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 103;
  static constexpr int kCloseCommand = 2195;
  static constexpr int kFirstButtonCommand = 2181;
  static constexpr int kMaxButtons = 8;
  static constexpr int kButtonKinds = 8;
  static constexpr int kSkinBitmapCount = 3 + 3 * kButtonKinds;
  static constexpr platform::ColorRef kColorKey = 0xFF00FF;

  // Creates the status font (14 px, weight 400) and heading font (16 px, weight 700) with the
  // current UiFontFace.
  explicit CBitmapMessageBox(platform::WindowSystem& system);
  ~CBitmapMessageBox() override;

  // --- Configuration, before DoModal (on the creating thread) ---

  // The source of the background and the button-kind images; null means the embedded skin. Not
  // owned: it must outlive the dialog. The close button's images always come from the embedded
  // skin.
  void SetSkinModule(const SkinModule* module);
  // Sets the background id and loads it at once (null when it does not load). Any thread.
  void LoadBackground(int id);
  // The close button's normal, pressed and hover ids, then the three of each button kind 1 to 8.
  void SetSkinBitmaps(const std::array<int, kSkinBitmapCount>& ids);
  // Creates `count` button items (a creator that wants none passes 0). Only once: false when the
  // items exist already (they stay) or `count` is negative.
  bool AllocateButtons(int count);
  // Fills the next button item. Ignored when all allocated items (at most eight) are filled. A
  // null caption means none.
  void AddButton(int x, int code, const char16_t* caption, int fromBottom);
  // Each non-null argument replaces its slot's text. Any thread.
  void SetTexts(const char16_t* status, const char16_t* heading, const char16_t* message, const char16_t* body);
  // Caption style of every button item: height (0 keeps the buttons' own font), face, colours
  // for the normal, pressed, hover and disabled state, bold.
  void SetButtonTextStyle(int height, std::u16string_view face, platform::ColorRef color1, platform::ColorRef color2,
                          platform::ColorRef color3, platform::ColorRef color4, int bold);
  // Recreate a slot's font. Any thread.
  void SetStatusFont(int height, int weight, std::u16string_view face);
  void SetHeadingFont(int height, int weight, std::u16string_view face);
  void SetMessageFont(int height, int weight, std::u16string_view face);
  void SetBodyFont(int height, int weight, std::u16string_view face);

  // --- Text slots and background, from any thread ---

  MessageBoxTexts Texts() const;  // a consistent snapshot
  // Changes several slot values as one step: `change` runs under the slots' lock, so it must not
  // call back into the dialog. Example: UpdateTexts([](MessageBoxTexts& t) { t.bodyColor = red; }).
  void UpdateTexts(const std::function<void(MessageBoxTexts&)>& change);
  int BackgroundId() const;
  platform::Bitmap Background() const;  // null when none is loaded
  platform::Rect BackgroundRect() const;
  const SkinModule& Skin() const;

  // While the dialog is open, after the background id changed (LoadBackground): loads it again,
  // sizes the window to it and invalidates the background's rectangle without erasing. Any
  // thread.
  void ReloadBackground();

  // For every button item with a window: latched mode, not latched, invalidated, released.
  // Dialog thread.
  void ResetButtonStates();

  // What is drawn now. The base describes the slots as the upgrade screens paint them (a text
  // when it is non-empty), the visible and enabled button items and no progress. Any thread.
  virtual ScreenDescription DescribeScreen() const;

  // The colour that is see-through once the window is open; nullopt before. The window layer has
  // no per-window setting for it: the real display shapes every top-level window by this same
  // key, and the headless display presents the pixels unchanged.
  std::optional<platform::ColorRef> LayeredColorKey() const;

  // --- Buttons (dialog thread) ---
  CHoverButtonV2& CloseButton() { return closeButton; }
  int ButtonCapacity() const { return buttonCapacity; }
  int ButtonCount() const { return buttonCount; }
  ButtonItem* ButtonAt(int index);  // null outside 0 .. ButtonCount() - 1
  const ButtonItem* ButtonAt(int index) const;

 protected:
  // Loads the background, sizes the window to it, sets the colour key and creates the buttons.
  // Subclasses that override it call it first. Returns true.
  bool OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}

  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                  platform::LParam lParam) override;

  // Creates (or re-lays out) the close button and the filled button items.
  void CreateControls();

  // Painting helpers for subclasses.
  //
  // Copies the loaded background to the client area at (0, 0): what WM_ERASEBKGND of the
  // skinned dialogs draws.
  void EraseWithBackground(platform::Canvas& canvas) const;
  // The skinned dialogs' WM_ERASEBKGND: default processing, then the background.
  platform::LResult OnEraseBkgnd(platform::WParam wParam, platform::LParam lParam);
  // The upgrade screens' paint: a fresh copy of bitmap BackgroundId() from the skin, then the
  // non-empty texts in the order heading, status, message, body, each in a rectangle from 25
  // pixels right of the client's left edge to its right and bottom edges, with tops 21 (heading),
  // 132 (message), 144 (status) and 240 (body). A format of -1 draws with
  // DT_CENTER | DT_SINGLELINE | DT_WORD_ELLIPSIS for the heading and
  // DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_WORD_ELLIPSIS for the others.
  void PaintTextSlots(platform::Canvas& canvas) const;

  CHoverButtonV2 closeButton;

 private:
  static constexpr int kButtonWidth = 100;  // the creation size; loading resizes to the image
  static constexpr int kButtonHeight = 10;

  struct SharedState {
    MessageBoxTexts texts;
    int backgroundId = 0;
    platform::Bitmap background;
    platform::Rect backgroundRect;
    std::optional<platform::ColorRef> colorKey;
  };

  void FitWindowToBackground();
  void CreateCloseButton(const platform::Rect& client);
  void CreateButtonItem(int index, const platform::Rect& client);
  void SetSlotFont(platform::Font MessageBoxTexts::*slot, int height, int weight, std::u16string_view face);

  const SkinModule* resourceInstance = nullptr;  // null: the embedded skin
  std::array<int, 3> closeBitmapIds{179, 180, 180};
  std::array<std::array<int, 3>, kButtonKinds> kindBitmapIds{{{2211, 2210, 2208},
                                                              {2206, 2205, 2207},
                                                              {2201, 2200, 2202},
                                                              {2198, 2197, 2199},
                                                              {2206, 2205, 2207},
                                                              {2206, 2205, 2207},
                                                              {2206, 2205, 2207},
                                                              {2206, 2205, 2207}}};

  mutable std::mutex stateMutex;
  SharedState state;

  int buttonCapacity = 0;
  int buttonCount = 0;
  std::unique_ptr<ButtonItem[]> buttons;
  int buttonFontHeight = 0;
  std::u16string buttonFontFace;
  std::array<platform::ColorRef, 4> buttonColors{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
  int buttonBold = 0;
};
