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

// Maps a run of bytes while a file is written: |size| bytes from |from| into |to|;
// false when a byte could not be mapped faithfully (it is mapped all the same).
using ByteMapping = bool (*)(const char* from, std::size_t size, char* to);

// The rotation and its reverse over a run of bytes, byte for byte as above. The
// rotation returns false when it met the byte kUnencodableByte, so that a backup is
// checked in the same pass that encodes it.
bool EncodeBackupBytes(const char* from, std::size_t size, char* to);
void DecodeBackupBytes(const char* from, std::size_t size, char* to);

// The same rotation a word at a time, as EncodeBackupBytes does it on processors
// without SSE2.
bool EncodeBackupBytesWordwise(const char* from, std::size_t size, char* to);

// True when every byte survives the rotation and its reverse.
bool CanBackUpFaithfully(std::string_view content);

}  // namespace vindo
