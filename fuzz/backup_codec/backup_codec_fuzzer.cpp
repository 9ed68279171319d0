// The backup of the settings file and its restore, on arbitrary content, through the
// store's public operations over files in memory. Every content without the byte 255
// is backed up in the documented rotated form and restored unchanged; a content with
// one is refused and the old backup kept. Any stored backup restores by the
// documented reverse rotation.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "memory_switcher_system.h"
#include "settings_store.h"

namespace {

// The stored form of a settings byte and back, as existing backups hold them.
unsigned char Stored(unsigned char b) {
  return static_cast<unsigned char>(b <= 216 ? b + 39 : b - 216);
}
unsigned char Restored(unsigned char s) {
  return static_cast<unsigned char>(s >= 39 ? s - 39 : s + 216);
}

std::string Map(std::string_view text, unsigned char (*map)(unsigned char)) {
  std::string mapped(text);
  for (char& c : mapped) c = static_cast<char>(map(static_cast<unsigned char>(c)));
  return mapped;
}

bool SameTimes(const vindo::FileTimes& a, const vindo::FileTimes& b) {
  return a.valid == b.valid && a.creation == b.creation && a.last_access == b.last_access &&
         a.last_write == b.last_write;
}

vindo::FileTimes Times(std::int64_t base) {
  vindo::FileTimes times;
  times.valid = true;
  times.creation = base;
  times.last_access = base + 1;
  times.last_write = base + 2;
  return times;
}

void CheckRoundTrip(const std::string& content) {
  const vindo::SwitcherPaths paths = vindo::DefaultPaths();
  fuzz::MemorySwitcherSystem system;
  const fuzz::MemorySwitcherSystem::File previous{"an earlier backup", Times(100)};
  system.files[paths.settings] = {content, Times(200)};
  system.files[paths.backup] = previous;

  const bool faithful = content.find('\xFF') == std::string::npos;
  FUZZ_CHECK(vindo::CanBackUpFaithfully(content) == faithful);

  vindo::FileTimes times;
  std::string read;  // what each step read of the settings file, or restored to it
  const bool backedUp = vindo::BackupSettings(system, paths, &times, &read);
  FUZZ_CHECK(backedUp == faithful);
  FUZZ_CHECK(read == content);
  FUZZ_CHECK(system.AllClosed() && system.files.size() == 2);  // no temporary file left
  FUZZ_CHECK(system.files[paths.settings].content == content);
  const auto& backup = system.files[paths.backup];
  if (!backedUp) {
    // Refused: the earlier backup stays as it was.
    FUZZ_CHECK(backup.content == previous.content && SameTimes(backup.times, previous.times));
    return;
  }
  FUZZ_CHECK(backup.content == Map(content, Stored));
  FUZZ_CHECK(SameTimes(backup.times, Times(200)));

  // A settings file that exists is never replaced by the restore.
  FUZZ_CHECK(!vindo::RestoreSettings(system, paths, &times, &read));
  FUZZ_CHECK(system.files[paths.settings].content == content);

  system.files.erase(paths.settings);
  read.clear();
  FUZZ_CHECK(vindo::RestoreSettings(system, paths, &times, &read));
  FUZZ_CHECK(read == content);
  FUZZ_CHECK(system.AllClosed() && system.files.size() == 2);
  FUZZ_CHECK(system.files[paths.settings].content == content);
  FUZZ_CHECK(SameTimes(system.files[paths.settings].times, Times(200)));
  FUZZ_CHECK(system.files[paths.backup].content == Map(content, Stored));
}

void CheckRestoreOf(const std::string& stored) {
  const vindo::SwitcherPaths paths = vindo::DefaultPaths();
  fuzz::MemorySwitcherSystem system;
  system.files[paths.backup] = {stored, Times(300)};
  vindo::FileTimes times;
  std::string restored;
  FUZZ_CHECK(vindo::SafeguardSettings(system, paths, &times, &restored));
  FUZZ_CHECK(restored == Map(stored, Restored));
  FUZZ_CHECK(system.AllClosed() && system.files.size() == 2);
  FUZZ_CHECK(system.files[paths.settings].content == Map(stored, Restored));
  FUZZ_CHECK(system.files[paths.backup].content == stored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  CheckRoundTrip(input);
  CheckRestoreOf(input);
  // An input that starts with "64K:" stands also for the rest of it repeated to more
  // than 64 KiB: a file larger than any buffer a write might go through at once.
  const std::string_view kLarge = "64K:";
  if (input.size() > kLarge.size() && input.compare(0, kLarge.size(), kLarge) == 0) {
    const std::string part = input.substr(kLarge.size());
    std::string large;
    while (large.size() <= 64 * 1024) large += part;
    CheckRoundTrip(large);
    CheckRestoreOf(large);
  }
  return 0;
}
