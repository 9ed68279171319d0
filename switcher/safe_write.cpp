#include "safe_write.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vindo {
namespace {

// Small enough to keep memory flat while a mapped file is written, and to stay in the
// processor's cache between its mapping and its write; large enough that the calls
// per write cost little.
constexpr std::size_t kWriteChunk = 256 * 1024;
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr char kPartialEnd[] = ".partial";

std::string TemporaryName(const std::string& path, unsigned long long number) {
  return path + "." + std::to_string(number) + std::string(kTemporaryEnd);
}

// True for <path>.<digits>.tmp: a temporary file of a write to |path|.
bool IsTemporaryOf(std::string_view file, std::string_view path) {
  if (file.size() <= path.size() + 1 + kTemporaryEnd.size() ||
      file.substr(0, path.size()) != path || file[path.size()] != '.' ||
      file.substr(file.size() - kTemporaryEnd.size()) != kTemporaryEnd) {
    return false;
  }
  const std::string_view number =
      file.substr(path.size() + 1, file.size() - path.size() - 1 - kTemporaryEnd.size());
  return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The size and a checksum of a content: enough to tell the old content from the new
// and either from a damaged one; not meant to resist anyone who forges a file.
struct ContentRecord {
  std::uint64_t size = 0;
  std::uint64_t sum = 0;
  bool operator==(const ContentRecord& other) const {
    return size == other.size && sum == other.sum;
  }
};

// Eight bytes at a time in four independent lanes, so that it runs at several GB/s.
class ContentChecksum {
 public:
  void Add(std::string_view part) {
    size_ += part.size();
    if (pending_size_ > 0) {
      const std::size_t taken = std::min(kBlock - pending_size_, part.size());
      std::memcpy(pending_ + pending_size_, part.data(), taken);
      pending_size_ += taken;
      part.remove_prefix(taken);
      if (pending_size_ < kBlock) return;
      AddBlock(lanes_, pending_);
      pending_size_ = 0;
    }
    for (; part.size() >= kBlock; part.remove_prefix(kBlock)) AddBlock(lanes_, part.data());
    std::memcpy(pending_, part.data(), part.size());
    pending_size_ = part.size();
  }

  ContentRecord Record() const {
    std::uint64_t lanes[kLanes];
    std::copy(lanes_, lanes_ + kLanes, lanes);
    if (pending_size_ > 0) {
      char last[kBlock] = {};
      std::memcpy(last, pending_, pending_size_);
      AddBlock(lanes, last);
    }
    std::uint64_t sum = Mix(size_);
    for (const std::uint64_t lane : lanes) sum = Mix(sum ^ Mix(lane));
    return {size_, sum};
  }

 private:
  static constexpr std::size_t kLanes = 4;
  static constexpr std::size_t kBlock = kLanes * sizeof(std::uint64_t);
  static constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15u;

  static void AddBlock(std::uint64_t* lanes, const char* block) {
    for (std::size_t i = 0; i < kLanes; ++i) {
      std::uint64_t word;
      std::memcpy(&word, block + i * sizeof word, sizeof word);
      const std::uint64_t mixed = lanes[i] ^ word;
      lanes[i] = ((mixed << 31) | (mixed >> 33)) * kOdd;
    }
  }

  static std::uint64_t Mix(std::uint64_t value) {
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9u;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBu;
    return value ^ (value >> 31);
  }

  std::uint64_t lanes_[kLanes] = {1, 2, 3, 4};
  char pending_[kBlock] = {};
  std::size_t pending_size_ = 0;
  std::uint64_t size_ = 0;
};

ContentRecord RecordOf(std::string_view content) {
  ContentChecksum checksum;
  checksum.Add(content);
  return checksum.Record();
}

// A mark holds one line "old <size> <sum>" or "new <size> <sum>" (in hexadecimal) for
// each content that its file may legitimately hold.
constexpr std::size_t kHexDigits = 16;
constexpr char kHex[] = "0123456789abcdef";

void AppendHex(std::uint64_t value, std::string* text) {
  for (int shift = 60; shift >= 0; shift -= 4) *text += kHex[(value >> shift) & 0xF];
}

std::string RecordLine(const char* name, const ContentRecord& record) {
  std::string line = name;
  line += ' ';
  AppendHex(record.size, &line);
  line += ' ';
  AppendHex(record.sum, &line);
  line += '\n';
  return line;
}

bool ReadHex(std::string_view text, std::uint64_t* value) {
  if (text.size() != kHexDigits) return false;
  *value = 0;
  for (const char digit : text) {
    const char* found = std::strchr(kHex, digit);
    if (digit == '\0' || found == nullptr) return false;
    *value = (*value << 4) | static_cast<std::uint64_t>(found - kHex);
  }
  return true;
}

// True when the mark at |mark| reads whole and has a record of |content|.
bool MarkAllowsContent(SwitcherSystem& system, const std::string& mark, std::string_view content) {
  std::string text;
  if (ReadFileRetrying(system, mark, &text) != FileStatus::kOk) return false;
  const ContentRecord record = RecordOf(content);
  constexpr std::size_t kLine = 4 + kHexDigits + 1 + kHexDigits + 1;
  if (text.empty() || text.size() % kLine != 0) return false;
  bool allowed = false;
  for (std::string_view rest = text; !rest.empty(); rest.remove_prefix(kLine)) {
    const std::string_view line = rest.substr(0, kLine);
    ContentRecord found;
    if ((line.substr(0, 4) != "old " && line.substr(0, 4) != "new ") || line[20] != ' ' ||
        line[kLine - 1] != '\n' || !ReadHex(line.substr(4, kHexDigits), &found.size) ||
        !ReadHex(line.substr(21, kHexDigits), &found.sum)) {
      return false;
    }
    allowed = allowed || found == record;
  }
  return allowed;
}

// Closes a file handle when it goes out of scope, unless Close() did so already.
class HandleCloser {
 public:
  HandleCloser(SwitcherSystem& system, FileHandle handle) : system_(system), handle_(handle) {}
  ~HandleCloser() {
    if (open_) system_.CloseFile(handle_);
  }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;

  bool Close() {
    open_ = false;
    return system_.CloseFile(handle_);
  }

 private:
  SwitcherSystem& system_;
  FileHandle handle_;
  bool open_ = true;
};

}  // namespace

bool FileExists(SwitcherSystem& system, const std::string& path) {
  return system.Probe(path) != PathKind::kMissing;
}

FileStatus ReadFileRetrying(SwitcherSystem& system, const std::string& path,
                            std::string* contents) {
  FileStatus status = system.ReadWholeFile(path, contents);
  for (int attempt = 1; status == FileStatus::kBusy && attempt < kBusyAttempts; ++attempt) {
    system.Sleep(kBusyRetryMilliseconds);
    status = system.ReadWholeFile(path, contents);
  }
  return status;
}

std::string PartialMarkOf(const std::string& path) { return path + kPartialEnd; }

bool IsMarkedPartial(SwitcherSystem& system, const std::string& path) {
  return FileExists(system, PartialMarkOf(path));
}

bool MarkAllows(SwitcherSystem& system, const std::string& path, std::string_view content) {
  const std::string mark = PartialMarkOf(path);
  if (!MarkAllowsContent(system, mark, content)) return false;
  system.RemoveFile(mark);
  return true;
}

SafeWrite::SafeWrite(SwitcherSystem& system, std::string path, ByteMapping map, bool plain)
    : system_(system),
      path_(std::move(path)),
      mark_(PartialMarkOf(path_)),
      map_(map),
      plain_(plain) {}

SafeWrite::~SafeWrite() { Discard(); }

FileStatus SafeWrite::Begin() {
  RemoveStaleTemporaries();
  if (map_) mapped_.resize(kWriteChunk);
  // There is always a next name: only files that can't be removed take one.
  FileStatus status = FileStatus::kExists;
  for (unsigned long long number = 0; status == FileStatus::kExists; ++number) {
    temporary_ = TemporaryName(path_, number);
    status = system_.CreateNewFile(temporary_, &handle_);
  }
  open_ = status == FileStatus::kOk;
  if (!open_) temporary_.clear();
  return status;
}

bool SafeWrite::Write(std::string_view part) {
  written_ = written_ && open_ && WriteAll(handle_, part);
  size_ += part.size();
  return written_;
}

FileStatus SafeWrite::Finish(const FileTimes& times, WriteTarget target,
                             const ContentSource& again) {
  if (!open_) return FileStatus::kFailed;
  bool written = written_;
  // The times are set last, so that no later write moves them; a platform that
  // can't set them still gets the content.
  if (written && times.valid) system_.SetFileTimes(handle_, times);
  written = written && system_.FlushFile(handle_);
  open_ = false;
  written = system_.CloseFile(handle_) && written;

  // A target that is marked gets a mark of this write before it changes: the one it
  // has may not allow the new content, and may stay when it can't be removed.
  if (written && was_marked_) {
    written = Succeeds([&] {
      std::string old;
      const bool read = target == WriteTarget::kReplace &&
                        ReadFileRetrying(system_, path_, &old) == FileStatus::kOk;
      return Mark(read ? &old : nullptr, again);
    });
  }
  FileStatus status = FileStatus::kFailed;
  if (written) {
    status = target == WriteTarget::kReplace ? ReplaceRetrying()
                                             : system_.MoveToNewName(temporary_, path_);
    if (status == FileStatus::kOk) {
      temporary_.clear();  // it is the target now
    } else if (status == FileStatus::kBusy && target == WriteTarget::kReplace && !plain_ &&
               !system_.IsHeld(temporary_)) {
      status = WriteInPlace(times, again);
    }
  }
  Discard();
  // A target that is whole again loses its mark; one that is as it was keeps the mark
  // it had.
  if (status == FileStatus::kOk || (status != FileStatus::kDamaged && !was_marked_)) ClearMark();
  return status;
}

void SafeWrite::RemoveStaleTemporaries() {
  for (const std::string& file : system_.FilesBeside(path_)) {
    if (file == mark_ && !plain_) {
      was_marked_ = marked_ = true;
    } else if (IsTemporaryOf(file, path_) || IsTemporaryOf(file, mark_)) {
      system_.RemoveFile(file);
    }
  }
}

FileStatus SafeWrite::ReplaceRetrying() {
  FileStatus status = system_.MoveOverExisting(temporary_, path_);
  for (int attempt = 1; status == FileStatus::kBusy && attempt < kBusyAttempts; ++attempt) {
    system_.Sleep(kBusyRetryMilliseconds);
    status = system_.MoveOverExisting(temporary_, path_);
  }
  return status;
}

// The target is still held, by a program that may share writing: the content goes into
// it through one handle that shares reading and writing. The new length comes first,
// so that what the platform refuses in advance (room for a longer file, cutting a
// mapped one) is refused while nothing has changed; then the content, the times and
// the flush. On failure the old content, read through the same handle beforehand, is
// put back.
FileStatus SafeWrite::WriteInPlace(const FileTimes& times, const ContentSource& again) {
  FileHandle target = 0;
  const FileStatus status = system_.OpenInPlace(path_, &target);
  if (status != FileStatus::kOk) return status;
  HandleCloser closer(system_, target);
  FileTimes old_times;
  std::string old;
  std::string now;  // the file after a failure; its room is taken while memory is checked
  if (!Succeeds([&] {
        system_.CaptureFileTimes(path_, &old_times);
        if (!system_.ReadFromStart(target, &old)) return false;
        now.reserve(std::max<std::size_t>(old.size(), static_cast<std::size_t>(size_)));
        return true;
      }) ||
      !Succeeds([&] { return Mark(&old, again); })) {
    return FileStatus::kFailed;
  }

  const bool written = Succeeds([&] {
    std::uint64_t given = 0;
    bool done = (size_ == old.size() || system_.SetFileSize(target, size_)) &&
                system_.Rewind(target) && again([&](std::string_view part) {
                  given += part.size();
                  return WriteAll(target, part);
                });
    done = done && given == size_;
    if (done && times.valid) system_.SetFileTimes(target, times);
    return done && system_.FlushFile(target);
  });
  if (written) return FileStatus::kOk;
  if (PutBack(target, old, old_times, &now)) return FileStatus::kFailed;
  // Neither old nor new: the mark stays, so that no run backs this file up or restores
  // from it; where the holder has let go, the file goes, to be restored from the backup.
  closer.Close();
  system_.RemoveFile(path_);
  return FileStatus::kDamaged;
}

// Puts |old| back through |target| unless the file still holds it, and gives it its old
// times; true only when the file reads back byte for byte as |old|.
bool SafeWrite::PutBack(FileHandle target, const std::string& old, const FileTimes& old_times,
                        std::string* now) {
  return Succeeds([&] {
    bool whole = system_.ReadFromStart(target, now) && *now == old;
    if (!whole) {
      whole = system_.Rewind(target) && system_.WriteFile(target, old.data(), old.size()) &&
              system_.ReadFromStart(target, now);
      if (whole && now->size() != old.size()) {
        whole = system_.SetFileSize(target, old.size()) && system_.ReadFromStart(target, now);
      }
      whole = whole && *now == old && system_.FlushFile(target);
    }
    if (old_times.valid) system_.SetFileTimes(target, old_times);
    return whole;
  });
}

// Marks the target with what it may legitimately hold: |old| (null: not read), unless
// the target was marked already and its mark does not allow it, and the new content.
// The mark is written whole beside and moved into place, made durable before the
// first byte of the target changes, so that neither a hard stop nor a lost power can
// leave the target partial and unmarked.
bool SafeWrite::Mark(const std::string* old, const ContentSource& again) {
  std::string records;
  if (old != nullptr && (!was_marked_ || MarkAllowsContent(system_, mark_, *old))) {
    records = RecordLine("old", RecordOf(*old));
  }
  ContentChecksum checksum;
  if (!again([&](std::string_view part) {
        return Mapped(part, [&](std::string_view bytes) {
          checksum.Add(bytes);
          return true;
        });
      })) {
    return false;
  }
  records += RecordLine("new", checksum.Record());
  SafeWrite mark(system_, mark_, nullptr, true);
  bool made = mark.Begin() == FileStatus::kOk && mark.Write(records);
  made = made && mark.Finish(FileTimes(), WriteTarget::kReplace, again) == FileStatus::kOk;
  marked_ = marked_ || made;
  return made;
}

// Never fails the write: a mark that stays only keeps later runs from using the file
// until the operator looks at it.
void SafeWrite::ClearMark() {
  if (!marked_) return;
  Succeeds([&] {
    for (int attempt = 1; !system_.RemoveFile(mark_) && FileExists(system_, mark_); ++attempt) {
      if (attempt == kBusyAttempts) return false;
      system_.Sleep(kBusyRetryMilliseconds);
    }
    marked_ = false;
    return true;
  });
}

bool SafeWrite::WriteAll(FileHandle handle, std::string_view content) {
  return Mapped(content, [&](std::string_view bytes) {
    return system_.WriteFile(handle, bytes.data(), bytes.size());
  });
}

template <typename Use>
bool SafeWrite::Mapped(std::string_view content, Use use) {
  if (!map_) return use(content);
  for (std::size_t done = 0; done < content.size();) {
    const std::size_t size = std::min(mapped_.size(), content.size() - done);
    if (!map_(content.data() + done, size, mapped_.data()) ||
        !use(std::string_view(mapped_.data(), size))) {
      return false;
    }
    done += size;
  }
  return true;
}

void SafeWrite::Discard() {
  if (open_) system_.CloseFile(handle_);
  open_ = false;
  if (!temporary_.empty()) system_.RemoveFile(temporary_);
  temporary_.clear();
}

FileStatus WriteFileSafely(SwitcherSystem& system, const std::string& path,
                           std::string_view content, ByteMapping map, const FileTimes& times,
                           WriteTarget target) {
  SafeWrite file(system, path, map);
  const FileStatus status = file.Begin();
  if (status != FileStatus::kOk) return status;
  file.Write(content);
  return file.Finish(times, target, [content](const ContentSink& sink) { return sink(content); });
}

}  // namespace vindo
