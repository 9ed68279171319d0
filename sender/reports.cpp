#include "key_script.h"
#include "my_list.h"
#include "my_string.h"
#include "tapwise.h"
#include "targets.h"

namespace tapwise {

const char kBanner[] =
    "*********************************************\n"
    "** Tapwise V1.0 **   keys for any window   **\n"
    "**   Written by the Tapwise developers     **\n"
    "**   2026 - see the README for contacts    **\n"
    "*********************************************\n"
    "\n";

const char kUsageText[] =
    "Syntax: Tapwise [-wait miliseconde] [<source>] [-waitKey miliseconde] <keys>\n"
    "Where <source> are:\n"
    "   -run \"FileToRun\"\n"
    "       or\n"
    "   -process \"ProcessToCall\" (to enumerat type -process)\n"
    "       or\n"
    "   -window \"WindowName\"     (to enumerate type -window)\n"
    "Where <keys> are: any keys or special key (to enumerate type -skeys)\n"
    "\n"
    "Ex.1: \"run calculator and enable scientific mode\": -run calc.exe LMenu A C\n"
    "Ex.2: \"write <Hello>\": /Shift h \\Shift e l l o\n";

namespace {

void PrintBannerAndError(SenderSystem& system, const char* message, const char* detail) {
  system.Print(kBanner);
  if (message == nullptr) return;
  system.Print("! Error: ");
  system.Print(message);
  system.Print(detail != nullptr ? detail : "");
  system.Print("\n\n");
}

// One line per name: * "name".
void PrintListed(SenderSystem& system, CMyList<CMyString>& names) {
  for (names.SetPosition(0); names.HasCurrent(); names.MoveNext()) {
    system.Print("* \"");
    system.Print(names.GetCurrent().Text());
    system.Print("\"\n");
  }
}

}  // namespace

void ShowError(SenderSystem& system, const char* message, const char* detail) {
  PrintBannerAndError(system, message, detail);
}

void ShowUsage(SenderSystem& system, const char* message, const char* detail) {
  PrintBannerAndError(system, message, detail);
  system.Print(kUsageText);
}

void ListSpecialKeys(SenderSystem& system, const char* message, const char* detail) {
  PrintBannerAndError(system, message, detail);
  CMyString names;
  JoinSpecialKeyNames(names);
  system.Print("SpecialKeys are:\n");
  system.Print(names.Text());
  system.Print("\n");
}

void ListProcesses(SenderSystem& system, const char* message, const char* detail) {
  PrintBannerAndError(system, message, detail);
  system.Print("List of current process:\n");
  CMyList<CMyString> names;
  if (RunningProcessNames(system, names)) PrintListed(system, names);
}

void ListWindows(SenderSystem& system, const char* message, const char* detail) {
  PrintBannerAndError(system, message, detail);
  system.Print("List of current windows:\n");
  CMyList<CMyString> titles;
  TopLevelWindowTitles(system, titles);
  PrintListed(system, titles);
}

}  // namespace tapwise
