// Where the support classes show their error reports. The program shows them in a
// message box; tests capture the text instead, because a box waits for a click.
#pragma once

namespace support {

class ErrorDisplay {
 public:
  virtual ~ErrorDisplay() = default;
  // Shows |report| under |caption| and returns once the user has seen it; the result
  // is the platform's answer (the button pressed), which no caller needs.
  virtual int Show(const char* report, const char* caption) = 0;
};

// Installs |display| (null goes back to the default, which writes the report to the
// standard error stream) and returns the one it replaces.
ErrorDisplay* SetErrorDisplay(ErrorDisplay* display);

// Shows a report through the installed display.
int ShowErrorReport(const char* report, const char* caption);

// An exception that nothing catches ends the process with exit code 1. Its report has
// already been shown when it was built, so nothing more is printed, and neither the
// runtime's abort message nor a crash dialog appears.
void ExitWithFailureOnUncaughtException();

#ifdef _WIN32
// Shows reports with MessageBoxA: no owner window, one OK button, no icon.
class MessageBoxErrorDisplay : public ErrorDisplay {
 public:
  int Show(const char* report, const char* caption) override;
};
#endif

}  // namespace support
