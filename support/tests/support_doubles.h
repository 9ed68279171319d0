// Test doubles of the support classes' two hooks: allocations that fail on request,
// and reports that are captured instead of shown.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "allocation.h"
#include "error_display.h"

namespace support::testing {

// Counts the allocations made while it is installed (from 1) and refuses the
// |fail_at|-th one, and every later one too when |lasting| is set.
class FailingAllocations : public AllocationGate {
 public:
  explicit FailingAllocations(int fail_at = 0, bool lasting = false);
  ~FailingAllocations() override;
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;

  bool Allow(std::size_t size) override;

  int requests = 0;
  std::vector<std::size_t> refused_sizes;

 private:
  int fail_at_;
  bool lasting_;
  AllocationGate* previous_;
};

// Records every report with its caption while it is installed.
class CapturedReports : public ErrorDisplay {
 public:
  CapturedReports();
  ~CapturedReports() override;
  CapturedReports(const CapturedReports&) = delete;
  CapturedReports& operator=(const CapturedReports&) = delete;

  int Show(const char* report, const char* caption) override;

  std::vector<std::string> reports;
  std::vector<std::string> captions;

 private:
  ErrorDisplay* previous_;
};

}  // namespace support::testing
