// CMyString: heap-allocated, NUL-terminated 8-bit text whose buffer is always exactly
// length + 1 bytes. A string is unset (no text, read as the empty text), owning (its
// own buffer) or not owning (it refers to the caller's text and never frees it).
// Failures are thrown: CMyException for a null text given to the constructor,
// CMyExceptionMemory when a buffer cannot be allocated.
#pragma once

#include <cstdint>

class CMyString {
 public:
  CMyString() noexcept;
  // Copies |text|, or refers to it without copying when |noCopy| is non-zero.
  explicit CMyString(const char* text, int noCopy = 0);
  // The decimal text of |value|.
  explicit CMyString(std::int32_t value);
  // A deep copy; list elements arrive this way.
  CMyString(const CMyString& other);
  virtual ~CMyString();

  // A null text makes the string unset.
  CMyString& operator=(const char* text);
  CMyString& operator=(const CMyString& other);

  // Exact, byte-wise comparison; an unset string reads as the empty text. A null
  // text equals nothing.
  bool operator==(const char* text) const;
  bool operator==(const CMyString& other) const;

  // Appends the text (nothing for a null text) or the decimal text of the value.
  void operator+=(const char* text);
  void operator+=(std::int32_t value);

  // Gives the string a new buffer for |newLength| characters, keeping as much of the
  // text as fits when |keep| is set, else leaving the empty text. Always returns 1.
  int Resize(std::int32_t newLength, int keep);

  // Lower-cases A to Z in place; true when any character was not a lower-case letter.
  bool MakeLower();

  // Lets go of the text; the string becomes unset.
  void FreeBuffer();

  // The text, or null while the string is unset.
  const char* Text() const { return text_; }
  std::int32_t Length() const { return length_; }
  // Bytes allocated for the text: length + 1, 0 while unset, -1 when not owning.
  std::int32_t Capacity() const { return capacity_; }
  bool OwnsText() const { return notOwned_ == 0; }

 private:
  // Copies |length| bytes of |text| into a new buffer and adopts it. |method| names
  // the operation in the report when the buffer cannot be allocated; the string has
  // let go of its old text by then.
  void AssignCopy(const char* text, std::int32_t length, const char* method);
  // Releases the current buffer (when owned) and takes |buffer| as the owned text.
  void Adopt(char* buffer, std::int32_t length, std::int32_t capacity);

  char* text_;
  std::int32_t length_;
  std::int32_t notOwned_;
  std::int32_t capacity_;
};

// Appends |text| and returns the same string, so that appends chain.
CMyString& operator<<(CMyString& string, const char* text);
