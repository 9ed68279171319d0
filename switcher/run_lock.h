// The lock that makes runs of vindo on the same settings file take turns.
#pragma once

#include <string>

#include "safe_write.h"
#include "switcher_system.h"

namespace vindo {

// Other runs of vindo on the same settings file wait while this one runs: they take
// turns with the whole run, so that none reads a file that another is writing or
// moves another's temporary file. The lock is <settings>.lock beside the settings
// file, held open and shared with nobody, and gone when it is let go of or the
// process ends, however it ends.
constexpr int kRunLockAttempts = 600;  // a minute, at kBusyRetryMilliseconds

class RunLock {
 public:
  RunLock(SwitcherSystem& system, const std::string& settings_path);
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Waits for another run to finish, for a minute at most, also while the lock file
  // exists but can't be opened; false when it did not. Only where no lock file can be
  // made at all (no folder, no right to create a file in it) does the run go on without
  // one: it can't change anything in that folder either.
  bool Take();
  void Release();

 private:
  SwitcherSystem& system_;
  const std::string path_;
  FileHandle handle_ = 0;
  bool held_ = false;
};

}  // namespace vindo
