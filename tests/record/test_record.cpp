// The process record's equality and ordering, which the table relies on.
#include "procstat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<PROC_t> rec(num pid, num ut, num ut_sav, num st, num st_sav) {
    std::unique_ptr<PROC_t> r(new PROC_t());
    r->pid = pid;
    r->utime = ut;
    r->utime_sav = ut_sav;
    r->stimev = st;
    r->stimev_sav = st_sav;
    return r;
}

TEST(ProcRecord, EqualityLooksAtThePidAlone) {
    auto r = rec(1234, 5, 1, 7, 2);
    EXPECT_TRUE(*r == 1234);
    EXPECT_FALSE(*r == 123);
    EXPECT_FALSE(*r == 12345);
    // The full 64 bits count: a PID that matches only in its low half is another.
    EXPECT_FALSE(*r == (1234 + (num(1) << 32)));
    auto other = rec(1234, 999, 0, 999, 0);
    other->state = 'Z';
    EXPECT_TRUE(*other == 1234);
}

TEST(ProcRecord, FindInATableByPid) {
    std::vector<PROC_t> table;
    for (num pid : {12, 123, 1, 1234})
        table.push_back(*rec(pid, 0, 0, 0, 0));
    auto at = std::find(table.begin(), table.end(), num(123));
    ASSERT_NE(at, table.end());
    EXPECT_EQ(at - table.begin(), 1);
    EXPECT_EQ(std::find(table.begin(), table.end(), num(1235)), table.end());
}

TEST(ProcRecord, OrderIsByTicksSinceTheSavedCounts) {
    auto a = rec(1, 10, 4, 3, 1);    // 6 + 2 = 8
    auto b = rec(2, 108, 100, 0, 0); // 8
    auto c = rec(3, 9, 0, 0, 0);     // 9: saved counts zero, whole lifetime
    EXPECT_FALSE(*a < *b);
    EXPECT_FALSE(*b < *a) << "equal keys are equivalent";
    EXPECT_TRUE(*a < *c);
    EXPECT_FALSE(*c < *a);
    // Saved counts above the current ones give a negative key, below zero.
    auto neg = rec(4, 5, 7, 0, 0);
    auto zero = rec(5, 50, 50, 20, 20);
    EXPECT_TRUE(*neg < *zero);
    EXPECT_FALSE(*zero < *neg);
}

TEST(ProcRecord, OrderDoesNotOverflowOnLargeCounters) {
    // A long-lived process with counters past 32 bits.
    auto big = rec(1, num(1) << 40, 0, num(1) << 39, 0);
    auto small = rec(2, INT_MAX, 0, INT_MAX, 0);
    EXPECT_TRUE(*small < *big);
    EXPECT_FALSE(*big < *small);
}

TEST(ProcRecord, ArithmeticOnForgedOrHugeCountersStaysInRange) {
    // A stat line may hold any 64-bit value: results are held at the ends.
    auto up = rec(1, LLONG_MAX, LLONG_MIN, LLONG_MAX, -1);
    auto down = rec(2, LLONG_MIN, LLONG_MAX, 0, 0);
    EXPECT_EQ(up->recent_ticks(), LLONG_MAX);
    EXPECT_EQ(down->recent_ticks(), LLONG_MIN);
    EXPECT_TRUE(*down < *up);
    EXPECT_GT(cpu_share(*up, 1, 0), 1e20f);

    // 128 processors up for 30 days: the first interval holds 3.3e10 ticks.
    const unsigned long long interval = 128ull * 30 * 86400 * 100;
    auto busy = rec(3, interval / 10, 0, 0, 0);
    EXPECT_FLOAT_EQ(cpu_share(*busy, interval, 0), 10.0f);

    EXPECT_EQ(running_seconds(100000, 40000, 100), 600);
    EXPECT_EQ(running_seconds(1000, 2000, 100), 0) << "a start after now";
    EXPECT_EQ(running_seconds(1000, ULLONG_MAX, 100), 0);
    EXPECT_EQ(running_seconds(LLONG_MAX, 0, 1), LLONG_MAX);
    EXPECT_EQ(rss_kb(100, 4096), 400);
    EXPECT_EQ(rss_kb(-5, 4096), 0);
    EXPECT_EQ(rss_kb(LLONG_MAX, 65536), LLONG_MAX);
}

TEST(ProcRecord, SortingPutsTheBusiestLast) {
    std::vector<PROC_t> table;
    num keys[] = {5, 0, 17, 3, 0, 9};
    for (num i = 0; i < 6; ++i)
        table.push_back(*rec(i + 1, 100 + keys[i], 100, 0, 0));
    std::sort(table.begin(), table.end());
    EXPECT_EQ(table.back().pid, 3);
    for (size_t i = 1; i < table.size(); ++i)
        EXPECT_LE(table[i - 1].recent_ticks(), table[i].recent_ticks());
}

TEST(ProcRecord, IsAPlainValue) {
    EXPECT_TRUE(std::is_trivially_copyable<PROC_t>::value);
    EXPECT_GE(sizeof(PROC_t::tcomm), 64u + 3); // "(", 64 bytes, ")", NUL
    EXPECT_EQ(sizeof(PROC_t::username), 32u);
    EXPECT_EQ(sizeof(num), 8u);
}

} // namespace
