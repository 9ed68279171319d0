#include "backup_codec.h"

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <emmintrin.h>
#endif

#include "byte_scan.h"

namespace vindo {
namespace {

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
// 16 bytes at a time: an add, and a subtract of the mask of the bytes from 217 up
// (those that wrap), which adds their 1. Returns the bytes done; |*faithful| false
// when one of them was kUnencodableByte.
__attribute__((target("sse2"))) std::size_t EncodeSse2(const unsigned char* in, std::size_t size,
                                                       unsigned char* out, bool* faithful) {
  const __m128i add = _mm_set1_epi8(39);
  const __m128i first_wrapping = _mm_set1_epi8(static_cast<char>(217));
  const __m128i unencodable = _mm_set1_epi8(static_cast<char>(kUnencodableByte));
  __m128i met = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i wraps = _mm_cmpeq_epi8(_mm_max_epu8(bytes, first_wrapping), bytes);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_sub_epi8(_mm_add_epi8(bytes, add), wraps));
    met = _mm_or_si128(met, _mm_cmpeq_epi8(bytes, unencodable));
  }
  *faithful = _mm_movemask_epi8(met) == 0;
  return i;
}
#endif

// A word at a time: the low seven bits of each byte plus 39 can't carry into the next
// byte; the sum's top bit is then flipped by the byte's own, and the byte wraps
// (b + 39 > 255) where both top bits were set, which adds the 1. A byte 255 is a zero
// byte of ~bytes, which (y - 0x01..01) & ~y & 0x80..80 finds.
std::size_t EncodeWords(const unsigned char* in, std::size_t size, unsigned char* out,
                        bool* faithful) {
  using Word = std::uintptr_t;
  constexpr Word kOnes = ~Word{0} / 0xFF;
  constexpr Word kHighBits = kOnes * 0x80;
  Word met = 0;
  std::size_t i = 0;
  for (; i + sizeof(Word) <= size; i += sizeof(Word)) {
    Word bytes;
    std::memcpy(&bytes, in + i, sizeof bytes);
    const Word low_sum = (bytes & ~kHighBits) + kOnes * 39;
    const Word wrapped = (bytes & low_sum & kHighBits) >> 7;
    const Word encoded = (low_sum ^ (bytes & kHighBits)) + wrapped;
    std::memcpy(out + i, &encoded, sizeof encoded);
    met |= (~bytes - kOnes) & bytes & kHighBits;
  }
  *faithful = met == 0;
  return i;
}

// The bytes from |i| on, one at a time.
bool EncodeTail(const unsigned char* in, std::size_t i, std::size_t size, unsigned char* out,
                bool faithful) {
  for (; i < size; ++i) {
    out[i] = EncodeBackupByte(in[i]);
    faithful = faithful && in[i] != kUnencodableByte;
  }
  return faithful;
}

}  // namespace

// The rotation as byte arithmetic that wraps by 256, with the wrap by 255 as one more
// step of 1 (b + 39 - 255 is b + 39 + 1 modulo 256); the byte that can't be stored is
// looked for in the same pass.
bool EncodeBackupBytes(const char* from, std::size_t size, char* to) {
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
  if (HasSse2()) {
    const auto* in = reinterpret_cast<const unsigned char*>(from);
    auto* out = reinterpret_cast<unsigned char*>(to);
    bool faithful = true;
    const std::size_t done = EncodeSse2(in, size, out, &faithful);
    return EncodeTail(in, done, size, out, faithful);
  }
#endif
  return EncodeBackupBytesWordwise(from, size, to);
}

bool EncodeBackupBytesWordwise(const char* from, std::size_t size, char* to) {
  const auto* in = reinterpret_cast<const unsigned char*>(from);
  auto* out = reinterpret_cast<unsigned char*>(to);
  bool faithful = true;
  const std::size_t done = EncodeWords(in, size, out, &faithful);
  return EncodeTail(in, done, size, out, faithful);
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
  const char* end = content.data() + content.size();
  return FindByte(content.data(), end, kUnencodableByte) == end;
}

}  // namespace vindo
