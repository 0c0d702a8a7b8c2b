// The report list's labels and sort order, which need no window.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "report_list_text.h"

using namespace orva::ui;

TEST(ProgressLabel, TheCellsLabelIsTheTextRules) {
  // The rules themselves are in progress_label_tests.cpp.
  EXPECT_STREQ(FormatProgressLabel("", 50), "50%");
  EXPECT_STREQ(FormatProgressLabel("Backup %d%% %s", 7), "Backup 7% %s");
}

TEST(SortOrder, SortTextFirstThenColumnZero) {
  ReportSortKey a{"a", "zz"}, ab{"ab", "a"}, a2{"a", "b"};
  // The sort text decides before column 0 does, even when one text begins the other.
  EXPECT_LT(CompareReportSortKeys(&a, &ab, TRUE), 0);
  EXPECT_GT(CompareReportSortKeys(&a, &a2, TRUE), 0);
  EXPECT_LT(CompareReportSortKeys(&a2, &a, TRUE), 0);
  EXPECT_GT(CompareReportSortKeys(&a2, &a, FALSE), 0);
  EXPECT_EQ(CompareReportSortKeys(&a, &a, TRUE), 0);
  // Numbers are texts: "10" before "9".
  ReportSortKey ten{"10", "x"}, nine{"9", "x"};
  EXPECT_LT(CompareReportSortKeys(&ten, &nine, TRUE), 0);
  // Rows without records go last both ways.
  EXPECT_GT(CompareReportSortKeys(nullptr, &a, TRUE), 0);
  EXPECT_GT(CompareReportSortKeys(nullptr, &a, FALSE), 0);
  EXPECT_LT(CompareReportSortKeys(&a, nullptr, FALSE), 0);
  EXPECT_EQ(CompareReportSortKeys(nullptr, nullptr, TRUE), 0);
}

TEST(SortOrder, IsAStrictWeakOrderBothWays) {
  std::vector<ReportSortKey> keys = {{"", ""},
                                     {"", "a"},
                                     {"a", ""},
                                     {"a", "b"},
                                     {"ab", ""},
                                     {"ab", "a"},
                                     {"b", "a"},
                                     {"10", "x"},
                                     {"9", "x"},
                                     {"a", "b"},
                                     {"\xEB\xB0\xB1", "a"},
                                     {"B", "a"}};
  std::vector<const ReportSortKey*> all;
  for (auto& k : keys) all.push_back(&k);
  all.push_back(nullptr);
  all.push_back(nullptr);
  for (BOOL asc : {TRUE, FALSE}) {
    auto less = [asc](const ReportSortKey* x, const ReportSortKey* y) { return CompareReportSortKeys(x, y, asc) < 0; };
    auto equiv = [&](const ReportSortKey* x, const ReportSortKey* y) { return !less(x, y) && !less(y, x); };
    for (auto* x : all) {
      EXPECT_FALSE(less(x, x));
      for (auto* y : all) {
        EXPECT_EQ(CompareReportSortKeys(x, y, asc), -CompareReportSortKeys(y, x, asc));
        for (auto* z : all) {
          if (less(x, y) && less(y, z)) {
            EXPECT_TRUE(less(x, z));
          }
          if (equiv(x, y) && equiv(y, z)) {
            EXPECT_TRUE(equiv(x, z));
          }
        }
      }
    }
    std::vector<const ReportSortKey*> sorted = all;
    std::sort(sorted.begin(), sorted.end(), less);
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), less));
    EXPECT_EQ(sorted.back(), nullptr);
  }
}
