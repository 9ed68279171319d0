// Every heap block of the support classes comes from here, so that a test can make a
// chosen allocation fail and check what the classes do when memory runs out.
#pragma once

#include <cstddef>

namespace support {

// Decides whether an allocation may go ahead. A test installs one; the program never does.
class AllocationGate {
 public:
  virtual ~AllocationGate() = default;
  virtual bool Allow(std::size_t size) = 0;
};

// Installs |gate| (null removes it) and returns the one it replaces.
AllocationGate* SetAllocationGate(AllocationGate* gate);

// A block of |size| bytes, or null when the gate refuses or the heap is exhausted.
void* AllocateBlock(std::size_t size);
void ReleaseBlock(void* block);

}  // namespace support
