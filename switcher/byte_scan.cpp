#include "byte_scan.h"

#include <cstdint>

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <emmintrin.h>
#define VINDO_SSE2 __attribute__((target("sse2")))
#endif

namespace vindo {

bool HasSse2() {
#if defined(__x86_64__) || defined(_M_X64)
  return true;
#elif defined(VINDO_SSE2)
  static const bool has_sse2 = __builtin_cpu_supports("sse2");
  return has_sse2;
#else
  return false;
#endif
}

#if defined(_WIN32)
namespace {

#if defined(VINDO_SSE2)
VINDO_SSE2 const char* FindByteSse2(const char* from, const char* end, unsigned char byte) {
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(byte));
  for (; end - from >= 16; from += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted));
    if (found != 0) return from + __builtin_ctz(static_cast<unsigned>(found));
  }
  while (from != end && static_cast<unsigned char>(*from) != byte) ++from;
  return from;
}
#endif

}  // namespace

const char* FindByte(const char* from, const char* end, unsigned char byte) {
#if defined(VINDO_SSE2)
  if (HasSse2()) return FindByteSse2(from, end, byte);
#endif
  return FindByteWordwise(from, end, byte);
}
#endif

// A word holds a byte of value |byte| when the word XOR |byte| in every byte holds a
// zero byte, which (x - 0x01..01) & ~x & 0x80..80 finds.
const char* FindByteWordwise(const char* from, const char* end, unsigned char byte) {
  using Word = std::uintptr_t;
  constexpr Word kOnes = ~Word{0} / 0xFF;
  constexpr Word kHighBits = kOnes * 0x80;
  const Word wanted = kOnes * byte;
  for (; static_cast<std::size_t>(end - from) >= sizeof(Word); from += sizeof(Word)) {
    Word word;
    std::memcpy(&word, from, sizeof word);
    const Word x = word ^ wanted;
    if (((x - kOnes) & ~x & kHighBits) != 0) break;  // in this word: the loop below finds it
  }
  while (from != end && static_cast<unsigned char>(*from) != byte) ++from;
  return from;
}

}  // namespace vindo
