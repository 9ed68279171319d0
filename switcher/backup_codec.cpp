#include "backup_codec.h"

#include <cstring>

namespace vindo {

// Written as byte arithmetic that wraps by 256, with the wrap by 255 as one more step
// of 1: b + 39 - 255 is b + 39 + 1 modulo 256. Each byte then costs an add, a compare
// and a subtract of the compare's mask, which vector units do 16 bytes at a time.
void EncodeBackupBytes(const char* from, std::size_t size, char* to) {
  const auto* in = reinterpret_cast<const unsigned char*>(from);
  auto* out = reinterpret_cast<unsigned char*>(to);
  for (std::size_t i = 0; i < size; ++i) {
    out[i] = static_cast<unsigned char>(in[i] + 39 + (in[i] > 216 ? 1 : 0));
  }
}

// s - 39 + 255 is s - 39 - 1 modulo 256.
void DecodeBackupBytes(const char* from, std::size_t size, char* to) {
  const auto* in = reinterpret_cast<const unsigned char*>(from);
  auto* out = reinterpret_cast<unsigned char*>(to);
  for (std::size_t i = 0; i < size; ++i) {
    out[i] = static_cast<unsigned char>(in[i] - 39 - (in[i] < 39 ? 1 : 0));
  }
}

bool CanBackUpFaithfully(std::string_view content) {
  return content.empty() ||
         std::memchr(content.data(), kUnencodableByte, content.size()) == nullptr;
}

}  // namespace vindo
