#include "backup_codec.h"

#include <cstring>

namespace vindo {
namespace {

ByteMap MakeMap(unsigned char (*map)(unsigned char)) {
  ByteMap result{};
  for (int b = 0; b < 256; ++b) result.to[b] = map(static_cast<unsigned char>(b));
  return result;
}

}  // namespace

const ByteMap& BackupEncoding() {
  static const ByteMap encoding = MakeMap([](unsigned char b) { return EncodeBackupByte(b); });
  return encoding;
}

const ByteMap& BackupDecoding() {
  static const ByteMap decoding = MakeMap([](unsigned char s) { return DecodeBackupByte(s); });
  return decoding;
}

bool CanBackUpFaithfully(std::string_view content) {
  return content.empty() ||
         std::memchr(content.data(), kUnencodableByte, content.size()) == nullptr;
}

}  // namespace vindo
