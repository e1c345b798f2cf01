#include <gtest/gtest.h>

#include <atomic>

#include "platform/Dialog.h"
#include "platform/PushButton.h"
#include "tests/windowing/WindowingFixture.h"

namespace windowing_test {
namespace {

constexpr int kTestTemplate = 9001;
constexpr int kKeepOpen = -100;  // a TimedDialog code: the timer does not end the dialog

class DialogTest : public WindowingTest {
 protected:
  void SetUp() override { RegisterDialogTemplate(kTestTemplate, DialogTemplate{200, 100, WS_POPUP, u"Test dialog"}); }

  // Gives `action` to a helper thread that runs it once a dialog is on the screen.
  Thread WhenShown(std::function<void(WindowHandle)> action) {
    return clock.StartThread([this, action = std::move(action)] {
      ASSERT_TRUE(display.WaitUntil([&] { return !display.ShownWindows().empty(); }, 60000));
      action(display.ShownWindows().front());
    });
  }
};

// A dialog that ends after `lifetime` ms through its own timer.
class TimedDialog : public Dialog {
 public:
  TimedDialog(WindowSystem& system, Millis lifetime, int code) : Dialog(system, kTestTemplate), lifetime_(lifetime), code_(code) {}
  ~TimedDialog() override { Destroy(); }
  std::function<void()> onTick;

 protected:
  bool OnInitDialog() override {
    SetTimer(1, lifetime_);
    return true;
  }
  LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override {
    if (message == WM_TIMER) {
      KillTimer(1);
      if (onTick) onTick();
      if (code_ != kKeepOpen) EndDialog(code_);
      return 0;
    }
    return Dialog::HandleMessage(message, wParam, lParam);
  }

