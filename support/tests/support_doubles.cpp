#include "support_doubles.h"

namespace support::testing {

FailingAllocations::FailingAllocations(int fail_at, bool lasting)
    : fail_at_(fail_at), lasting_(lasting), previous_(SetAllocationGate(this)) {}

FailingAllocations::~FailingAllocations() { SetAllocationGate(previous_); }

bool FailingAllocations::Allow(std::size_t size) {
  ++requests;
  const bool refuse = fail_at_ > 0 && (requests == fail_at_ || (lasting_ && requests > fail_at_));
  if (refuse) refused_sizes.push_back(size);
  return !refuse;
}

CapturedReports::CapturedReports() : previous_(SetErrorDisplay(this)) {}

CapturedReports::~CapturedReports() { SetErrorDisplay(previous_); }

int CapturedReports::Show(const char* report, const char* caption) {
  reports.emplace_back(report);
  captions.emplace_back(caption);
  return 1;
}

}  // namespace support::testing
