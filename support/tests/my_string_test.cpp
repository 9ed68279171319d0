#include "my_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "my_exception.h"
#include "support_doubles.h"

namespace {

using support::testing::CapturedReports;
using support::testing::FailingAllocations;

// A heap copy of |text| of exactly its size, so that AddressSanitizer reports any
// write past its end or any attempt to free it through the string.
std::unique_ptr<char[]> ExactCopy(const char* text) {
  std::unique_ptr<char[]> copy(new char[std::strlen(text) + 1]);
  std::strcpy(copy.get(), text);
  return copy;
}

class CMyStringTest : public ::testing::Test {
 protected:
  CapturedReports reports_;
};

TEST_F(CMyStringTest, MovesBetweenUnsetAndOwning) {
  CMyString string;
  EXPECT_EQ(string.Text(), nullptr);
  EXPECT_EQ(string.Length(), 0);
  EXPECT_EQ(string.Capacity(), 0);

  string = "";
  ASSERT_NE(string.Text(), nullptr);
  EXPECT_STREQ(string.Text(), "");
  EXPECT_EQ(string.Capacity(), 1);

  string = "Notepad";
  EXPECT_STREQ(string.Text(), "Notepad");
  EXPECT_EQ(string.Length(), 7);
  EXPECT_EQ(string.Capacity(), 8);

  string = static_cast<const char*>(nullptr);
  EXPECT_EQ(string.Text(), nullptr);
  EXPECT_EQ(string.Length(), 0);
  EXPECT_EQ(string.Capacity(), 0);

  string = "again";
  string.FreeBuffer();
  EXPECT_EQ(string.Text(), nullptr);
  EXPECT_EQ(string.Capacity(), 0);
  EXPECT_TRUE(reports_.reports.empty());
}

TEST_F(CMyStringTest, CopiesTheCallersTextIntoItsOwnBuffer) {
  auto caller = ExactCopy("window");
  const CMyString copied(caller.get());
  caller[0] = 'W';
  EXPECT_STREQ(copied.Text(), "window");
  EXPECT_NE(copied.Text(), caller.get());
  EXPECT_EQ(copied.Capacity(), 7);
  EXPECT_TRUE(copied.OwnsText());

  const CMyString deep(copied);
  EXPECT_STREQ(deep.Text(), "window");
  EXPECT_NE(deep.Text(), copied.Text());

  CMyString assigned;
  assigned = copied;
  EXPECT_STREQ(assigned.Text(), "window");
  EXPECT_NE(assigned.Text(), copied.Text());
  assigned = CMyString();
  EXPECT_EQ(assigned.Text(), nullptr);
}

TEST_F(CMyStringTest, NullTextGivenToTheConstructorIsReportedThenThrown) {
  try {
    const CMyString string(nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const CMyExceptionMemory&) {
    ADD_FAILURE() << "a null text is not a memory failure";
  } catch (const CMyException& exception) {
    ASSERT_EQ(reports_.reports.size(), 1u);
    EXPECT_EQ(reports_.reports[0],
              "Context: CMyStringconstructor\nMessage: parameter string is null");
    EXPECT_EQ(reports_.captions[0], "Error Exception");
    EXPECT_TRUE(exception.Message() == "parameter string is null");
    EXPECT_EQ(exception.Value().Text(), nullptr);
  }
  EXPECT_THROW(CMyString(nullptr, 1), CMyException);
}

TEST_F(CMyStringTest, FormatsIntegersInDecimal) {
  EXPECT_STREQ(CMyString(0).Text(), "0");
  EXPECT_STREQ(CMyString(-5).Text(), "-5");
  EXPECT_STREQ(CMyString(std::numeric_limits<std::int32_t>::min()).Text(), "-2147483648");
  const CMyString largest(std::numeric_limits<std::int32_t>::max());
  EXPECT_STREQ(largest.Text(), "2147483647");
  EXPECT_EQ(largest.Capacity(), 11);
}

TEST_F(CMyStringTest, AppendsTextAndIntegersIntoExactBuffers) {
  CMyString string;
  string += "abc";
  EXPECT_STREQ(string.Text(), "abc");
  EXPECT_EQ(string.Length(), 3);
  EXPECT_EQ(string.Capacity(), 4);

  const char* before = string.Text();
  string += static_cast<const char*>(nullptr);
  EXPECT_EQ(string.Text(), before);
  EXPECT_EQ(string.Length(), 3);

  CMyString unset;
  unset += static_cast<const char*>(nullptr);
  EXPECT_EQ(unset.Text(), nullptr);
  unset += "";
  EXPECT_STREQ(unset.Text(), "");

  CMyString number("x");
  number += -5;
  EXPECT_STREQ(number.Text(), "x-5");
  number += 0;
  EXPECT_STREQ(number.Text(), "x-50");
  EXPECT_EQ(number.Capacity(), 5);

  CMyString chained;
  chained << "Context: "
          << "CMyList"
          << "NewElem";
  EXPECT_STREQ(chained.Text(), "Context: CMyListNewElem");
  EXPECT_EQ(chained.Capacity(), 24);
  EXPECT_EQ(&(chained << ""), &chained);
}

TEST_F(CMyStringTest, ComparesExactlyAndByteWise) {
  const CMyString unset;
  EXPECT_FALSE(unset == static_cast<const char*>(nullptr));
  EXPECT_FALSE(CMyString("abc") == static_cast<const char*>(nullptr));
  EXPECT_TRUE(unset == "");
  EXPECT_TRUE(unset == CMyString(""));
  EXPECT_TRUE(CMyString("") == unset);
  EXPECT_FALSE(CMyString("Abc") == "abc");
  EXPECT_FALSE(CMyString("abc") == CMyString("Abc"));
  EXPECT_FALSE(CMyString("ab") == "abc");
  EXPECT_FALSE(CMyString("abc") == "ab");
  EXPECT_TRUE(CMyString("abc") == CMyString("abc"));
  EXPECT_TRUE(CMyString("\xC4rger") == "\xC4rger");
  EXPECT_FALSE(CMyString("\xC4rger") == "\xE4rger");
}

TEST_F(CMyStringTest, MakeLowerChangesOnlyCapitalLettersAndSaysWhetherAnyWasNotLower) {
  CMyString name("Notepad.EXE");
  EXPECT_TRUE(name.MakeLower());
  EXPECT_STREQ(name.Text(), "notepad.exe");

  CMyString lower("abc");
  EXPECT_FALSE(lower.MakeLower());
  EXPECT_STREQ(lower.Text(), "abc");

  CMyString digit("abc1");
  EXPECT_TRUE(digit.MakeLower());
  EXPECT_STREQ(digit.Text(), "abc1");

  CMyString high("\xC4Z\xFF");
  EXPECT_TRUE(high.MakeLower());
  EXPECT_STREQ(high.Text(), "\xC4z\xFF");

  CMyString unset;
  EXPECT_FALSE(unset.MakeLower());
  CMyString empty("");
  EXPECT_FALSE(empty.MakeLower());
}

TEST_F(CMyStringTest, ResizeAlwaysGivesANewBufferOfTheAskedLength) {
  CMyString negative("abc");
  EXPECT_EQ(negative.Resize(-3, 1), 1);
  EXPECT_STREQ(negative.Text(), "");
  EXPECT_EQ(negative.Length(), 0);
  EXPECT_EQ(negative.Capacity(), 1);

  CMyString shorter("abc");
  shorter.Resize(2, 1);
  EXPECT_STREQ(shorter.Text(), "ab");
  EXPECT_EQ(shorter.Length(), 2);
  EXPECT_EQ(shorter.Capacity(), 3);

  CMyString longer("abc");
  longer.Resize(10, 1);
  EXPECT_STREQ(longer.Text(), "abc");
  EXPECT_EQ(longer.Length(), 3);
  EXPECT_EQ(longer.Capacity(), 11);
  // The rest of the new buffer is zeroed.
  EXPECT_EQ(std::string(longer.Text(), 11), std::string("abc\0\0\0\0\0\0\0\0", 11));
  // The length stays the text's own after a larger buffer.
  longer.Resize(8, 1);
  EXPECT_EQ(longer.Length(), 3);
  longer += "d";
  EXPECT_STREQ(longer.Text(), "abcd");
  EXPECT_EQ(longer.Capacity(), 5);

  CMyString cleared("abc");
  cleared.Resize(10, 0);
  EXPECT_STREQ(cleared.Text(), "");
  EXPECT_EQ(cleared.Length(), 0);
  EXPECT_EQ(cleared.Capacity(), 11);

  CMyString unset;
  unset.Resize(4, 1);
  EXPECT_STREQ(unset.Text(), "");
  EXPECT_EQ(unset.Capacity(), 5);
}

TEST_F(CMyStringTest, NeverFreesOrWritesPastTheTextItDoesNotOwn) {
  auto caller = ExactCopy("Abc");
  {
    CMyString wrapped(caller.get(), 1);
    EXPECT_EQ(wrapped.Text(), caller.get());
    EXPECT_EQ(wrapped.Length(), 3);
    EXPECT_EQ(wrapped.Capacity(), -1);
    EXPECT_FALSE(wrapped.OwnsText());
    EXPECT_TRUE(wrapped == "Abc");
  }  // destroyed: AddressSanitizer reports a free of the caller's text
  {
    CMyString wrapped(caller.get(), 1);
    wrapped.FreeBuffer();
    EXPECT_EQ(wrapped.Text(), nullptr);
    wrapped = "longer than the caller's text";
    EXPECT_STREQ(wrapped.Text(), "longer than the caller's text");
    EXPECT_TRUE(wrapped.OwnsText());
  }  // the new buffer is freed, or the leak check reports it
  {
    CMyString wrapped(caller.get(), 1);
    wrapped += "defgh";
    EXPECT_STREQ(wrapped.Text(), "Abcdefgh");
    EXPECT_TRUE(wrapped.OwnsText());
  }
  {
    CMyString wrapped(caller.get(), 1);
    wrapped.Resize(2, 1);
    EXPECT_STREQ(wrapped.Text(), "Ab");
  }
  {
    CMyString wrapped(caller.get(), 1);
    EXPECT_TRUE(wrapped.MakeLower());
    EXPECT_STREQ(wrapped.Text(), "abc");
  }
  {
    // Text that can't be written to at all.
    CMyString wrapped("READ ONLY", 1);
    EXPECT_TRUE(wrapped.MakeLower());
    EXPECT_STREQ(wrapped.Text(), "read only");
  }
  {
    // The caller shortened its text after wrapping it; a copy stops at its terminator.
    CMyString wrapped(caller.get(), 1);
    caller[1] = '\0';
    CMyString copy;
    copy = wrapped;
    EXPECT_STREQ(copy.Text(), "A");
    EXPECT_EQ(copy.Length(), 1);
    caller[1] = 'b';
  }
  EXPECT_STREQ(caller.get(), "Abc");
}

TEST_F(CMyStringTest, AssignsAndAppendsItsOwnText) {
  CMyString string("abc");
  const CMyString& same = string;
  string = same;
  EXPECT_STREQ(string.Text(), "abc");
  string = string.Text();
  EXPECT_STREQ(string.Text(), "abc");
  string = string.Text() + 1;
  EXPECT_STREQ(string.Text(), "bc");
  EXPECT_EQ(string.Capacity(), 3);
  string += string.Text();
  EXPECT_STREQ(string.Text(), "bcbc");
  string << string.Text() << string.Text();
  EXPECT_STREQ(string.Text(), "bcbcbcbcbcbcbcbc");
  EXPECT_EQ(string.Length(), 16);
}

// Every throw site of the string on a failing allocation: its report, and the state
// the string is left in.
struct FailedOperation {
  const char* name;
  const char* before;  // null: unset
  int fail_at;         // which allocation of the operation fails
  void (*operation)(CMyString&);
  const char* report;
  const char* after;  // null: unset
  std::int32_t capacity_after;
};

const FailedOperation kFailedOperations[] = {
    {"assigning text lets go of the old text", "old", 1, [](CMyString& s) { s = "hello"; },
     "Context: CMyStringoperator=(char *)\nMessage: no more memory for 6 bytes", nullptr, 0},
    {"assigning a string lets go of the old text", "old", 2,  // 1 builds the operand
     [](CMyString& s) { s = CMyString("a longer text"); },
     "Context: CMyStringoperator=(CMyString &)\nMessage: no more memory for 14 bytes", nullptr, 0},
    {"constructing from text", nullptr, 1, [](CMyString&) { CMyString("text"); },
     "Context: CMyStringoperator=(char *)\nMessage: no more memory for 5 bytes", nullptr, 0},
    {"constructing from a number", nullptr, 1, [](CMyString&) { CMyString(-12); },
     "Context: CMyStringoperator=(char *)\nMessage: no more memory for 4 bytes", nullptr, 0},
    {"resizing leaves the string unchanged", "abc", 1, [](CMyString& s) { s.Resize(10, 1); },
     "Context: CMyStringResize\nMessage: no more memory for 11 bytes", "abc", 4},
    {"appending text leaves the string unchanged", "abc", 1, [](CMyString& s) { s += "defg"; },
     "Context: CMyStringResize\nMessage: no more memory for 8 bytes", "abc", 4},
    {"appending a number leaves the string unchanged", "abc", 2, [](CMyString& s) { s += 1234; },
     "Context: CMyStringResize\nMessage: no more memory for 8 bytes", "abc", 4},
    {"appending to an unset string leaves the empty text", nullptr, 2,
     [](CMyString& s) { s << "xyz"; },
     "Context: CMyStringResize\nMessage: no more memory for 4 bytes", "", 1},
};

TEST_F(CMyStringTest, FailedAllocationIsReportedAndLeavesAKnownState) {
  for (const FailedOperation& failed : kFailedOperations) {
    SCOPED_TRACE(failed.name);
    CMyString string;
    if (failed.before != nullptr) string = failed.before;
    const char* text_before = string.Text();
    reports_.reports.clear();
    {
      FailingAllocations fail(failed.fail_at);
      EXPECT_THROW(failed.operation(string), CMyExceptionMemory);
    }
    ASSERT_EQ(reports_.reports.size(), 1u);
    EXPECT_EQ(reports_.reports[0], failed.report);
    if (failed.after == nullptr) {
      EXPECT_EQ(string.Text(), nullptr);
    } else {
      EXPECT_STREQ(string.Text(), failed.after);
      if (failed.before != nullptr) {
        EXPECT_EQ(string.Text(), text_before);  // not even moved
      }
    }
    EXPECT_EQ(string.Capacity(), failed.capacity_after);
  }
}

}  // namespace
