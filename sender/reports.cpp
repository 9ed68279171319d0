#include "tapwise.h"

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

void PrintBanner(SenderSystem& system) { system.Print(kBanner); }

void PrintErrorLine(SenderSystem& system, const char* message, const char* detail) {
  if (message == nullptr) return;
  system.Print("! Error: ");
  system.Print(message);
  system.Print(detail != nullptr ? detail : "");
  system.Print("\n\n");
}

void ShowUsage(SenderSystem& system, const char* message, const char* detail) {
  PrintBanner(system);
  PrintErrorLine(system, message, detail);
  system.Print(kUsageText);
}

}  // namespace tapwise
