// The one platform call the key parser makes, VkKeyScanA, answered with a value the
// fuzzer chooses; the rest of the seam is the unit tests' recording double.
#pragma once

#include <cstdint>

#include "fake_sender_system.h"

namespace fuzz {

class KeyScanStandIn final : public tapwise::testing::FakeSenderSystem {
 public:
  std::int16_t answer = 0;  // what VkKeyScanA gives for any character
  int scans = 0;
  char scanned = '\0';  // the character of the last scan

  std::int16_t KeyScan(char character) override {
    ++scans;
    scanned = character;
    return answer;
  }
};

}  // namespace fuzz
