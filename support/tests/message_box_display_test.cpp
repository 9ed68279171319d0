// The real display, under Windows (or Wine): a hook on this thread reads the box as
// soon as it is activated and presses its OK button, so no click is needed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "error_display.h"

namespace {

struct SeenBox {
  int boxes = 0;
  std::string caption;
  std::vector<std::string> texts;
  std::vector<std::string> buttons;
  bool icon = false;
};

SeenBox seen;
HHOOK hook = nullptr;

BOOL CALLBACK NoteChild(HWND child, LPARAM) {
  // The box itself is not shown yet when it is activated, so a child's own
  // visibility is all that tells whether it will appear.
  const LONG style = GetWindowLongA(child, GWL_STYLE);
  if ((style & WS_VISIBLE) == 0) return TRUE;
  char kind[64] = "";
  char text[1024] = "";
  GetClassNameA(child, kind, sizeof kind);
  GetWindowTextA(child, text, sizeof text);
  if (lstrcmpiA(kind, "Button") == 0) {
    seen.buttons.push_back(text);
  } else if (lstrcmpiA(kind, "Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      // An icon control may stay in place without an icon in it.
      if (SendMessageA(child, STM_GETICON, 0, 0) != 0) seen.icon = true;
    } else if (text[0] != '\0') {
      seen.texts.push_back(text);
    }
  }
  return TRUE;
}

LRESULT CALLBACK ReadAndCloseBox(int code, WPARAM wparam, LPARAM lparam) {
  const HWND box = reinterpret_cast<HWND>(wparam);
  char kind[64] = "";
  if (code == HCBT_ACTIVATE && GetClassNameA(box, kind, sizeof kind) > 0 &&
      lstrcmpA(kind, "#32770") == 0) {
    char caption[256] = "";
    GetWindowTextA(box, caption, sizeof caption);
    ++seen.boxes;
    seen.caption = caption;
    EnumChildWindows(box, NoteChild, 0);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(hook, code, wparam, lparam);
}

// Wine shows windows only with an X display; on Windows there always is a desktop.
bool CanShowWindows() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const bool under_wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  return !under_wine || GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0;
}

TEST(MessageBoxErrorDisplayTest, ShowsTheReportUnderItsCaptionWithOneOkButtonAndNoIcon) {
  if (!CanShowWindows()) GTEST_SKIP() << "Wine without an X display (set DISPLAY)";
  seen = SeenBox();
  hook = SetWindowsHookExA(WH_CBT, ReadAndCloseBox, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  support::MessageBoxErrorDisplay display;
  const char report[] = "Context: CMyStringResize\nMessage: no more memory for 7 bytes";
  const int answer = display.Show(report, "Error Exception");
  UnhookWindowsHookEx(hook);

  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(seen.boxes, 1);
  EXPECT_EQ(seen.caption, "Error Exception");
  EXPECT_EQ(seen.texts, std::vector<std::string>{report});
  EXPECT_EQ(seen.buttons, std::vector<std::string>{"OK"});
  EXPECT_FALSE(seen.icon);
}

}  // namespace
