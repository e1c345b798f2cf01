#pragma once

#include <cstdint>
#include <string>

#include "platform/Geometry.h"

namespace platform {

// Window messages, their parameters and the constants that travel in them. The numeric values
// are the classic ones, so code written against the usual message numbers reads the same here.

using MessageId = std::uint32_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Messages.
inline constexpr MessageId WM_NULL = 0x0000;
inline constexpr MessageId WM_CREATE = 0x0001;
inline constexpr MessageId WM_DESTROY = 0x0002;       // sent to a window (then its children) as it goes
inline constexpr MessageId WM_SETFOCUS = 0x0007;
inline constexpr MessageId WM_KILLFOCUS = 0x0008;
inline constexpr MessageId WM_SETREDRAW = 0x000B;     // wParam FALSE stops painting until TRUE
inline constexpr MessageId WM_PAINT = 0x000F;         // wParam: Canvas* (see CanvasOf)
inline constexpr MessageId WM_CLOSE = 0x0010;
inline constexpr MessageId WM_QUIT = 0x0012;          // wParam: the exit code
inline constexpr MessageId WM_ERASEBKGND = 0x0014;    // wParam: Canvas*; return non-zero when erased
inline constexpr MessageId WM_KEYDOWN = 0x0100;       // wParam: virtual-key code
inline constexpr MessageId WM_KEYUP = 0x0101;
inline constexpr MessageId WM_SYSKEYDOWN = 0x0104;    // a key pressed with Alt held
inline constexpr MessageId WM_SYSKEYUP = 0x0105;
inline constexpr MessageId WM_INITDIALOG = 0x0110;
inline constexpr MessageId WM_COMMAND = 0x0111;       // wParam: MakeWParam(id, notification code)
inline constexpr MessageId WM_SYSCOMMAND = 0x0112;    // wParam: SC_CLOSE, ...
inline constexpr MessageId WM_TIMER = 0x0113;         // wParam: the timer id
inline constexpr MessageId WM_MOUSEMOVE = 0x0200;     // wParam: MK_* keys; lParam: client point
inline constexpr MessageId WM_LBUTTONDOWN = 0x0201;
inline constexpr MessageId WM_LBUTTONUP = 0x0202;
inline constexpr MessageId WM_RBUTTONDOWN = 0x0204;
inline constexpr MessageId WM_RBUTTONUP = 0x0205;
inline constexpr MessageId WM_CAPTURECHANGED = 0x0215;  // posted to a window that lost the capture
inline constexpr MessageId WM_DEVICECHANGE = 0x0219;    // wParam: DBT_*; lParam: DeviceInterfaceNotice*
inline constexpr MessageId WM_MOUSEHOVER = 0x02A1;      // lParam: client point
inline constexpr MessageId WM_MOUSELEAVE = 0x02A3;
inline constexpr MessageId WM_USER = 0x0400;            // first message number free for a program
inline constexpr MessageId WM_APP = 0x8000;

// Button messages and notifications.
inline constexpr MessageId BM_GETSTATE = 0x00F2;  // returns BST_PUSHED while pushed
inline constexpr MessageId BM_SETSTATE = 0x00F3;  // wParam: TRUE pushed, FALSE released
inline constexpr MessageId BM_SETSTYLE = 0x00F4;  // wParam: new button style; lParam: TRUE to redraw
inline constexpr std::uint32_t BST_PUSHED = 0x0004;
inline constexpr std::uint32_t BN_CLICKED = 0;

// Window styles.
inline constexpr std::uint32_t WS_POPUP = 0x80000000;
inline constexpr std::uint32_t WS_CHILD = 0x40000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_DISABLED = 0x08000000;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000;

// Button styles: the low four bits of a button's style are its type.
inline constexpr std::uint32_t BS_PUSHBUTTON = 0x0;
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x1;
inline constexpr std::uint32_t BS_OWNERDRAW = 0xB;
inline constexpr std::uint32_t BS_TYPEMASK = 0xF;

// Owner-draw item state flags passed to PushButton::DrawItem.
inline constexpr std::uint32_t ODS_SELECTED = 0x0001;  // pushed
inline constexpr std::uint32_t ODS_DISABLED = 0x0004;
inline constexpr std::uint32_t ODS_FOCUS = 0x0010;

// Dialog command ids.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// System commands.
inline constexpr WParam SC_CLOSE = 0xF060;

// Show commands (Window::ShowWindow).
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

// Window::SetPosition flags.
inline constexpr std::uint32_t SWP_NOSIZE = 0x0001;
inline constexpr std::uint32_t SWP_NOMOVE = 0x0002;
inline constexpr std::uint32_t SWP_NOZORDER = 0x0004;      // otherwise the window goes to the top of its siblings
inline constexpr std::uint32_t SWP_SHOWWINDOW = 0x0040;
inline constexpr std::uint32_t SWP_HIDEWINDOW = 0x0080;
inline constexpr std::uint32_t SWP_NOOWNERZORDER = 0x0200;  // accepted; top-level windows have no owners here

// Mouse key state in wParam of mouse messages.
inline constexpr WParam MK_LBUTTON = 0x0001;
inline constexpr WParam MK_RBUTTON = 0x0002;

// Window::TrackMouseEvent flags.
inline constexpr std::uint32_t TME_HOVER = 0x00000001;
inline constexpr std::uint32_t TME_LEAVE = 0x00000002;
inline constexpr std::uint32_t TME_CANCEL = 0x80000000;
inline constexpr std::int64_t HOVER_DEFAULT = -1;  // as hover time: the system's default (400 ms)

// Virtual-key codes.
inline constexpr std::uint32_t VK_TAB = 0x09;
inline constexpr std::uint32_t VK_RETURN = 0x0D;
inline constexpr std::uint32_t VK_SHIFT = 0x10;
inline constexpr std::uint32_t VK_CONTROL = 0x11;
inline constexpr std::uint32_t VK_MENU = 0x12;  // Alt
inline constexpr std::uint32_t VK_ESCAPE = 0x1B;
inline constexpr std::uint32_t VK_SPACE = 0x20;
inline constexpr std::uint32_t VK_LEFT = 0x25;
inline constexpr std::uint32_t VK_UP = 0x26;
inline constexpr std::uint32_t VK_RIGHT = 0x27;
inline constexpr std::uint32_t VK_DOWN = 0x28;
inline constexpr std::uint32_t VK_F4 = 0x73;
// Letters and digits are their upper-case ASCII codes ('A' = 0x41, '0' = 0x30).

// Device-change events (wParam of WM_DEVICECHANGE) and the device type of interface notices.
inline constexpr WParam DBT_DEVICEARRIVAL = 0x8000;
inline constexpr WParam DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr std::uint32_t DBT_DEVTYP_DEVICEINTERFACE = 5;

// What lParam of WM_DEVICECHANGE points at. The message owns it: it stays valid until the handler
// returns, and the handler may change it (for example lower-case the path in place).
struct DeviceInterfaceNotice {
  std::uint32_t deviceType = DBT_DEVTYP_DEVICEINTERFACE;
  std::string path;  // the HID interface path, as HidInterfaceInfo::path
};

inline DeviceInterfaceNotice* DeviceNoticeOf(LParam lParam) {
  return reinterpret_cast<DeviceInterfaceNotice*>(lParam);
}

// Packing of two 16-bit values, as mouse points, command ids and notification codes travel.
constexpr WParam MakeWParam(std::uint32_t low, std::uint32_t high) {
  return static_cast<WParam>((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}
constexpr LParam MakeLParam(int low, int high) {
  return static_cast<LParam>(static_cast<std::uint32_t>((static_cast<std::uint32_t>(low) & 0xFFFF) |
                                                        ((static_cast<std::uint32_t>(high) & 0xFFFF) << 16)));
}
constexpr std::uint32_t LowWord(std::uintptr_t value) { return static_cast<std::uint32_t>(value & 0xFFFF); }
constexpr std::uint32_t HighWord(std::uintptr_t value) { return static_cast<std::uint32_t>((value >> 16) & 0xFFFF); }

// A point packed into lParam by a mouse message; each coordinate is a signed 16-bit value.
constexpr LParam PointToLParam(Point p) { return MakeLParam(p.x, p.y); }
constexpr Point PointFromLParam(LParam lParam) {
  return Point{static_cast<std::int16_t>(LowWord(static_cast<std::uintptr_t>(lParam))),
               static_cast<std::int16_t>(HighWord(static_cast<std::uintptr_t>(lParam)))};
}

}  // namespace platform
