#include "error_display.h"
#include "real_sender_system.h"
#include "tapwise.h"

// The arguments as the platform holds them, in UTF-16: a character that the ANSI code
// page can't hold arrives as itself, not as "?" or a look-alike.
int wmain(int argc, wchar_t** argv) {
  // Failures inside the string and list classes are shown in a message box and end the
  // process with exit code 1.
  static support::MessageBoxErrorDisplay messageBox;
  support::SetErrorDisplay(&messageBox);
  support::ExitWithFailureOnUncaughtException();
  const tapwise::ProgramArguments arguments(argc, argv);
  tapwise::RealSenderSystem system;
  return tapwise::RunTapwise(arguments.Count(), arguments.Texts(), system, arguments.InUtf8());
}
