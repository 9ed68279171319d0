#include "allocation.h"

#include <cstdlib>

namespace support {
namespace {
AllocationGate* installed_gate = nullptr;
}  // namespace

AllocationGate* SetAllocationGate(AllocationGate* gate) {
  AllocationGate* previous = installed_gate;
  installed_gate = gate;
  return previous;
}

void* AllocateBlock(std::size_t size) {
  if (installed_gate != nullptr && !installed_gate->Allow(size)) return nullptr;
  return std::malloc(size);
}

void ReleaseBlock(void* block) { std::free(block); }

}  // namespace support
