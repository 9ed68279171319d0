// The whole run of vindo, from its arguments to its exit code.
#pragma once

#include <string>
#include <vector>

#include "settings_store.h"
#include "switcher_system.h"

namespace vindo {

// |arguments| excludes the program's own path. Returns the exit code: 0 after a
// successful rewrite, 1 after every error message and after the usage text.
int RunVindo(const std::vector<std::string>& arguments, SwitcherSystem& system,
             const SwitcherPaths& paths);

}  // namespace vindo
