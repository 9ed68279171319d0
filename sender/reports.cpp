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

// A text as the platform takes it: in the code page, or marked as UTF-8.
void PrintText(SenderSystem& system, const char* text, bool inUtf8) {
  if (inUtf8) {
    system.PrintUtf8(text);
  } else {
    system.Print(text);
  }
}

void PrintError(SenderSystem& system, const char* message, const char* detail, bool detailInUtf8) {
  system.Print("! Error: ");
  system.Print(message);
  PrintText(system, detail != nullptr ? detail : "", detailInUtf8);
  system.Print("\n\n");
}

void PrintBannerAndError(SenderSystem& system, const char* message, const char* detail,
                         bool detailInUtf8) {
  system.Print(kBanner);
  if (message != nullptr) PrintError(system, message, detail, detailInUtf8);
}

// One line per name: * "name".
void PrintListed(SenderSystem& system, CMyList<ListedName>& names) {
  for (names.SetPosition(0); names.HasCurrent(); names.MoveNext()) {
    const ListedName& name = names.GetCurrent();
    system.Print("* \"");
    PrintText(system, name.text.Text(), name.inUtf8);
    system.Print("\"\n");
  }
}

}  // namespace

void ShowError(SenderSystem& system, const char* message, const char* detail, bool detailInUtf8) {
  PrintBannerAndError(system, message, detail, detailInUtf8);
}

void ShowUsage(SenderSystem& system, const char* message, const char* detail, bool detailInUtf8) {
  PrintBannerAndError(system, message, detail, detailInUtf8);
  system.Print(kUsageText);
}

void ListSpecialKeys(SenderSystem& system, const char* message, const char* detail,
                     bool detailInUtf8) {
  PrintBannerAndError(system, message, detail, detailInUtf8);
  CMyString names;
  JoinSpecialKeyNames(names);
  system.Print("SpecialKeys are:\n");
  system.Print(names.Text());
  system.Print("\n");
}

void ListProcesses(SenderSystem& system, const char* message, const char* detail,
                   bool detailInUtf8) {
  PrintBannerAndError(system, message, detail, detailInUtf8);
  system.Print("List of current process:\n");
  CMyList<ListedName> names;
  if (RunningProcessNames(system, names)) PrintListed(system, names);
}

void ListWindows(SenderSystem& system, const char* message, const char* detail, bool detailInUtf8) {
  PrintBannerAndError(system, message, detail, detailInUtf8);
  system.Print("List of current windows:\n");
  CMyList<ListedName> titles;
  TopLevelWindowTitles(system, titles);
  PrintListed(system, titles);
}

void PrintErrorLine(SenderSystem& system, const char* message, const char* detail) {
  PrintError(system, message, detail, false);
}

}  // namespace tapwise
