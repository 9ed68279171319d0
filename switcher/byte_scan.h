// The search for one byte value in a run of bytes, for the line ends, commas and
// markers of a settings file. The Windows runtime's memchr looks at one byte at a time,
// and a call per line of 30 bytes costs more than the search itself; there, this one
// looks at 16 bytes at a time where the processor has SSE2, else at a word at a time.
// Elsewhere the C library's memchr is faster than either.
#pragma once

#include <cstddef>
#include <cstring>

namespace vindo {

#if defined(_WIN32)
// The first byte of value |byte| in [from, end), or end.
const char* FindByte(const char* from, const char* end, unsigned char byte);
#else
inline const char* FindByte(const char* from, const char* end, unsigned char byte) {
  const void* found =
      from == end ? nullptr : std::memchr(from, byte, static_cast<std::size_t>(end - from));
  return found != nullptr ? static_cast<const char*>(found) : end;
}
#endif

// The same search a word at a time, as FindByte does it on Windows without SSE2.
const char* FindByteWordwise(const char* from, const char* end, unsigned char byte);

// True where the processor has SSE2: always on x86-64; on 32-bit x86, asked of the
// processor once, as the 32-bit build runs on processors without it too.
bool HasSse2();

}  // namespace vindo
