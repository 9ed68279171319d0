// Starting the running test program again as a child process, for tests of what a
// whole process does: how it ends, what it leaves behind when it is stopped dead.
#pragma once

#include <string>
#include <vector>

namespace test_common {

// Runs this program with |arguments| and waits for it. Returns its exit code, or -1
// when it could not be started or did not end by exiting.
int RunThisProgram(const std::vector<std::string>& arguments);

// The id of this process. Test programs of several builds run side by side in one
// temporary folder (the win32 and win64 builds share a Wine prefix), so names of files
// they hand to a child carry it.
unsigned long ThisProcessId();

}  // namespace test_common
