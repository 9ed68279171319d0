// vindo's platform seam over files held in memory: no disk, no faults, no waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "switcher_system.h"

namespace fuzz {

class MemorySwitcherSystem final : public vindo::SwitcherSystem {
 public:
  struct File {
    std::string content;
    vindo::FileTimes times;
  };
  std::map<std::string, File> files;

  vindo::PathKind Probe(const std::string& path) override {
    return files.count(path) ? vindo::PathKind::kFile : vindo::PathKind::kMissing;
  }
  bool CaptureFileTimes(const std::string& path, vindo::FileTimes* times) override {
    const auto file = files.find(path);
    if (file == files.end()) return false;
    *times = file->second.times;
    return true;
  }
  vindo::FileStatus ReadWholeFile(const std::string& path, std::string* contents) override {
    const auto file = files.find(path);
    if (file == files.end()) return vindo::FileStatus::kMissing;
    *contents = file->second.content;
    return vindo::FileStatus::kOk;
  }
  std::vector<std::string> FilesBeside(const std::string& path) override {
    const std::size_t end = path.find_last_of("\\/") + 1;  // 0 for a bare name
    std::vector<std::string> beside;
    for (const auto& file : files) {
      const std::string& name = file.first;
      if (name.compare(0, end, path, 0, end) == 0 &&
          name.find_first_of("\\/", end) == std::string::npos) {
        beside.push_back(name);
      }
    }
    return beside;
  }
  bool IsHeld(const std::string&) override { return false; }
  vindo::FileStatus TakeRunLock(const std::string&, vindo::FileHandle* lock) override {
    *lock = 0;
    return vindo::FileStatus::kOk;
  }
  void ReleaseRunLock(const std::string&, vindo::FileHandle) override {}
  vindo::FileStatus CreateNewFile(const std::string& path, vindo::FileHandle* handle) override {
    if (files.count(path)) return vindo::FileStatus::kExists;
    files[path] = File();
    return Open(path, handle);
  }
  vindo::FileStatus OpenInPlace(const std::string& path, vindo::FileHandle* handle) override {
    return files.count(path) ? Open(path, handle) : vindo::FileStatus::kMissing;
  }
  bool ReadFromStart(vindo::FileHandle handle, std::string* contents) override {
    *contents = files.at(open_.at(handle).path).content;
    return true;
  }
  bool Rewind(vindo::FileHandle handle) override {
    open_.at(handle).position = 0;
    return true;
  }
  bool WriteFile(vindo::FileHandle handle, const char* data, std::size_t size) override {
    Handle& open = open_.at(handle);
    files.at(open.path).content.replace(open.position, size, data, size);
    open.position += size;
    return true;
  }
  bool SetFileSize(vindo::FileHandle handle, std::uint64_t size) override {
    Handle& open = open_.at(handle);
    open.position = static_cast<std::size_t>(size);
    files.at(open.path).content.resize(open.position);
    return true;
  }
  bool SetFileTimes(vindo::FileHandle handle, const vindo::FileTimes& times) override {
    files.at(open_.at(handle).path).times = times;
    return true;
  }
  bool FlushFile(vindo::FileHandle handle) override { return open_.count(handle) == 1; }
  bool CloseFile(vindo::FileHandle handle) override { return open_.erase(handle) == 1; }
  vindo::FileStatus MoveOverExisting(const std::string& from, const std::string& to) override {
    return Move(from, to);
  }
  vindo::FileStatus MoveToNewName(const std::string& from, const std::string& to) override {
    return files.count(to) ? vindo::FileStatus::kExists : Move(from, to);
  }
  bool RemoveFile(const std::string& path) override { return files.erase(path) == 1; }
  void Sleep(int) override {}
  void ClearConsole() override {}
  void Print(const std::string&) override {}
  void WaitForKey() override {}

  bool AllClosed() const { return open_.empty(); }

 private:
  vindo::FileStatus Move(const std::string& from, const std::string& to) {
    const auto file = files.find(from);
    if (file == files.end()) return vindo::FileStatus::kMissing;
    File moved = file->second;
    files.erase(file);
    files[to] = moved;
    return vindo::FileStatus::kOk;
  }

  struct Handle {
    std::string path;
    std::size_t position = 0;  // where the next write goes
  };
  vindo::FileStatus Open(const std::string& path, vindo::FileHandle* handle) {
    open_[++lastHandle_] = Handle{path, 0};
    *handle = lastHandle_;
    return vindo::FileStatus::kOk;
  }

  std::map<vindo::FileHandle, Handle> open_;
  vindo::FileHandle lastHandle_ = 0;
};

}  // namespace fuzz
