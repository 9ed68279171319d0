// A property that must hold for every input. A failure aborts, which libFuzzer counts
// as a crash and keeps the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void PropertyFailed(const char* property, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, property);
  std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(property) \
  ((property) ? static_cast<void>(0) : ::fuzz::PropertyFailed(#property, __FILE__, __LINE__))
