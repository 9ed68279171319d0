#include <windows.h>

#include "error_display.h"

namespace support {

int MessageBoxErrorDisplay::Show(const char* report, const char* caption) {
  return MessageBoxA(nullptr, report, caption, MB_OK);
}

}  // namespace support
