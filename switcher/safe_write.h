// The safe write that every file of vindo goes through, and the retries of a file that
// another program holds for a moment.
#pragma once

#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <string_view>

#include "backup_codec.h"
#include "switcher_system.h"

namespace vindo {

// Runs one step of the run or of a write. Memory that runs out within it (a very large
// settings file) fails the step as any other failure of it would, so that what the step
// began is undone as for any failure: nothing is left behind, an old content written
// in place is put back.
template <typename Step>
bool Succeeds(Step step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Another process may hold a file for a moment (a virus scanner, an indexer); retry
// this often, this far apart: about a second in all.
constexpr int kBusyAttempts = 10;
constexpr int kBusyRetryMilliseconds = 100;

// True when something is at the path (a file or a directory), or may be there but
// can't be looked at: only a path that is really missing gives false.
bool FileExists(SwitcherSystem& system, const std::string& path);

FileStatus ReadFileRetrying(SwitcherSystem& system, const std::string& path, std::string* contents);

// <file>.partial: while it exists, |file| may be partial (a write in place that did
// not finish). It records the size and a checksum of each content the file may
// legitimately hold, the old and the new one of that write; a file so marked is
// neither backed up nor restored from unless it holds one of them.
std::string PartialMarkOf(const std::string& path);
bool IsMarkedPartial(SwitcherSystem& system, const std::string& path);
// For a file found marked: true when |content|, the file as read, is one its mark
// allows; the mark is then removed, as far as it can be (one that stays blocks
// nothing). False for any other content, and for a mark that is empty or can't be read.
bool MarkAllows(SwitcherSystem& system, const std::string& path, std::string_view content);

enum class WriteTarget { kReplace, kCreateOnly };

// Hands the content to |sink| a part at a time, in order; false when the sink refused a
// part.
using ContentSink = std::function<bool(std::string_view part)>;
using ContentSource = std::function<bool(const ContentSink& sink)>;

// One file written safely. The content goes to a new temporary file beside the
// target, <target>.<n>.tmp, which is made durable and then moved over the target in
// one step, so that the target is always whole, old or new. Temporary files of that
// naming that runs stopped dead left behind are removed first; one that another
// program still holds open can't be removed, and its name is skipped.
//
// When the move is refused as busy, it is retried for about a second. Then, unless it
// is the temporary file that another program holds (vindo may open its own file
// sharing nothing to see that; never the target, whose users that would lock out),
// the content is written into the target in place, which works when the holder shares
// reading and writing, and where the file only lacks the right to be deleted. Every refusal that
// the platform makes in advance comes before the first byte changes (the new length is set first: a
// full disk refuses a longer file, a mapped file a shorter one); a failure after that puts the old
// content back and reads it back. Meanwhile the target is marked partial (PartialMarkOf), and it
// stays marked when it could not be put back, or when a hard stop ended the write. Any other
// refusal (a temporary file that a scanner holds, a read-only target, no right to write) fails the
// write, target unchanged.
class SafeWrite {
 public:
  // |map|, when given, maps every byte on its way to the file; a byte that it can't map
  // faithfully fails the write. A |plain| write (a mark) is never written in place, and
  // has no mark of its own.
  SafeWrite(SwitcherSystem& system, std::string path, ByteMapping map = nullptr,
            bool plain = false);
  // A write that was not finished leaves nothing behind: its temporary file is closed
  // and removed, also when an exception ends it.
  ~SafeWrite();
  SafeWrite(const SafeWrite&) = delete;
  SafeWrite& operator=(const SafeWrite&) = delete;

  FileStatus Begin();
  // Adds the next part of the content; false once any write has failed.
  bool Write(std::string_view part);
  // Gives the file |times| when they are valid and puts it in place, and clears the
  // target's partial mark. kCreateOnly never replaces an existing file. |again| gives
  // the content once more, as Write() got it, for a write in place. On failure the
  // target is as it was, but for kDamaged: then it is marked partial, and removed where
  // it can be.
  FileStatus Finish(const FileTimes& times, WriteTarget target, const ContentSource& again);

 private:
  void RemoveStaleTemporaries();
  FileStatus ReplaceRetrying();
  FileStatus WriteInPlace(const FileTimes& times, const ContentSource& again);
  bool PutBack(FileHandle target, const std::string& old, const FileTimes& old_times,
               std::string* now);
  bool Mark(const std::string* old, const ContentSource& again);
  void ClearMark();
  bool WriteAll(FileHandle handle, std::string_view content);
  // Hands |content| to |use| as it goes to the file, mapped a chunk at a time.
  template <typename Use>
  bool Mapped(std::string_view content, Use use);
  void Discard();

  SwitcherSystem& system_;
  const std::string path_;
  const std::string mark_;  // PartialMarkOf(path_)
  const ByteMapping map_;
  const bool plain_;
  std::string mapped_;     // room for one mapped chunk
  std::string temporary_;  // the temporary file, while it exists
  FileHandle handle_ = 0;
  bool open_ = false;
  bool written_ = true;
  std::uint64_t size_ = 0;   // bytes given to Write()
  bool was_marked_ = false;  // the target was marked partial before this write
  bool marked_ = false;      // it is now
};

// A whole SafeWrite of |content|.
FileStatus WriteFileSafely(SwitcherSystem& system, const std::string& path,
                           std::string_view content, ByteMapping map, const FileTimes& times,
                           WriteTarget target);

}  // namespace vindo
