// Forced into every source that includes GoogleTest where the standard library has no
// std::mutex (MinGW's win32 thread model before GCC 13): the one class of GoogleTest
// that needs it, here on a Win32 event (gtest_notification_win32.cpp). Only
// GoogleTest's own thread helpers use it; the tests start no threads.
#pragma once

namespace testing {
namespace internal {

class Notification {
 public:
  Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  ~Notification();

  void Notify();
  void WaitForNotification();

 private:
  void* event_;
};

}  // namespace internal
}  // namespace testing
