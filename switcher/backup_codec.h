// The byte rotation of the settings backup: each byte b of the settings file is
// stored as b + 39, wrapping by 255 (not 256). Existing backups depend on this exact
// mapping, so it must never change.
#pragma once

#include <cstddef>
#include <string_view>

namespace vindo {

// The one settings byte the rotation can't store faithfully: it would be stored as
// 39, like the byte 0, and come back as 0.
constexpr unsigned char kUnencodableByte = 255;

constexpr unsigned char EncodeBackupByte(unsigned char b) {
  return static_cast<unsigned char>(b <= 216 ? b + 39 : b + 39 - 255);
}

constexpr unsigned char DecodeBackupByte(unsigned char s) {
  return static_cast<unsigned char>(s >= 39 ? s - 39 : s - 39 + 255);
}

// A whole-byte mapping, applied while a file is written.
struct ByteMap {
  unsigned char to[256];
};

const ByteMap& BackupEncoding();
const ByteMap& BackupDecoding();

// True when every byte survives the rotation and its reverse.
bool CanBackUpFaithfully(std::string_view content);

}  // namespace vindo
