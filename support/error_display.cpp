#include "error_display.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace support {
namespace {

class StandardErrorDisplay : public ErrorDisplay {
 public:
  int Show(const char* report, const char* caption) override {
    std::fprintf(stderr, "%s\n%s\n", caption, report);
    std::fflush(stderr);
    return 0;
  }
};

StandardErrorDisplay standard_error_display;
ErrorDisplay* installed_display = &standard_error_display;

[[noreturn]] void ExitWithFailure() {
  std::fflush(nullptr);
  std::_Exit(1);
}

}  // namespace

ErrorDisplay* SetErrorDisplay(ErrorDisplay* display) {
  ErrorDisplay* previous = installed_display;
  installed_display = display != nullptr ? display : &standard_error_display;
  return previous == &standard_error_display ? nullptr : previous;
}

int ShowErrorReport(const char* report, const char* caption) {
  return installed_display->Show(report, caption);
}

void ExitWithFailureOnUncaughtException() { std::set_terminate(&ExitWithFailure); }

}  // namespace support
