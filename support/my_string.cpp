#include "my_string.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>

#include "allocation.h"
#include "my_exception.h"

namespace {

constexpr std::int32_t kLongestText = std::numeric_limits<std::int32_t>::max() - 1;

// Length of |text|; a text too long for the 32-bit length counts as memory that cannot be had.
std::int32_t LengthOf(const char* text, const char* method) {
  const std::size_t length = std::strlen(text);
  if (length > static_cast<std::size_t>(kLongestText)) {
    throw CMyExceptionMemory("CMyString", method, std::numeric_limits<std::int32_t>::max());
  }
  return static_cast<std::int32_t>(length);
}

// |length| characters of |text|, or fewer when a terminator comes first: a caller's
// text that has become shorter since it was wrapped is not read past its end.
std::int32_t BoundedLength(const char* text, std::int32_t length) {
  const void* end = std::memchr(text, '\0', static_cast<std::size_t>(length));
  return end == nullptr ? length : static_cast<std::int32_t>(static_cast<const char*>(end) - text);
}

char* AllocateText(std::int32_t capacity) {
  return static_cast<char*>(support::AllocateBlock(static_cast<std::size_t>(capacity)));
}

}  // namespace

CMyString::CMyString() noexcept : text_(nullptr), length_(0), notOwned_(0), capacity_(0) {}

CMyString::CMyString(const char* text, int noCopy)
    : text_(nullptr), length_(0), notOwned_(noCopy), capacity_(0) {
  if (text == nullptr) {
    throw CMyException("CMyString", "constructor", "parameter string is null", nullptr);
  }
  if (noCopy != 0) {
    // The caller's text is never written to or freed; only the pointer is kept.
    length_ = LengthOf(text, "constructor");
    text_ = const_cast<char*>(text);
    capacity_ = -1;
    return;
  }
  *this = text;
}

CMyString::CMyString(std::int32_t value) : CMyString() {
  char digits[12];  // "-2147483648" and its terminator
  const int length = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
  AssignCopy(digits, static_cast<std::int32_t>(length), "operator=(char *)");
}

CMyString::CMyString(const CMyString& other) : CMyString() { *this = other; }

CMyString::~CMyString() { FreeBuffer(); }

CMyString& CMyString::operator=(const char* text) {
  if (text == nullptr) {
    FreeBuffer();
    return *this;
  }
  AssignCopy(text, LengthOf(text, "operator=(char *)"), "operator=(char *)");
  return *this;
}

CMyString& CMyString::operator=(const CMyString& other) {
  if (&other == this) return *this;
  if (other.text_ == nullptr) {
    FreeBuffer();
    return *this;
  }
  AssignCopy(other.text_, BoundedLength(other.text_, other.length_), "operator=(CMyString &)");
  return *this;
}

bool CMyString::operator==(const char* text) const {
  if (text == nullptr) return false;
  return std::strcmp(text_ != nullptr ? text_ : "", text) == 0;
}

bool CMyString::operator==(const CMyString& other) const {
  return std::strcmp(text_ != nullptr ? text_ : "", other.text_ != nullptr ? other.text_ : "") == 0;
}

void CMyString::operator+=(const char* text) {
  if (text == nullptr) return;
  if (text_ == nullptr) *this = "";
  const std::int32_t current = BoundedLength(text_, length_);
  const std::int32_t appended = LengthOf(text, "Resize");
  if (appended > kLongestText - current) {
    throw CMyExceptionMemory("CMyString", "Resize", std::numeric_limits<std::int32_t>::max());
  }
  const std::int32_t newLength = current + appended;
  char* buffer = AllocateText(newLength + 1);
  if (buffer == nullptr) throw CMyExceptionMemory("CMyString", "Resize", newLength + 1);
  // Both copies are made before the old buffer goes, so a string may append its own text.
  std::memcpy(buffer, text_, static_cast<std::size_t>(current));
  std::memcpy(buffer + current, text, static_cast<std::size_t>(appended));
  buffer[newLength] = '\0';
  Adopt(buffer, newLength, newLength + 1);
}

void CMyString::operator+=(std::int32_t value) {
  const CMyString digits(value);
  *this += digits.text_;
}

int CMyString::Resize(std::int32_t newLength, int keep) {
  if (newLength < 0) newLength = 0;
  if (newLength > kLongestText) {
    throw CMyExceptionMemory("CMyString", "Resize", std::numeric_limits<std::int32_t>::max());
  }
  char* buffer = AllocateText(newLength + 1);
  if (buffer == nullptr) throw CMyExceptionMemory("CMyString", "Resize", newLength + 1);
  std::memset(buffer, 0, static_cast<std::size_t>(newLength) + 1);
  std::int32_t kept = 0;
  if (keep != 0 && text_ != nullptr) {
    kept = BoundedLength(text_, newLength < length_ ? newLength : length_);
    std::memcpy(buffer, text_, static_cast<std::size_t>(kept));
  }
  Adopt(buffer, kept, newLength + 1);
  return 1;
}

bool CMyString::MakeLower() {
  // A string that refers to the caller's text lowers its own copy: the caller's text
  // may be read-only, and it is never written to.
  if (notOwned_ != 0 && length_ > 0) {
    AssignCopy(text_, BoundedLength(text_, length_), "operator=(char *)");
  }
  bool anyNotLower = false;
  for (std::int32_t i = 0; i < length_; ++i) {
    const unsigned char c = static_cast<unsigned char>(text_[i]);
    if (!std::islower(c)) {
      text_[i] = static_cast<char>(std::tolower(c));
      anyNotLower = true;
    }
  }
  return anyNotLower;
}

void CMyString::FreeBuffer() {
  if (text_ != nullptr && notOwned_ == 0) support::ReleaseBlock(text_);
  text_ = nullptr;
  length_ = 0;
  capacity_ = 0;
}

void CMyString::AssignCopy(const char* text, std::int32_t length, const char* method) {
  char* buffer = AllocateText(length + 1);
  if (buffer == nullptr) {
    FreeBuffer();
    throw CMyExceptionMemory("CMyString", method, length + 1);
  }
  // Copied before the old buffer is released: |text| may lie inside it.
  std::memcpy(buffer, text, static_cast<std::size_t>(length));
  buffer[length] = '\0';
  Adopt(buffer, length, length + 1);
}

void CMyString::Adopt(char* buffer, std::int32_t length, std::int32_t capacity) {
  FreeBuffer();
  text_ = buffer;
  length_ = length;
  capacity_ = capacity;
  // A string that referred to the caller's text owns what it holds from now on, so
  // that its new buffer is freed in turn.
  notOwned_ = 0;
}

CMyString& operator<<(CMyString& string, const char* text) {
  string += text;
  return string;
}
