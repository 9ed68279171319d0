// The search for one byte value in a run of bytes, for the line ends, commas and
// markers of a settings file. The Windows runtime's memchr looks at one byte at a time,
// and a call per line of 30 bytes costs more than the search itself; there, this one
// looks at 16 bytes at a time where the processor has vector units, else at a word at a
// time. Elsewhere the C library's memchr is faster than either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32) && defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

namespace vindo {

// The first byte of value |byte| in [from, end), or end.
inline const char* FindByte(const char* from, const char* end, unsigned char byte) {
#if !defined(_WIN32)
  const void* found =
      from == end ? nullptr : std::memchr(from, byte, static_cast<std::size_t>(end - from));
  return found != nullptr ? static_cast<const char*>(found) : end;
#else
#if defined(__SSE2__) && defined(__GNUC__)
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(byte));
  for (; end - from >= 16; from += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted));
    if (found != 0) return from + __builtin_ctz(static_cast<unsigned>(found));
  }
#else
  // A word holds a byte of value |byte| when the word XOR |byte| in every byte holds a
  // zero byte, which (x - 0x01..01) & ~x & 0x80..80 finds.
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
#endif
  while (from != end && static_cast<unsigned char>(*from) != byte) ++from;
  return from;
#endif
}

}  // namespace vindo
