#include "my_exception.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "run_self.h"
#include "support_doubles.h"
#include "support_test_main.h"

namespace {

using support::testing::CapturedReports;
using support::testing::FailingAllocations;

class CMyExceptionTest : public ::testing::Test {
 protected:
  CapturedReports reports_;
};

TEST_F(CMyExceptionTest, ShowsItsReportWhenConstructed) {
  const CMyException exception("CMyString", "constructor", "parameter string is null", nullptr);
  ASSERT_EQ(reports_.reports.size(), 1u);
  EXPECT_EQ(reports_.reports[0],
            "Context: CMyStringconstructor\nMessage: parameter string is null");
  EXPECT_EQ(reports_.captions[0], "Error Exception");
  EXPECT_TRUE(exception.ClassName() == "CMyString");
  EXPECT_TRUE(exception.Method() == "constructor");
  EXPECT_TRUE(exception.Message() == "parameter string is null");
  EXPECT_EQ(exception.Value().Text(), nullptr);
}

TEST_F(CMyExceptionTest, ShowsAValueLineOnlyForAValueThatIsNotEmpty) {
  const CMyException with_value("CMyList", "NewElem", "lost", "42");
  const CMyException empty_value("CMyList", "NewElem", "lost", "");
  ASSERT_EQ(reports_.reports.size(), 2u);
  EXPECT_EQ(reports_.reports[0], "Context: CMyListNewElem\nMessage: lost\nValue: 42");
  EXPECT_EQ(reports_.reports[1], "Context: CMyListNewElem\nMessage: lost");
  EXPECT_TRUE(with_value.Value() == "42");
}

TEST_F(CMyExceptionTest, MemoryReportTellsTheBytesAskedFor) {
  const CMyExceptionMemory exception("CMyString", "Resize", 7);
  ASSERT_EQ(reports_.reports.size(), 1u);
  EXPECT_EQ(reports_.reports[0], "Context: CMyStringResize\nMessage: no more memory for 7 bytes");
  EXPECT_EQ(reports_.captions[0], "Error Exception");
  EXPECT_TRUE(exception.Message() == "no more memory for 7 bytes");
  EXPECT_EQ(exception.Value().Text(), nullptr);

  const CMyExceptionMemory list("CMyList", "NewElem", 12);
  EXPECT_EQ(reports_.reports[1], "Context: CMyListNewElem\nMessage: no more memory for 12 bytes");
}

TEST_F(CMyExceptionTest, MemoryExceptionIsCaughtAsTheBaseButNotTheOtherWayRound) {
  bool caught_as_base = false;
  try {
    throw CMyExceptionMemory("CMyList", "NewElem", 12);
  } catch (const CMyException& exception) {
    caught_as_base = exception.Message() == "no more memory for 12 bytes";
  }
  EXPECT_TRUE(caught_as_base);

  bool passed_the_memory_handler = false;
  try {
    try {
      throw CMyException("CMyString", "constructor", "parameter string is null", nullptr);
    } catch (const CMyExceptionMemory&) {
      ADD_FAILURE() << "a general exception was caught as a memory exception";
    }
  } catch (const CMyException&) {
    passed_the_memory_handler = true;
  }
  EXPECT_TRUE(passed_the_memory_handler);
  // Thrown by value: each report is shown once, at construction.
  EXPECT_EQ(reports_.reports.size(), 2u);
}

TEST_F(CMyExceptionTest, CopiesAreDeepAndDoNotShowTheReportAgain) {
  const CMyException original("CMyString", "constructor", "message", "value");
  const CMyException copy(original);
  const CMyExceptionMemory memory("CMyList", "NewElem", 24);
  const CMyExceptionMemory memory_copy(memory);
  EXPECT_EQ(reports_.reports.size(), 2u);

  EXPECT_TRUE(copy.Message() == "message");
  EXPECT_TRUE(copy.Value() == "value");
  EXPECT_TRUE(copy.Method() == "constructor");
  EXPECT_TRUE(copy.ClassName() == "CMyString");
  EXPECT_NE(copy.Message().Text(), original.Message().Text());
  EXPECT_NE(copy.ClassName().Text(), original.ClassName().Text());
  EXPECT_TRUE(memory_copy.Message() == "no more memory for 24 bytes");
  EXPECT_EQ(memory_copy.Value().Text(), nullptr);
}

// How many allocations a report takes when memory is plentiful.
int AllocationsOfAMemoryReport() {
  FailingAllocations counting;
  const CMyExceptionMemory exception("CMyString", "Resize", 7);
  return counting.requests;
}

TEST_F(CMyExceptionTest, AFailureWhileBuildingAReportShowsTheFurtherReportInstead) {
  const int allocations = AllocationsOfAMemoryReport();
  ASSERT_GT(allocations, 3);
  for (int fail_at = 1; fail_at <= allocations; ++fail_at) {
    SCOPED_TRACE("allocation " + std::to_string(fail_at) + " fails");
    reports_.reports.clear();
    FailingAllocations fail(fail_at);
    try {
      const CMyExceptionMemory exception("CMyString", "Resize", 7);
      ADD_FAILURE() << "the report was built although an allocation failed";
    } catch (const CMyExceptionMemory& further) {
      // Thrown in place of the first, whose report is not shown.
      ASSERT_EQ(reports_.reports.size(), 1u);
      EXPECT_EQ(reports_.reports[0].rfind("Context: CMyString", 0), 0u) << reports_.reports[0];
      EXPECT_EQ(reports_.reports[0].find("Resize\nMessage: no more memory for 7 bytes"),
                std::string::npos);
      EXPECT_TRUE(further.ClassName() == "CMyString");
    }
  }
}

TEST_F(CMyExceptionTest, LastingExhaustionEndsInAFixedReportAfterFewAttempts) {
  const int allocations = AllocationsOfAMemoryReport();
  for (int fail_from = 1; fail_from <= allocations; ++fail_from) {
    SCOPED_TRACE("allocations fail from " + std::to_string(fail_from));
    reports_.reports.clear();
    FailingAllocations exhausted(fail_from, true);
    EXPECT_THROW(CMyExceptionMemory("CMyString", "Resize", 7), CMyExceptionMemory);
    ASSERT_EQ(reports_.reports.size(), 1u);
    EXPECT_EQ(reports_.captions[0], "Error Exception");
    EXPECT_EQ(reports_.reports[0].rfind("Context: CMyString", 0), 0u) << reports_.reports[0];
    EXPECT_NE(reports_.reports[0].find("\nMessage: no more memory for "), std::string::npos);
    EXPECT_LE(exhausted.refused_sizes.size(), 3u);
  }

  reports_.reports.clear();
  FailingAllocations exhausted(1, true);
  EXPECT_THROW(CMyString("hello"), CMyExceptionMemory);
  EXPECT_THROW(CMyException("CMyString", "constructor", "parameter string is null", "42"),
               CMyExceptionMemory);
  ASSERT_EQ(reports_.reports.size(), 2u);
  EXPECT_EQ(reports_.reports[0],
            "Context: CMyStringoperator=(char *)\nMessage: no more memory for 1 bytes");
  EXPECT_EQ(reports_.reports[1],
            "Context: CMyStringoperator=(char *)\nMessage: no more memory for 1 bytes");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The report and the standard error stream of a child that lets an exception leave main.
struct UncaughtRun {
  int exit_code = 0;
  std::string reports;
  std::string standard_error;
};

UncaughtRun RunChildThatThrowsFromMain(const char* how) {
  const std::string base =
      ::testing::TempDir() + "uncaught-" + how + "-" + std::to_string(test_common::ThisProcessId());
  const std::string reports = base + ".reports";
  const std::string standard_error = base + ".stderr";
  std::remove(reports.c_str());
  std::remove(standard_error.c_str());
  UncaughtRun run;
  run.exit_code = test_common::RunThisProgram(
      {support::testing::kThrowFromMainFlag, how, reports, standard_error});
  run.reports = ReadFile(reports);
  run.standard_error = ReadFile(standard_error);
  std::remove(reports.c_str());
  std::remove(standard_error.c_str());
  return run;
}

TEST(UncaughtExceptionTest, EndsTheProcessWithExitCodeOneAfterTheReport) {
  const UncaughtRun run = RunChildThatThrowsFromMain("null-text");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.reports,
            "Error Exception\nContext: CMyStringconstructor\nMessage: parameter string is null\n");
  // Neither the runtime's termination message nor anything else.
  EXPECT_EQ(run.standard_error, "");
}

TEST(UncaughtExceptionTest, EndsTheProcessUnderLastingExhaustionToo) {
  const UncaughtRun run = RunChildThatThrowsFromMain("exhausted");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.reports,
            "Error Exception\nContext: CMyStringoperator=(char *)\nMessage: no more memory for 1 "
            "bytes\n");
  EXPECT_EQ(run.standard_error, "");
}

}  // namespace
