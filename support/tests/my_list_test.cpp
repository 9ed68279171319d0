#include "my_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "my_string.h"
#include "support_doubles.h"

namespace {

using support::testing::CapturedReports;
using support::testing::FailingAllocations;

// Shaped like the key script's records: a key code and an action, starting as 0 and -1.
struct KeyRecord {
  std::int32_t keyCode = 0;
  std::int32_t action = -1;
};

// Counts the live objects, to see that a list deletes every element it made.
struct Counted {
  static int live;
  int value = 0;
  Counted() noexcept { ++live; }
  explicit Counted(int v) : value(v) { ++live; }
  Counted(const Counted& other) : value(other.value) { ++live; }
  Counted& operator=(const Counted& other) = default;
  ~Counted() { --live; }
};
int Counted::live = 0;

template <typename T>
std::vector<std::int32_t> WalkKeyCodes(CMyList<T>& list) {
  std::vector<std::int32_t> codes;
  list.SetPosition(0);
  while (list.HasCurrent()) {
    codes.push_back(list.GetCurrent().keyCode);
    list.MoveNext();
  }
  return codes;
}

class CMyListTest : public ::testing::Test {
 protected:
  CapturedReports reports_;
};

TEST_F(CMyListTest, EmptyListStaysEmpty) {
  CMyList<KeyRecord> list;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Position(), -1);
  EXPECT_FALSE(list.HasCurrent());
  EXPECT_TRUE(list.RemoveAll());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Position(), -1);
  list.SetPosition(0);
  EXPECT_FALSE(list.HasCurrent());
  EXPECT_EQ(list.Position(), -1);
  EXPECT_TRUE(WalkKeyCodes(list).empty());
  list.MoveNext();
  list.MovePrev();
  EXPECT_FALSE(list.HasCurrent());
  EXPECT_EQ(list.Position(), -1);
}

TEST_F(CMyListTest, AddAppendsInOrderWithTheCursorOnTheNewTail) {
  CMyList<KeyRecord> list;
  EXPECT_TRUE(list.Add({0x41, -1}));
  EXPECT_TRUE(list.Add({0x10, 0}));
  EXPECT_TRUE(list.Add({0x10, 1}));
  EXPECT_EQ(list.Count(), 3);
  ASSERT_TRUE(list.HasCurrent());
  EXPECT_EQ(list.GetCurrent().keyCode, 0x10);
  EXPECT_EQ(list.GetCurrent().action, 1);
  EXPECT_EQ(list.Position(), -1);

  list.SetPosition(0);
  EXPECT_EQ(list.Position(), 0);
  EXPECT_EQ(list.GetCurrent().keyCode, 0x41);
  EXPECT_EQ(list.GetCurrent().action, -1);
  list.MoveNext();
  EXPECT_EQ(list.Position(), 1);
  EXPECT_EQ(list.GetCurrent().action, 0);
  list.MoveNext();
  EXPECT_EQ(list.Position(), 2);
  EXPECT_EQ(list.GetCurrent().action, 1);
  list.MoveNext();
  EXPECT_FALSE(list.HasCurrent());
  EXPECT_EQ(list.Position(), -1);
  EXPECT_EQ(WalkKeyCodes(list), (std::vector<std::int32_t>{0x41, 0x10, 0x10}));
}

TEST_F(CMyListTest, SetPositionWalksFromTheKnownPositionInEitherDirection) {
  CMyList<KeyRecord> list;
  for (std::int32_t code = 0; code < 5; ++code) list.Add({code, -1});
  list.SetPosition(2);
  EXPECT_EQ(list.Position(), 2);
  EXPECT_EQ(list.GetCurrent().keyCode, 2);
  list.SetPosition(4);
  EXPECT_EQ(list.Position(), 4);
  EXPECT_EQ(list.GetCurrent().keyCode, 4);
  list.SetPosition(1);  // three steps back through prev
  EXPECT_EQ(list.Position(), 1);
  EXPECT_EQ(list.GetCurrent().keyCode, 1);
  list.SetPosition(0);
  EXPECT_EQ(list.GetCurrent().keyCode, 0);
  list.MovePrev();
  EXPECT_FALSE(list.HasCurrent());
  EXPECT_EQ(list.Position(), -1);

  list.SetPosition(7);  // past the tail
  EXPECT_FALSE(list.HasCurrent());
  EXPECT_EQ(list.Position(), -1);
}

