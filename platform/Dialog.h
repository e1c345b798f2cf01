#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Window.h"
#include "platform/WindowSystem.h"

namespace platform {

// What a dialog template gives a dialog: its initial size in pixels, style and title.
struct DialogTemplate {
  int width = 0;
  int height = 0;
  std::uint32_t style = WS_POPUP | WS_SYSMENU;
  std::u16string title;
};

// The dialog templates the program carries, process-wide. Template 103 (the skinned message box:
// 381 x 254 pixels, no title) is always there; tests may register more. Registering an id again
// replaces it.
void RegisterDialogTemplate(int id, const DialogTemplate& dialogTemplate);
std::optional<DialogTemplate> FindDialogTemplate(int id);

// A modal dialog. DoModal creates the top-level window from the template, calls OnInitDialog,
// centres and shows the window and runs a message loop on the calling thread until EndDialog.
// Loops nest: a dialog opened from a handler of another runs its own loop inside.
//
// A quit request (PostQuitMessage) ends the loop as well and stays pending, so the loops around
// it, and any modal loop opened later on the thread, end at once.
//
// Keys: Enter becomes WM_COMMAND IDOK and Escape WM_COMMAND IDCANCEL before the window sees them;
// the system close (SC_CLOSE, Alt+F4, the window manager's close) becomes IDCANCEL. IDOK calls
// OnOK and IDCANCEL OnCancel; their defaults end the dialog with those codes. Other WM_COMMAND
// messages reach HandleMessage like any message.
class Dialog : public Window {
 public:
  Dialog(WindowSystem& system, int templateId);
  ~Dialog() override;

  // The code passed to EndDialog; -1 when the template does not exist (no window is created) or
  // when a quit request ended the loop.
  int DoModal();

  // Ends the modal loop with `code`. From any thread; the loop ends after the message being
  // handled.
  void EndDialog(int code);

  int TemplateId() const { return templateId_; }
  WindowSystem& GetSystem() const { return system_; }

 protected:
  // Called with the window created (hidden, template size) before it is shown. The result is
  // kept for subclasses; the window is shown either way.
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override;

 private:
  WindowSystem& system_;
  const int templateId_;
  std::atomic<bool> ending_{false};
  std::atomic<int> result_{-1};
};

}  // namespace platform
