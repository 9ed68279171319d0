// Tapwise: brings a target to the front and types a key script into it. This header
// holds the run and the texts every report of the program is made of.
#pragma once

#include "sender_system.h"

namespace tapwise {

// The whole run, from the argument vector (the program path first) to the exit code,
// which is 0 or 1.
int RunTapwise(int argc, const char* const* argv, SenderSystem& system);

// The start delay ("-wait") and the key delay ("-waitKey") when none is given.
constexpr int kDefaultStartDelay = 1000;
constexpr int kDefaultKeyDelay = 20;

// The banner that opens every report: five lines of 45 characters and an empty line.
extern const char kBanner[];
// The usage text, eleven lines.
extern const char kUsageText[];

void PrintBanner(SenderSystem& system);
// "! Error: <message><detail>" and an empty line; nothing for a null message. A null
// detail counts as an empty one.
void PrintErrorLine(SenderSystem& system, const char* message, const char* detail);
// The banner, the error line and the usage text.
void ShowUsage(SenderSystem& system, const char* message, const char* detail);

}  // namespace tapwise
