#include "error_display.h"
#include "real_sender_system.h"
#include "tapwise.h"

int main(int argc, char** argv) {
  // Failures inside the string and list classes are shown in a message box and end the
  // process with exit code 1.
  static support::MessageBoxErrorDisplay messageBox;
  support::SetErrorDisplay(&messageBox);
  support::ExitWithFailureOnUncaughtException();
  tapwise::RealSenderSystem system;
  return tapwise::RunTapwise(argc, argv, system);
}