TEST_F(CMyListTest, AnUntrackedPositionStaysUntrackedWhileTheCursorMoves) {
  CMyList<KeyRecord> list;
  for (std::int32_t code = 0; code < 3; ++code) list.Add({code, -1});
  list.MovePrev();
  EXPECT_EQ(list.GetCurrent().keyCode, 1);
  EXPECT_EQ(list.Position(), -1);
  list.MovePrev();
  EXPECT_EQ(list.GetCurrent().keyCode, 0);
  EXPECT_EQ(list.Position(), -1);
  // From an untracked position, SetPosition starts at the head.
  list.MoveNext();
  list.SetPosition(0);
  EXPECT_EQ(list.Position(), 0);
  EXPECT_EQ(list.GetCurrent().keyCode, 0);
  // Adding during a walk moves the cursor to the new tail and forgets the index.
  list.MoveNext();
  list.Add({9, 0});
  EXPECT_EQ(list.Position(), -1);
  EXPECT_EQ(list.GetCurrent().keyCode, 9);
  EXPECT_EQ(WalkKeyCodes(list), (std::vector<std::int32_t>{0, 1, 2, 9}));
}

TEST_F(CMyListTest, GetCurrentWithoutACursorGivesAFreshDetachedElement) {
  CMyList<KeyRecord> list;
  KeyRecord& detached = list.GetCurrent();
  EXPECT_EQ(detached.keyCode, 0);
  EXPECT_EQ(detached.action, -1);
  detached.keyCode = 5;
  EXPECT_EQ(list.GetCurrent().keyCode, 0);
  EXPECT_EQ(list.Count(), 0);

  CMyList<CMyString> names;
  EXPECT_EQ(names.GetCurrent().Text(), nullptr);
}

TEST_F(CMyListTest, NewElemMakesAnUnlinkedNodeThatAppendLinks) {
  CMyList<KeyRecord> list;
  list.Add({1, -1});
  list.SetPosition(0);
  CMyListNode<KeyRecord>* node = list.NewElem({0x0141, 0});
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->next, nullptr);
  EXPECT_EQ(node->prev, nullptr);
  EXPECT_EQ(node->element->keyCode, 0x0141);
  EXPECT_EQ(node->element->action, 0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Position(), -1);
  EXPECT_FALSE(list.Append(nullptr));
  EXPECT_TRUE(list.Append(node));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(WalkKeyCodes(list), (std::vector<std::int32_t>{1, 0x0141}));
}

TEST_F(CMyListTest, StringElementsAreIndependentCopies) {
  CMyList<CMyString> names;
  CMyString name("notepad.exe");
  names.Add(name);
  name = "changed";
  name.FreeBuffer();
  names.Add(CMyString("explorer.exe"));
  names.SetPosition(0);
  EXPECT_STREQ(names.GetCurrent().Text(), "notepad.exe");
  EXPECT_TRUE(names.GetCurrent().OwnsText());

  // Searching before adding, as the listings do.
  const auto contains = [&names](const char* wanted) {
    names.SetPosition(0);
    while (names.HasCurrent()) {
      if (names.GetCurrent() == wanted) return true;
      names.MoveNext();
    }
    return false;
  };
  EXPECT_TRUE(contains("explorer.exe"));
  EXPECT_FALSE(contains("Explorer.exe"));
  EXPECT_TRUE(reports_.reports.empty());
}

