#include "platform/Dialog.h"

#include <map>
#include <mutex>

#include "platform/Display.h"

namespace platform {

namespace {

constexpr std::u16string_view kDialogClass = u"Dialog";

struct TemplateRegistry {
  std::mutex mutex;
  // 103: the skinned message box; its window takes the size of its background when it opens.
  std::map<int, DialogTemplate> templates{{103, DialogTemplate{381, 254, WS_POPUP | WS_SYSMENU, u""}}};
};

TemplateRegistry& Templates() {
  static TemplateRegistry registry;
  return registry;
}

Rect CentredIn(const Rect& screen, int width, int height) {
  const int left = screen.left + (screen.Width() - width) / 2;
  const int top = screen.top + (screen.Height() - height) / 2;
  return Rect{left, top, left + width, top + height};
}

}  // namespace

void RegisterDialogTemplate(int id, const DialogTemplate& dialogTemplate) {
  std::lock_guard<std::mutex> lock(Templates().mutex);
  Templates().templates[id] = dialogTemplate;
}

std::optional<DialogTemplate> FindDialogTemplate(int id) {
  std::lock_guard<std::mutex> lock(Templates().mutex);
  auto it = Templates().templates.find(id);
  if (it == Templates().templates.end()) return std::nullopt;
  return it->second;
}

Dialog::Dialog(WindowSystem& system, int templateId) : system_(system), templateId_(templateId) {}

Dialog::~Dialog() { Destroy(); }

int Dialog::DoModal() {
  const std::optional<DialogTemplate> found = FindDialogTemplate(templateId_);
  if (!found || Exists()) return -1;
  ending_ = false;
  result_ = -1;
  const Rect screen = system_.GetDisplay().ScreenBounds();
  if (!CreateTopLevel(system_, kDialogClass, found->title, found->style & ~WS_VISIBLE,
                      CentredIn(screen, found->width, found->height))) {
    return -1;
  }
  OnInitDialog();

  // A pending quit ends the loop before the dialog is ever seen.
  Message message;
  const bool quitPending = system_.PeekMessage(message, false) && message.id == WM_QUIT;
  if (!quitPending && !ending_ && Exists()) {
    const Rect now = WindowRect();
    const Rect centred = CentredIn(screen, now.Width(), now.Height());
    SetPosition(centred.left, centred.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(SW_SHOW);
  }

  while (!ending_ && Exists()) {
    if (!system_.GetMessage(message)) {
      system_.PostQuitMessage(static_cast<int>(message.wParam));  // for the loops around this one
      result_ = -1;
      break;
    }
    const bool dialogKey = message.id == WM_KEYDOWN && message.window == Handle() &&
                           (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE);
    if (dialogKey) {
      Send(WM_COMMAND, MakeWParam(message.wParam == VK_RETURN ? IDOK : IDCANCEL, BN_CLICKED), 0);
      continue;
    }
    system_.DispatchMessage(message);
  }
  Destroy();
  return result_;
}

void Dialog::EndDialog(int code) {
  result_ = code;
  ending_ = true;
  Post(WM_NULL);  // wakes the loop when called from another thread
}

LResult Dialog::HandleMessage(MessageId message, WParam wParam, LParam lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HighWord(wParam) == BN_CLICKED && LowWord(wParam) == IDOK) {
        OnOK();
        return 0;
      }
      if (HighWord(wParam) == BN_CLICKED && LowWord(wParam) == IDCANCEL) {
        OnCancel();
        return 0;
      }
      return DefaultProcessing(message, wParam, lParam);
    case WM_CLOSE:
      Send(WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED), 0);
      return 0;
    default:
      return DefaultProcessing(message, wParam, lParam);
  }
}

}  // namespace platform
