#include <string>
#include <vector>

#include "settings_store.h"
#include "switcher_system.h"
#include "vindo_run.h"

int main(int argc, char** argv) {
  vindo::RealSwitcherSystem system;
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return vindo::RunVindo(arguments, system, vindo::DefaultPaths());
}
