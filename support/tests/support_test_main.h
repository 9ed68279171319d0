// The support tests start their own program again as a child that lets an exception
// leave main, to see how the process ends.
#pragma once

namespace support::testing {

// Child arguments: the flag, then "null-text" or "exhausted", then the file that
// receives the reports and the file that receives the standard error stream.
constexpr const char kThrowFromMainFlag[] = "--throw-from-main";

}  // namespace support::testing
