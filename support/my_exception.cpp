#include "my_exception.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "error_display.h"

namespace {

constexpr const char kCaption[] = "Error Exception";

// Building a report needs memory. When that fails, the string class throws a further
// exception from inside the constructor, whose report needs memory again: under
// lasting exhaustion that would never end. Reports nested deeper than this are
// therefore put together in a fixed buffer, without the heap.
constexpr int kDeepestReportOnTheHeap = 2;
thread_local int reportsBeingBuilt = 0;

class ReportScope {
 public:
  ReportScope() { ++reportsBeingBuilt; }
  ~ReportScope() { --reportsBeingBuilt; }
  ReportScope(const ReportScope&) = delete;
  ReportScope& operator=(const ReportScope&) = delete;
  bool MayUseTheHeap() const { return reportsBeingBuilt <= kDeepestReportOnTheHeap; }
};

// A report text that needs no allocation; what does not fit is cut off.
class FixedReport {
 public:
  FixedReport& operator<<(const char* text) {
    if (text == nullptr) return *this;
    const std::size_t room = sizeof text_ - 1 - used_;
    std::size_t length = std::strlen(text);
    if (length > room) length = room;
    std::memcpy(text_ + used_, text, length);
    used_ += length;
    text_[used_] = '\0';
    return *this;
  }
  const char* Text() const { return text_; }

 private:
  char text_[512] = "";
  std::size_t used_ = 0;
};

void ShowFixedReport(const char* className, const char* method, const char* message,
                     const char* value) {
  FixedReport report;
  report << "Context: " << className << method << "\nMessage: " << message;
  if (value != nullptr && value[0] != '\0') report << "\nValue: " << value;
  support::ShowErrorReport(report.Text(), kCaption);
}

}  // namespace

CMyException::CMyException(const char* className, const char* method, const char* message,
                           const char* value) {
  const ReportScope scope;
  if (!scope.MayUseTheHeap()) {
    ShowFixedReport(className, method, message, value);
    return;
  }
  message_ = message;
  method_ = method;
  className_ = className;
  value_ = value;
  Display();
}

// A deep copy, member by member; it does not show the report again.
CMyException::CMyException(const CMyException& other)
    : message_(other.message_),
      value_(other.value_),
      method_(other.method_),
      className_(other.className_) {}

int CMyException::Display() {
  CMyString report;
  report << "Context: " << className_.Text() << method_.Text();
  report << "\nMessage: " << message_.Text();
  if (value_.Length() > 0) report << "\nValue: " << value_.Text();
  return support::ShowErrorReport(report.Text(), kCaption);
}

CMyExceptionMemory::CMyExceptionMemory(const char* className, const char* method,
                                       std::int32_t size) {
  const ReportScope scope;
  if (!scope.MayUseTheHeap()) {
    char message[48];
    std::snprintf(message, sizeof message, "no more memory for %d bytes", static_cast<int>(size));
    ShowFixedReport(className, method, message, nullptr);
    return;
  }
  CMyString message;
  message << "no more memory for ";
  message += size;
  message << " bytes";
  message_ = message;
  method_ = method;
  className_ = className;
  value_.FreeBuffer();
  Display();
}
