#include "run_lock.h"

namespace vindo {
namespace {

constexpr char kLockEnd[] = ".lock";

}  // namespace

RunLock::RunLock(SwitcherSystem& system, const std::string& settings_path)
    : system_(system), path_(settings_path + kLockEnd) {}

RunLock::~RunLock() { Release(); }

bool RunLock::Take() {
  FileStatus status = system_.TakeRunLock(path_, &handle_);
  for (int attempt = 1; status == FileStatus::kBusy && attempt < kRunLockAttempts; ++attempt) {
    system_.Sleep(kBusyRetryMilliseconds);
    status = system_.TakeRunLock(path_, &handle_);
  }
  held_ = status == FileStatus::kOk;
  return status != FileStatus::kBusy;
}

void RunLock::Release() {
  if (held_) system_.ReleaseRunLock(path_, handle_);
  held_ = false;
}

}  // namespace vindo
