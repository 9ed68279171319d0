#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "error_display.h"
#include "my_string.h"
#include "support_doubles.h"
#include "support_test_main.h"

namespace {

// Appends each report to a file, so that the parent can read what was shown.
class ReportFile : public support::ErrorDisplay {
 public:
  explicit ReportFile(const char* path) : path_(path) {}
  int Show(const char* report, const char* caption) override {
    if (std::FILE* file = std::fopen(path_, "ab")) {
      std::fprintf(file, "%s\n%s\n", caption, report);
      std::fclose(file);
    }
    return 1;
  }

 private:
  const char* path_;
};

// Set up as the program is, then fail with nothing to catch the exception.
int ThrowFromMain(const char* how, const char* reports, const char* standard_error) {
  if (std::freopen(standard_error, "w", stderr) == nullptr) return 2;
  static ReportFile display(reports);
  support::SetErrorDisplay(&display);
  support::ExitWithFailureOnUncaughtException();
  if (std::strcmp(how, "exhausted") == 0) {
    static support::testing::FailingAllocations exhausted(1, true);
    const CMyString text("hello");
  } else {
    const CMyString text(nullptr);
  }
  return 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], support::testing::kThrowFromMainFlag) == 0) {
    return ThrowFromMain(argv[2], argv[3], argv[4]);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
