// The exceptions of the support classes. Each shows its report ("Context: " class and
// method, "Message: ", and "Value: " when there is one) in a box captioned
// "Error Exception" while it is being constructed, so the user sees it although
// nothing catches it. Copies do not show it again.
#pragma once

#include <cstdint>

#include "my_string.h"

class CMyException {
 public:
  // |value| may be null: the report then has no value line.
  CMyException(const char* className, const char* method, const char* message, const char* value);
  CMyException(const CMyException& other);
  CMyException& operator=(const CMyException&) = delete;
  ~CMyException() = default;

  // Builds the report and shows it; returns the display's answer, which nobody needs.
  int Display();

  const CMyString& Message() const { return message_; }
  const CMyString& Value() const { return value_; }
  const CMyString& Method() const { return method_; }
  const CMyString& ClassName() const { return className_; }

 protected:
  // Unset members, no report yet: for the derived class, which builds its message first.
  CMyException() = default;

  CMyString message_;
  CMyString value_;
  CMyString method_;
  CMyString className_;
};

// Out of memory: the message tells how many bytes were asked for in vain.
class CMyExceptionMemory : public CMyException {
 public:
  CMyExceptionMemory(const char* className, const char* method, std::int32_t size);
  CMyExceptionMemory(const CMyExceptionMemory& other) = default;
};
