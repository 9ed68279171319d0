#include "run_lock.h"

namespace vindo {
namespace {

constexpr char kLockEnd[] = ".lock";

}  // namespace

RunLock::RunLock(SwitcherSystem& system, const std::string& settings_path)
    : system_(system), path_(settings_path + kLockEnd) {}

RunLock::~RunLock() { Release(); }

bool RunLock::Take() {
  bool looked_again = false;
  for (int attempt = 1;; ++attempt) {
    const FileStatus status = system_.TakeRunLock(path_, &handle_);
    held_ = status == FileStatus::kOk;
    if (held_) return true;
    // A lock file that is there but can't be opened is another run's too: Windows
    // refuses to open one that is being deleted while a scanner still has it open.
    if (status != FileStatus::kBusy && !FileExists(system_, path_)) {
      // None can be made here, unless the one in the way went just now.
      if (looked_again) return true;
      looked_again = true;
      continue;
    }
    if (attempt >= kRunLockAttempts) return false;
    system_.Sleep(kBusyRetryMilliseconds);
  }
}

void RunLock::Release() {
  if (held_) system_.ReleaseRunLock(path_, handle_);
  held_ = false;
}

}  // namespace vindo
