// vindo's platform seam over files held in memory: no disk, no faults, no waiting.
#pragma once

#include <cstddef>
#include <map>
#include <string>

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
  vindo::FileStatus CreateNewFile(const std::string& path, vindo::FileHandle* handle) override {
    if (files.count(path)) return vindo::FileStatus::kExists;
    files[path] = File();
    open_[++lastHandle_] = path;
    *handle = lastHandle_;
    return vindo::FileStatus::kOk;
  }
  bool WriteFile(vindo::FileHandle handle, const char* data, std::size_t size) override {
    files.at(open_.at(handle)).content.append(data, size);
    return true;
  }
  bool SetFileTimes(vindo::FileHandle handle, const vindo::FileTimes& times) override {
    files.at(open_.at(handle)).times = times;
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

  std::map<vindo::FileHandle, std::string> open_;
  vindo::FileHandle lastHandle_ = 0;
};

}  // namespace fuzz
