// Tapwise: brings a target to the front and types a key script into it. This header
// holds the run and every report the program prints.
#pragma once

#include "sender_system.h"

namespace tapwise {

// The whole run, from the argument vector (the program path first) to the exit code,
// which is 0 or 1. |inUtf8|, when given, marks beside |argv| the arguments that are in
// UTF-8, as the ANSI code page can't hold them.
int RunTapwise(int argc, const char* const* argv, SenderSystem& system,
               const bool* inUtf8 = nullptr);

// The banner that opens every report: five lines of 45 characters and an empty line.
extern const char kBanner[];
// The usage text, eleven lines.
extern const char kUsageText[];

// Each report is the banner, then "! Error: <message><detail>" and an empty line when
// |message| is not null (a null detail counts as empty; |detailInUtf8|: it is in UTF-8),
// then its own text:
// nothing more,
void ShowError(SenderSystem& system, const char* message, const char* detail,
               bool detailInUtf8 = false);
// the usage text,
void ShowUsage(SenderSystem& system, const char* message, const char* detail,
               bool detailInUtf8 = false);
// the special-key names,
void ListSpecialKeys(SenderSystem& system, const char* message, const char* detail,
                     bool detailInUtf8 = false);
// each distinct base name of the running processes once,
void ListProcesses(SenderSystem& system, const char* message, const char* detail,
                   bool detailInUtf8 = false);
// or each distinct title of the top-level windows once, leaving out untitled windows
// and those with a parent or owner.
void ListWindows(SenderSystem& system, const char* message, const char* detail,
                 bool detailInUtf8 = false);
// A further error line, for a report that has more than one thing to say.
void PrintErrorLine(SenderSystem& system, const char* message, const char* detail);

}  // namespace tapwise
