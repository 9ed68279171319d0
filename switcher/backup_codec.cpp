#include "backup_codec.h"

#include <cstring>

namespace vindo {

void EncodeBackupBytes(const char* from, std::size_t size, char* to) {
  for (std::size_t i = 0; i < size; ++i) {
    to[i] = static_cast<char>(EncodeBackupByte(static_cast<unsigned char>(from[i])));
  }
}

void DecodeBackupBytes(const char* from, std::size_t size, char* to) {
  for (std::size_t i = 0; i < size; ++i) {
    to[i] = static_cast<char>(DecodeBackupByte(static_cast<unsigned char>(from[i])));
  }
}

bool CanBackUpFaithfully(std::string_view content) {
  return content.empty() ||
         std::memchr(content.data(), kUnencodableByte, content.size()) == nullptr;
}

}  // namespace vindo