TEST_F(CMyListTest, RemoveAllAndTheDestructorDeleteEveryElement) {
  {
    CMyList<Counted> list;
    for (int i = 0; i < 4; ++i) list.Add(Counted(i));
    EXPECT_EQ(Counted::live, 4);
    EXPECT_TRUE(list.RemoveAll());
    EXPECT_EQ(Counted::live, 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.HasCurrent());
    EXPECT_EQ(list.Position(), -1);
    list.Add(Counted(7));
    list.Add(Counted(8));
    EXPECT_EQ(Counted::live, 2);
  }
  EXPECT_EQ(Counted::live, 0);
}

class CMyListMemoryTest : public CMyListTest {
 protected:
  // Two keys, with the cursor on the head at a known position.
  void SetUp() override {
    list_.Add({1, -1});
    list_.Add({2, -1});
    list_.SetPosition(0);
  }
  void ExpectUnchanged() {
    EXPECT_EQ(list_.Count(), 2);
    EXPECT_EQ(list_.Position(), 0);
    EXPECT_EQ(list_.GetCurrent().keyCode, 1);
    EXPECT_EQ(WalkKeyCodes(list_), (std::vector<std::int32_t>{1, 2}));
  }
  CMyList<KeyRecord> list_;
};

TEST_F(CMyListMemoryTest, FailedNodeLeavesTheListUnchanged) {
  {
    FailingAllocations fail(1);
    EXPECT_THROW(list_.Add({3, -1}), CMyExceptionMemory);
  }
  ASSERT_EQ(reports_.reports.size(), 1u);
  EXPECT_EQ(reports_.reports[0], "Context: CMyListNewElem\nMessage: no more memory for " +
                                     std::to_string(sizeof(CMyListNode<KeyRecord>)) + " bytes");
  ExpectUnchanged();
}

TEST_F(CMyListMemoryTest, FailedElementLeavesTheListUnchangedAndFreesTheNode) {
  {
    FailingAllocations fail(2);
    try {
      list_.NewElem({3, -1});
      ADD_FAILURE() << "no exception";
    } catch (const CMyException& exception) {
      EXPECT_TRUE(exception.ClassName() == "CMyList");
      EXPECT_TRUE(exception.Method() == "NewElem");
    }
  }
  ASSERT_EQ(reports_.reports.size(), 1u);
  EXPECT_EQ(reports_.reports[0], "Context: CMyListNewElem\nMessage: no more memory for " +
                                     std::to_string(sizeof(KeyRecord)) + " bytes");
  ExpectUnchanged();
}

TEST_F(CMyListTest, FailedStringCopyLeavesTheListUnchanged) {
  CMyList<CMyString> names;
  names.Add(CMyString("first"));
  const CMyString second("second");
  // The copy handed to Add, the node, the element, then the element's text.
  for (int fail_at = 1; fail_at <= 4; ++fail_at) {
    SCOPED_TRACE("allocation " + std::to_string(fail_at) + " fails");
    {
      FailingAllocations fail(fail_at);
      EXPECT_THROW(names.Add(second), CMyExceptionMemory);
    }
    EXPECT_EQ(names.Count(), 1);
    names.SetPosition(0);
    EXPECT_TRUE(names.GetCurrent() == "first");
    names.MoveNext();
    EXPECT_FALSE(names.HasCurrent());
  }
  ASSERT_EQ(reports_.reports.size(), 4u);
  EXPECT_EQ(reports_.reports[0],
            "Context: CMyStringoperator=(CMyString &)\nMessage: no more memory for 7 bytes");
  EXPECT_EQ(reports_.reports[3],
            "Context: CMyStringoperator=(CMyString &)\nMessage: no more memory for 7 bytes");
  EXPECT_EQ(reports_.reports[2], "Context: CMyListNewElem\nMessage: no more memory for " +
                                     std::to_string(sizeof(CMyString)) + " bytes");
}

}  // namespace