 private:
  Millis lifetime_;
  int code_;
};

TEST_F(DialogTest, MissingTemplateReturnsMinusOneWithoutWindow) {
  Dialog dialog(system, 4242);
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_FALSE(dialog.Exists());
  EXPECT_TRUE(system.TopLevelWindows().empty());
}

TEST_F(DialogTest, TemplateSizeAndCentredOnScreen) {
  TimedDialog dialog(system, 100, 5);
  Rect seen;
  dialog.onTick = [&] { seen = dialog.ScreenRect(); };
  EXPECT_EQ(dialog.DoModal(), 5);
  EXPECT_EQ(seen, (Rect{400, 350, 600, 450}));
  EXPECT_TRUE(FindDialogTemplate(103).has_value());
  EXPECT_FALSE(dialog.Exists());
}

TEST_F(DialogTest, KeysAndSystemCloseBecomeOkAndCancel) {
  struct Case {
    const char* name;
    std::function<void(HeadlessDisplay&, WindowHandle)> act;
    int expected;
  } cases[] = {
      {"Enter", [](HeadlessDisplay& d, WindowHandle) { d.PressKey(VK_RETURN); }, IDOK},
      {"Escape", [](HeadlessDisplay& d, WindowHandle) { d.PressKey(VK_ESCAPE); }, IDCANCEL},
      {"Alt+F4", [](HeadlessDisplay& d, WindowHandle) { d.PressKey(VK_F4, true); }, IDCANCEL},
      {"window manager close", [](HeadlessDisplay& d, WindowHandle w) { d.RequestClose(w); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    Dialog dialog(system, kTestTemplate);
    Thread user = WhenShown([&](WindowHandle w) { c.act(display, w); });
    EXPECT_EQ(dialog.DoModal(), c.expected) << c.name;
  }
}

// Like the skinned dialogs: Enter, Escape and close do nothing; a button ends it with its id.
class ButtonDialog : public Dialog {
 public:
  explicit ButtonDialog(WindowSystem& system) : Dialog(system, kTestTemplate) {}
  ~ButtonDialog() override { Destroy(); }
  PushButton button;

 protected:
  bool OnInitDialog() override {
    SetPosition(0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER);
    button.Create(*this, u"OK", WS_CHILD | WS_VISIBLE, Rect{100, 100, 200, 130}, 2181);
    return true;
  }
  void OnOK() override {}
  void OnCancel() override {}
  LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override {
    if (message == WM_COMMAND && LowWord(wParam) == 2181) {
      EndDialog(3);
      return 0;
    }
    return Dialog::HandleMessage(message, wParam, lParam);
  }
};

TEST_F(DialogTest, ClickOnButtonEndsDialogWhileKeysAreIgnored) {
  ButtonDialog dialog(system);
  Thread user = WhenShown([&](WindowHandle w) {
    display.PressKey(VK_RETURN);
    display.PressKey(VK_ESCAPE);
    display.RequestClose(w);
    clock.SleepFor(1000);
    EXPECT_TRUE(display.IsShown(w));
    EXPECT_EQ(display.ScreenRectOf(w), (Rect{350, 325, 650, 475}));  // centred at its final size
    display.Click(w, Point{150, 115});
  });
  EXPECT_EQ(dialog.DoModal(), 3);
  EXPECT_FALSE(dialog.button.Exists());  // destroyed with the dialog
}

TEST_F(DialogTest, QuitEndsLaterModalLoopsAtOnceAndStaysPending) {
  system.PostQuitMessage(0);
  std::atomic<int> shows{0};
  display.SetPaintObserver([&](WindowHandle, const Surface&) { ++shows; });
  for (int i = 0; i < 2; ++i) {
    TimedDialog dialog(system, 100, 5);
    EXPECT_EQ(dialog.DoModal(), -1);
  }
  EXPECT_EQ(shows.load(), 0);
  EXPECT_EQ(clock.Now(), 0);
  Message message;
  ASSERT_TRUE(system.PeekMessage(message, false));
  EXPECT_EQ(message.id, WM_QUIT);
  display.SetPaintObserver({});
}

TEST_F(DialogTest, QuitInsideNestedDialogEndsBothLoops) {
  TimedDialog outer(system, 100, kKeepOpen);
  TimedDialog inner(system, 100, kKeepOpen);
  int innerResult = 0;
  outer.onTick = [&] {
    inner.onTick = [&] { system.PostQuitMessage(0); };
    innerResult = inner.DoModal();
  };
  EXPECT_EQ(outer.DoModal(), -1);
  EXPECT_EQ(innerResult, -1);
  Message message;
  EXPECT_TRUE(system.PeekMessage(message, false));
  EXPECT_EQ(message.id, WM_QUIT);
}

TEST_F(DialogTest, EndDialogBeforeQuitIsTakenKeepsItsCode) {
  TimedDialog dialog(system, 100, 4);
  dialog.onTick = [&] { system.PostQuitMessage(0); };
  EXPECT_EQ(dialog.DoModal(), 4);
  Message message;
  EXPECT_TRUE(system.PeekMessage(message, false));  // left for the loops around it
  EXPECT_EQ(message.id, WM_QUIT);
}

TEST_F(DialogTest, NestedModalLoopsEndInnerFirst) {
  TimedDialog outer(system, 100, 1);
  TimedDialog inner(system, 300, 2);
  int innerResult = 0;
  Millis innerEnded = 0;
  outer.onTick = [&] {
    innerResult = inner.DoModal();
    innerEnded = clock.Now();
  };
  EXPECT_EQ(outer.DoModal(), 1);
  EXPECT_EQ(innerResult, 2);
  EXPECT_EQ(innerEnded, 400);
  EXPECT_EQ(clock.Now(), 400);
}

TEST_F(DialogTest, ModalLoopsOnSeveralThreadsAtOnce) {
  std::atomic<int> first{0}, second{0};
  std::atomic<Millis> firstEnd{0}, secondEnd{0};
  Thread a = clock.StartThread([&] {
    TimedDialog dialog(system, 500, 10);
    first = dialog.DoModal();
    firstEnd = clock.Now();
  });
  Thread b = clock.StartThread([&] {
    TimedDialog dialog(system, 200, 20);
    second = dialog.DoModal();
    secondEnd = clock.Now();
  });
  a.Join();
  b.Join();
  EXPECT_EQ(first.load(), 10);
  EXPECT_EQ(second.load(), 20);
  EXPECT_EQ(firstEnd.load(), 500);
  EXPECT_EQ(secondEnd.load(), 200);
}

TEST_F(DialogTest, EndDialogFromAnotherThread) {
  Dialog dialog(system, kTestTemplate);
  Thread other = WhenShown([&](WindowHandle) { dialog.EndDialog(77); });
  EXPECT_EQ(dialog.DoModal(), 77);
}

}  // namespace
}  // namespace windowing_test
