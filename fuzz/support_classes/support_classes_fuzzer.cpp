// CMyString and CMyList under a sequence of operations read from the input, each
// checked against a model (std::string, std::vector) of the documented behaviour,
// while the allocation gate refuses the allocation the input names (and, if the input
// says so, every one after it). After each operation the strings and lists are in the
// documented state, also after a refused allocation; afterwards nothing is left on
// the heap.
//
// Input: the allocation to refuse (two bytes, low byte first, counted from 1; 0 for
// none), a byte whose lowest bit makes the refusal lasting, then the operations: one
// byte each, followed by its operands.
#include <sanitizer/allocator_interface.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "allocation.h"
#include "error_display.h"
#include "fuzz_check.h"
#include "my_exception.h"
#include "my_list.h"
#include "my_string.h"

namespace {

// The heap bytes this thread holds, counted by allocator hooks. The process-wide
// figure moves with other threads too: libFuzzer's memory watcher starts as the first
// input runs, and its start allocates and frees a block, so a leak check on that
// figure failed now and then on the first input.
thread_local std::size_t heldByThisThread = 0;

void CountAllocation(const volatile void*, std::size_t size) { heldByThisThread += size; }

void CountRelease(const volatile void* block) {
  if (block != nullptr) {
    heldByThisThread -= __sanitizer_get_allocated_size(const_cast<const void*>(block));
  }
}

class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return position_ >= size_; }
  std::uint8_t Byte() { return AtEnd() ? 0 : data_[position_++]; }
  std::int32_t Int32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return static_cast<std::int32_t>(value);
  }
  // Up to 31 bytes; a NUL among them ends the text where the classes read it.
  std::string Text() {
    std::string text;
    for (int length = Byte() % 32; length > 0 && !AtEnd(); --length) {
      text += static_cast<char>(Byte());
    }
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// Refuses the |failAt|-th allocation (and every later one when |lasting|).
class RefusingGate : public support::AllocationGate {
 public:
  RefusingGate(int failAt, bool lasting)
      : failAt_(failAt), lasting_(lasting), previous_(support::SetAllocationGate(this)) {}
  ~RefusingGate() override { support::SetAllocationGate(previous_); }
  RefusingGate(const RefusingGate&) = delete;
  RefusingGate& operator=(const RefusingGate&) = delete;

  bool Allow(std::size_t size) override {
    ++requests_;
    const bool refuse = failAt_ > 0 && (requests_ == failAt_ || (lasting_ && requests_ > failAt_));
    if (refuse) refused.push_back(size);
    return !refuse;
  }

  bool Lasting() const { return lasting_; }

  std::vector<std::size_t> refused;  // the sizes, in order

 private:
  int failAt_;
  bool lasting_;
  int requests_ = 0;
  support::AllocationGate* previous_;
};

class CapturedReports : public support::ErrorDisplay {
 public:
  CapturedReports() : previous_(support::SetErrorDisplay(this)) {}
  ~CapturedReports() override { support::SetErrorDisplay(previous_); }
  CapturedReports(const CapturedReports&) = delete;
  CapturedReports& operator=(const CapturedReports&) = delete;

  int Show(const char* report, const char* caption) override {
    reports.emplace_back(report);
    FUZZ_CHECK(std::string_view(caption) == "Error Exception");
    return 1;
  }

  std::vector<std::string> reports;

 private:
  support::ErrorDisplay* previous_;
};

std::string_view View(const CMyString& string) {
  return string.Text() != nullptr ? std::string_view(string.Text()) : std::string_view();
}

// What a CMyString should be: unset, owning a buffer of |capacity| bytes, or
// referring to the caller's text.
struct StringModel {
  enum Kind { kUnset, kOwning, kBorrowed } kind = kUnset;
  std::string text;
  std::int32_t capacity = 0;
  const char* borrowed = nullptr;

  static StringModel Owning(std::string text, std::int32_t capacity = -1) {
    const auto length = static_cast<std::int32_t>(text.size());
    return {kOwning, std::move(text), capacity < 0 ? length + 1 : capacity, nullptr};
  }
  // A copy of the text, as assignment makes it; an unset string copies as unset.
  StringModel Copy() const { return kind == kUnset ? StringModel() : Owning(text); }
};

bool Matches(const CMyString& string, const StringModel& model) {
  if (model.kind == StringModel::kUnset) {
    return string.Text() == nullptr && string.Length() == 0 && string.Capacity() == 0;
  }
  const char* text = string.Text();
  if (text == nullptr || string.Length() != static_cast<std::int32_t>(model.text.size()) ||
      std::memcmp(text, model.text.data(), model.text.size()) != 0 ||
      text[model.text.size()] != '\0') {
    return false;
  }
  if (model.kind == StringModel::kBorrowed) {
    return string.Capacity() == -1 && text == model.borrowed && !string.OwnsText();
  }
  // The buffer is a heap block of exactly |capacity| bytes.
  return string.Capacity() == model.capacity && __sanitizer_get_ownership(text) != 0 &&
         __sanitizer_get_allocated_size(text) == static_cast<std::size_t>(model.capacity);
}

// Matches, and says what differs when not, so that a finding reads from the log.
bool Checked(const CMyString& string, const StringModel& model) {
  const bool matches = Matches(string, model);
  if (!matches) {
    std::fprintf(stderr, "string: text %s \"%s\", length %d, capacity %d\n",
                 string.Text() != nullptr ? "set" : "unset", std::string(View(string)).c_str(),
                 string.Length(), string.Capacity());
    std::fprintf(stderr, "model:  kind %d \"%s\", capacity %d\n", static_cast<int>(model.kind),
                 model.text.c_str(), model.capacity);
    if (string.Text() != nullptr && __sanitizer_get_ownership(string.Text()) != 0) {
      std::fprintf(stderr, "block:  %zu bytes\n", __sanitizer_get_allocated_size(string.Text()));
    }
  }
  return matches;
}

struct Record {
  std::int32_t keyCode = 0;
  std::int32_t action = -1;
};

bool Matches(const Record& record, const Record& model) {
  return record.keyCode == model.keyCode && record.action == model.action;
}
bool Checked(const Record& record, const Record& model) { return Matches(record, model); }

// The documented list: elements in order, the cursor (an index, -1 for none) and the
// cached position.
template <typename Model>
struct ListModel {
  std::vector<Model> items;
  int cursor = -1;
  int position = -1;

  void Add(Model model) {
    items.push_back(std::move(model));
    cursor = static_cast<int>(items.size()) - 1;
    position = -1;
  }
  void RemoveAll() {
    items.clear();
    cursor = -1;
    position = -1;
  }
  void Step(bool forward) {
    if (cursor == -1) {
      position = -1;
      return;
    }
    cursor += forward ? 1 : -1;
    if (cursor >= static_cast<int>(items.size())) cursor = -1;
    if (cursor == -1) {
      position = -1;
    } else if (position != -1) {
      position += forward ? 1 : -1;
    }
  }
  void SetPosition(int target) {
    int steps = target;
    bool forward = true;
    if (position == -1) {
      cursor = items.empty() ? -1 : 0;
      position = cursor;
    } else if (target >= position) {
      steps = target - position;
    } else {
      steps = position - target;
      forward = false;
    }
    for (int i = 0; i < steps && cursor != -1; ++i) Step(forward);
  }
};

template <typename T, typename Model>
void CheckList(CMyList<T>& list, const ListModel<Model>& model) {
  FUZZ_CHECK(list.Count() == static_cast<std::int32_t>(model.items.size()));
  FUZZ_CHECK(list.Position() == model.position);
  FUZZ_CHECK(list.HasCurrent() == (model.cursor != -1));
  if (model.cursor != -1) FUZZ_CHECK(Checked(list.GetCurrent(), model.items[model.cursor]));
  // A tracked position is the cursor's index.
  FUZZ_CHECK(model.position == -1 || model.position == model.cursor);
}

// Where a refused allocation may be reported from: a class and a method.
using Site = std::pair<std::string_view, std::string_view>;
constexpr Site kAssignText{"CMyString", "operator=(char *)"};
constexpr Site kAssignString{"CMyString", "operator=(CMyString &)"};
constexpr Site kResize{"CMyString", "Resize"};
constexpr Site kNewElem{"CMyList", "NewElem"};

constexpr int kSlots = 3;
constexpr int kMostOperations = 256;
// Appends that would make a text longer are skipped: a string appended to itself
// doubles.
constexpr std::size_t kLongestText = 4096;

class Session {
 public:
  Session(InputReader& input, int failAt, bool lasting) : input_(input), gate_(failAt, lasting) {
    for (auto& slot : slots_) slot = std::make_unique<CMyString>();
  }

  void Run() {
    for (int done = 0; done < kMostOperations && !input_.AtEnd(); ++done) {
      Operate(input_.Byte());
      CheckAll();
    }
    Walk(records_, recordModel_);
    Walk(strings_, stringModel_);
  }

 private:
  // The caller's text of a string that does not copy it: it must never change.
  struct Lent {
    std::string text;
    std::string original;
  };

  int Slot() { return input_.Byte() % kSlots; }
  CMyString& String(int slot) { return *slots_[slot]; }

  // Runs |operation|. False when it threw for a refused allocation, after checking
  // the exception and its report; true when it finished without a refusal.
  template <typename Operation>
  bool Attempt(Operation operation, std::initializer_list<Site> sites) {
    const std::size_t refusedBefore = gate_.refused.size();
    const std::size_t reportsBefore = reports_.reports.size();
    try {
      operation();
    } catch (const CMyExceptionMemory& exception) {
      CheckMemoryFailure(exception, refusedBefore, reportsBefore, sites);
      return false;
    }
    FUZZ_CHECK(gate_.refused.size() == refusedBefore);
    FUZZ_CHECK(reports_.reports.size() == reportsBefore);
    return true;
  }

  void CheckMemoryFailure(const CMyExceptionMemory& exception, std::size_t refusedBefore,
                          std::size_t reportsBefore, std::initializer_list<Site> sites) {
    FUZZ_CHECK(gate_.refused.size() > refusedBefore);
    FUZZ_CHECK(reports_.reports.size() > reportsBefore);  // shown before it was thrown
    if (gate_.Lasting()) {
      // Every allocation fails from here on, building the report too: what is shown
      // and thrown is a report of a nested refusal, in place of the first.
      for (std::size_t i = reportsBefore; i < reports_.reports.size(); ++i) {
        FUZZ_CHECK(reports_.reports[i].rfind("Context: CMy", 0) == 0);
        FUZZ_CHECK(reports_.reports[i].find("\nMessage: no more memory for ") != std::string::npos);
      }
      return;
    }
    const std::string message =
        "no more memory for " + std::to_string(gate_.refused.back()) + " bytes";
    FUZZ_CHECK(View(exception.Message()) == message);
    FUZZ_CHECK(View(exception.Value()).empty());
    bool known = false;
    for (const Site& site : sites) {
      known = known || (View(exception.ClassName()) == site.first &&
                        View(exception.Method()) == site.second);
    }
    FUZZ_CHECK(known);
    FUZZ_CHECK(reports_.reports.size() == reportsBefore + 1);
    FUZZ_CHECK(reports_.reports.back() == "Context: " + std::string(View(exception.ClassName())) +
                                              std::string(View(exception.Method())) +
                                              "\nMessage: " + message);
  }

  // Appends |parts| one after the other to the string in |slot|; a refusal leaves the
  // string as it was, or, when it was unset, possibly the empty text, or with the
  // parts before the failing one.
  template <typename Append>
  void CheckAppend(int slot, Append append, std::initializer_list<std::string_view> parts) {
    const StringModel before = models_[slot];
    std::string text = before.text;
    std::vector<StringModel> partial = {before};
    if (before.kind == StringModel::kUnset) partial.push_back(StringModel::Owning(""));
    for (std::string_view part : parts) {
      text += part;
      partial.push_back(StringModel::Owning(text));
    }
    partial.pop_back();
    if (text.size() > kLongestText) return;
    if (Attempt(append, {kAssignText, kResize})) {
      models_[slot] = StringModel::Owning(text);
      FUZZ_CHECK(Checked(String(slot), models_[slot]));
      return;
    }
    bool any = false;
    for (const StringModel& model : partial) {
      if (Matches(String(slot), model)) {
        models_[slot] = model;
        any = true;
        break;
      }
    }
    FUZZ_CHECK(any);
  }

  void Operate(std::uint8_t operation) {
    switch (operation % 26) {
      case 0: {  // assign a text
        const int slot = Slot();
        const std::string text = input_.Text();
        const bool done = Attempt([&] { String(slot) = text.c_str(); }, {kAssignText});
        // A refused assignment has let go of the old text already.
        models_[slot] = done ? StringModel::Owning(text.c_str()) : StringModel();
        break;
      }
      case 1: {  // assign a null text
        const int slot = Slot();
        Attempt([&] { String(slot) = static_cast<const char*>(nullptr); }, {});
        models_[slot] = StringModel();
        break;
      }
      case 2: {  // assign another string, or itself
        const int slot = Slot();
        const int other = Slot();
        const StringModel copy = slot == other ? models_[slot] : models_[other].Copy();
        const bool done = Attempt([&] { String(slot) = String(other); }, {kAssignString});
        models_[slot] = done ? copy : StringModel();
        break;
      }
      case 3: {  // construct from a text
        const int slot = Slot();
        const std::string text = input_.Text();
        if (Attempt([&] { slots_[slot] = std::make_unique<CMyString>(text.c_str()); },
                    {kAssignText})) {
          models_[slot] = StringModel::Owning(text.c_str());
        }
        break;
      }
      case 4: {  // construct on the caller's text, without copying it
        const int slot = Slot();
        lent_.push_back({input_.Text(), ""});
        lent_.back().original = lent_.back().text;
        const char* text = lent_.back().text.c_str();
        Attempt([&] { slots_[slot] = std::make_unique<CMyString>(text, 1); }, {});
        models_[slot] = {StringModel::kBorrowed, text, -1, text};
        break;
      }
      case 5:  // construct from a null text
        ConstructFromNull(Slot());
        break;
      case 6: {  // construct from a number
        const int slot = Slot();
        const std::int32_t value = input_.Int32();
        if (Attempt([&] { slots_[slot] = std::make_unique<CMyString>(value); }, {kAssignText})) {
          models_[slot] = StringModel::Owning(std::to_string(value));
        }
        break;
      }
      case 7: {  // copy-construct
        const int slot = Slot();
        const int other = Slot();
        const StringModel copy = models_[other].Copy();
        if (Attempt([&] { slots_[slot] = std::make_unique<CMyString>(String(other)); },
                    {kAssignString})) {
          models_[slot] = copy;
        }
        break;
      }
      case 8: {  // append a text, or a null text
        const int slot = Slot();
        const bool null = input_.Byte() % 4 == 0;
        const std::string text = input_.Text();
        if (null) {
          Attempt([&] { String(slot) += static_cast<const char*>(nullptr); }, {});
          FUZZ_CHECK(Checked(String(slot), models_[slot]));
        } else {
          CheckAppend(slot, [&] { String(slot) += text.c_str(); }, {text.c_str()});
        }
        break;
      }
      case 9: {  // append a number
        const int slot = Slot();
        const std::int32_t value = input_.Int32();
        const std::string digits = std::to_string(value);
        CheckAppend(slot, [&] { String(slot) += value; }, {digits});
        break;
      }
      case 10: {  // chained appends
        const int slot = Slot();
        const std::string first = input_.Text();
        const std::string second = input_.Text();
        CheckAppend(slot, [&] { String(slot) << first.c_str() << second.c_str(); },
                    {first.c_str(), second.c_str()});
        break;
      }
      case 11: {  // append a string's text, its own too
        const int slot = Slot();
        const int other = Slot();
        if (models_[other].kind == StringModel::kUnset) {
          Attempt([&] { String(slot) += String(other).Text(); }, {});
          FUZZ_CHECK(Checked(String(slot), models_[slot]));
        } else {
          const std::string text = models_[other].text;
          CheckAppend(slot, [&] { String(slot) += String(other).Text(); }, {text});
        }
        break;
      }
      case 12: {  // resize
        const int slot = Slot();
        const std::int32_t length = static_cast<std::int32_t>(input_.Byte()) - 8;
        const bool keep = input_.Byte() % 2 == 1;
        const std::int32_t room = length < 0 ? 0 : length;
        const StringModel& before = models_[slot];
        const std::string kept = keep && before.kind != StringModel::kUnset
                                     ? before.text.substr(0, static_cast<std::size_t>(room))
                                     : std::string();
        int result = 0;
        if (Attempt([&] { result = String(slot).Resize(length, keep ? 1 : 0); }, {kResize})) {
          FUZZ_CHECK(result == 1);
          models_[slot] = StringModel::Owning(kept, room + 1);
        }
        break;
      }
      case 13:
        MakeLower(Slot());
        break;
      case 14: {
        const int slot = Slot();
        Attempt([&] { String(slot).FreeBuffer(); }, {});
        models_[slot] = StringModel();
        break;
      }
      case 15: {  // compare with a text, or a null text
        const int slot = Slot();
        const bool null = input_.Byte() % 4 == 0;
        const std::string text = input_.Text();
        bool equal = false;
        Attempt([&] { equal = String(slot) == (null ? nullptr : text.c_str()); }, {});
        FUZZ_CHECK(equal == (!null && models_[slot].text == text.c_str()));
        break;
      }
      case 16: {  // compare two strings
        const int slot = Slot();
        const int other = Slot();
        bool equal = false;
        Attempt([&] { equal = String(slot) == String(other); }, {});
        FUZZ_CHECK(equal == (models_[slot].text == models_[other].text));
        break;
      }
      case 17: {  // add a copy of a string to the list
        const int slot = Slot();
        const StringModel copy = models_[slot].Copy();
        if (Attempt([&] { FUZZ_CHECK(strings_.Add(String(slot))); }, {kNewElem, kAssignString})) {
          stringModel_.Add(copy);
        }
        break;
      }
      case 18: {  // make a node, then link it
        const int slot = Slot();
        const StringModel copy = models_[slot].Copy();
        CMyList<CMyString>::Node* node = nullptr;
        if (Attempt([&] { node = strings_.NewElem(String(slot)); }, {kNewElem, kAssignString})) {
          stringModel_.position = -1;
          FUZZ_CHECK(strings_.Append(node));
          stringModel_.Add(copy);
        }
        FUZZ_CHECK(!strings_.Append(nullptr));
        break;
      }
      case 19: {
        Record record;
        record.keyCode = input_.Int32();
        record.action = static_cast<std::int32_t>(input_.Byte() % 3) - 1;
        if (Attempt([&] { FUZZ_CHECK(records_.Add(record)); }, {kNewElem})) {
          recordModel_.Add(record);
        }
        break;
      }
      case 20:
        if (input_.Byte() % 2 == 0) {
          FUZZ_CHECK(strings_.RemoveAll());
          stringModel_.RemoveAll();
        } else {
          FUZZ_CHECK(records_.RemoveAll());
          recordModel_.RemoveAll();
        }
        break;
      case 21: {
        const int target = input_.Byte() % 12;
        if (input_.Byte() % 2 == 0) {
          strings_.SetPosition(target);
          stringModel_.SetPosition(target);
        } else {
          records_.SetPosition(target);
          recordModel_.SetPosition(target);
        }
        break;
      }
      case 22:
      case 23: {
        const bool forward = operation % 26 == 22;
        if (input_.Byte() % 2 == 0) {
          forward ? strings_.MoveNext() : strings_.MovePrev();
          stringModel_.Step(forward);
        } else {
          forward ? records_.MoveNext() : records_.MovePrev();
          recordModel_.Step(forward);
        }
        break;
      }
      case 24:
        ChangeCurrent();
        break;
      case 25:
        if (input_.Byte() % 2 == 0) {
          Walk(strings_, stringModel_);
        } else {
          Walk(records_, recordModel_);
        }
        break;
    }
  }

  void ConstructFromNull(int slot) {
    const std::size_t refusedBefore = gate_.refused.size();
    const std::size_t reportsBefore = reports_.reports.size();
    bool thrown = false;
    try {
      slots_[slot] = std::make_unique<CMyString>(static_cast<const char*>(nullptr));
    } catch (const CMyExceptionMemory& exception) {
      // Building the report ran out of memory: that is reported in its place.
      CheckMemoryFailure(exception, refusedBefore, reportsBefore, {kAssignText, kResize});
      thrown = true;
    } catch (const CMyException& exception) {
      FUZZ_CHECK(gate_.refused.size() == refusedBefore);
      FUZZ_CHECK(View(exception.ClassName()) == "CMyString");
      FUZZ_CHECK(View(exception.Method()) == "constructor");
      FUZZ_CHECK(View(exception.Message()) == "parameter string is null");
      FUZZ_CHECK(exception.Value().Text() == nullptr);
      FUZZ_CHECK(reports_.reports.size() == reportsBefore + 1);
      FUZZ_CHECK(reports_.reports.back() ==
                 "Context: CMyStringconstructor\nMessage: parameter string is null");
      thrown = true;
    }
    FUZZ_CHECK(thrown);
  }

  void MakeLower(int slot) {
    StringModel& model = models_[slot];
    std::string lowered = model.text;
    bool notLower = false;
    for (char& c : lowered) {
      notLower = notLower || !(c >= 'a' && c <= 'z');
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    bool result = false;
    // A string on the caller's text lowers a copy of its own, which may be refused;
    // the string has let go of the caller's text then, as a refused assignment does.
    const bool copies = model.kind == StringModel::kBorrowed && !model.text.empty();
    if (!Attempt([&] { result = String(slot).MakeLower(); }, {kAssignText})) {
      FUZZ_CHECK(copies);
      model = StringModel();
      return;
    }
    FUZZ_CHECK(result == notLower);
    if (copies) {
      model = StringModel::Owning(lowered);
    } else {
      model.text = lowered;
    }
  }

  void ChangeCurrent() {
    if (input_.Byte() % 2 == 0) {
      const std::string text = input_.Text();
      if (stringModel_.cursor == -1) {
        // No current node: an element in its starting state, of no list.
        FUZZ_CHECK(strings_.GetCurrent().Text() == nullptr);
        return;
      }
      StringModel& model = stringModel_.items[stringModel_.cursor];
      const bool done = Attempt([&] { strings_.GetCurrent() = text.c_str(); }, {kAssignText});
      model = done ? StringModel::Owning(text.c_str()) : StringModel();
    } else {
      const std::int32_t keyCode = input_.Int32();
      if (recordModel_.cursor == -1) {
        FUZZ_CHECK(Checked(records_.GetCurrent(), Record()));
        return;
      }
      records_.GetCurrent().keyCode = keyCode;
      recordModel_.items[recordModel_.cursor].keyCode = keyCode;
    }
  }

  // The program's walk from the start: every element, in order.
  template <typename T, typename Model>
  void Walk(CMyList<T>& list, ListModel<Model>& model) {
    list.SetPosition(0);
    model.SetPosition(0);
    std::size_t visited = 0;
    while (list.HasCurrent()) {
      FUZZ_CHECK(visited < model.items.size());
      FUZZ_CHECK(Checked(list.GetCurrent(), model.items[visited]));
      FUZZ_CHECK(list.Position() == static_cast<std::int32_t>(visited));
      ++visited;
      list.MoveNext();
      model.Step(true);
    }
    FUZZ_CHECK(visited == model.items.size());
    CheckList(list, model);
  }

  void CheckAll() {
    for (int slot = 0; slot < kSlots; ++slot) FUZZ_CHECK(Checked(String(slot), models_[slot]));
    for (const Lent& lent : lent_) FUZZ_CHECK(lent.text == lent.original);
    CheckList(strings_, stringModel_);
    CheckList(records_, recordModel_);
  }

  InputReader& input_;
  CapturedReports reports_;
  RefusingGate gate_;
  std::deque<Lent> lent_;  // outlives the strings that refer to it
  std::array<std::unique_ptr<CMyString>, kSlots> slots_;
  std::array<StringModel, kSlots> models_;
  CMyList<CMyString> strings_;
  ListModel<StringModel> stringModel_;
  CMyList<Record> records_;
  ListModel<Record> recordModel_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __sanitizer_install_malloc_and_free_hooks(CountAllocation, CountRelease);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputReader input(data, size);
  const int low = input.Byte();
  const int failAt = low | input.Byte() << 8;
  const bool lasting = (input.Byte() & 1) != 0;
  const std::size_t heldBefore = heldByThisThread;
  {
    Session session(input, failAt, lasting);
    session.Run();
  }
  FUZZ_CHECK(heldByThisThread == heldBefore);  // nothing leaks
  return 0;
}
