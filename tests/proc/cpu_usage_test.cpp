// The CPU sampler: its line parser and interval arithmetic, and /proc/stat.
#include "cpu_usage.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

CPU_t sample(const uint64_t (&v)[7], CPU_t c = CPU_t{}) {
    cpu_update(&c, v, 7);
    return c;
}

void expect_usage(const CPU_t& c, double tot, double usr, double krn) {
    EXPECT_NEAR(c.usage_tot, tot, 1e-3);
    EXPECT_NEAR(c.usage_usr, usr, 1e-3);
    EXPECT_NEAR(c.usage_krn, krn, 1e-3);
}

} // namespace

TEST(CpuParseLine, CountsTheValuesOfTheAggregateLine) {
    uint64_t v[7] = {};
    EXPECT_EQ(cpu_parse_line("cpu  3062 0 1886 92722 403 0 63 1 0 0", v), 7);
    const uint64_t want[7] = {3062, 0, 1886, 92722, 403, 0, 63};
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(v[k], want[k]) << k;

    uint64_t four[7] = {9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(cpu_parse_line("cpu 1 2 3 4", four), 4);
    EXPECT_EQ(four[3], 4u);
    EXPECT_EQ(four[4], 9u);

    EXPECT_EQ(cpu_parse_line("cpu 3000000000 0 5000000000 18446744073709551615", v), 4);
    EXPECT_EQ(v[0], 3000000000u);
    EXPECT_EQ(v[2], 5000000000u);
    EXPECT_EQ(v[3], UINT64_MAX);

    EXPECT_EQ(cpu_parse_line("cpu 1 2 x 4", v), 2);
}

TEST(CpuParseLine, OtherLinesGiveNothing) {
    uint64_t v[7] = {};
    for (const char* line : {"", "cpu", "cpu0 843 0 589 47626 12 0 7", "intr 192629 0 0",
                             " cpu 1 2 3 4", "CPU 1 2 3 4"})
        EXPECT_EQ(cpu_parse_line(line, v), 0) << line;
}

TEST(CpuUpdate, FirstSampleAveragesSinceBoot) {
    // 4e7 busy ticks: their product by 100 is past 32 bits.
    CPU_t c = sample({30000000, 5, 10000000, 60000000, 7, 8, 9});
    expect_usage(c, 40, 30, 10);
    EXPECT_EQ(c.total_sav, 100000000);
    EXPECT_EQ(c.u_sav, 30000000u);
    EXPECT_EQ(c.y_sav, 9u);
}

TEST(CpuUpdate, CountersAbove31And32Bits) {
    CPU_t c = sample({3000000000, 0, 1000000000, 1000000000, 0, 0, 0});
    expect_usage(c, 80, 60, 20);
    EXPECT_EQ(c.total_sav, INT32_MAX); // 5e9 ticks, saturated
    EXPECT_EQ(c.u, 3000000000u);

    c = sample({5000000000, 0, 5000000000, 10000000000, 0, 0, 0});
    expect_usage(c, 50, 25, 25);
    EXPECT_EQ(c.u, TIC_t(5000000000));
    c = sample({5000000300, 0, 5000000100, 10000000600, 0, 0, 0}, c);
    expect_usage(c, 40, 30, 10);
    EXPECT_EQ(c.total_sav, 1000);
}

TEST(CpuUpdate, WrappedCounterGivesTheTrueDelta) {
    CPU_t c{};
    c.u_sav = 4294967000u; // 296 ticks before the wrap
    c.s_sav = 100;
    c.i_sav = 4294967200u;
    c = sample({(1ull << 32) + 100, 0, 104, (1ull << 32) + 504, 0, 0, 0}, c);
    EXPECT_EQ(c.total_sav, 396 + 4 + 600);
    expect_usage(c, 40.0, 39.6, 0.4);
}

TEST(CpuUpdate, IntervalWithoutTicksKeepsThePercentages) {
    CPU_t c{};
    c = sample({0, 0, 0, 0, 0, 0, 0}, c); // nothing before, nothing now
    EXPECT_EQ(c.total_sav, 0);
    expect_usage(c, 0, 0, 0);

    c = sample({300, 1, 100, 600, 2, 3, 4}, c);
    c = sample({300, 1, 100, 600, 2, 3, 4}, c);
    EXPECT_EQ(c.total_sav, 0);
    EXPECT_FALSE(std::isnan(c.usage_tot));
    expect_usage(c, 40, 30, 10);
}

TEST(CpuUpdate, ShortOrFailedParse) {
    CPU_t c = sample({300, 1, 100, 600, 2, 3, 4});
    // An older kernel's four values: w, x and y stay as they were.
    uint64_t four[7] = {330, 1, 110, 660, 99, 99, 99};
    cpu_update(&c, four, 4);
    expect_usage(c, 40, 30, 10);
    EXPECT_EQ(c.total_sav, 100);
    EXPECT_EQ(c.w, 2u);
    EXPECT_EQ(c.y, 4u);

    for (int count : {0, 3}) {
        uint64_t junk[7] = {5000, 5000, 5000, 5000, 5000, 5000, 5000};
        cpu_update(&c, junk, count);
        EXPECT_EQ(c.total_sav, 0) << count;
        EXPECT_EQ(c.u, 330u) << count;
        expect_usage(c, 40, 30, 10);
    }
}

namespace {

struct Ticks {
    unsigned long long u = 0, s = 0, i = 0;
    bool operator==(const Ticks& o) const { return u == o.u && s == o.s && i == o.i; }
};

Ticks read_proc_stat() {
    std::ifstream f("/proc/stat");
    std::string cpu;
    unsigned long long n;
    Ticks t;
    f >> cpu >> t.u >> n >> t.s >> t.i;
    return t;
}

void burn(std::chrono::milliseconds d) {
    auto end = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < end) {
        for (volatile int k = 0; k < 10000; k = k + 1) {
        }
    }
}

} // namespace

TEST(CpusRead, AgreesWithProcStatAcrossABusyInterval) {
    // Each sample is taken between two readings of /proc/stat; when they agree
    // the sampler saw exactly those counters.
    for (int attempt = 0; attempt < 20; ++attempt) {
        Ticks a1 = read_proc_stat();
        CPU_t* c = cpus_read(nullptr);
        Ticks a2 = read_proc_stat();
        burn(std::chrono::milliseconds(300));
        CPU_t first = *c;
        Ticks b1 = read_proc_stat();
        ASSERT_EQ(cpus_read(c), c);
        Ticks b2 = read_proc_stat();
        CPU_t second = *c;
        cpus_release(c);
        if (!(a1 == a2) || !(b1 == b2))
            continue;

        double all = double(a1.u + a1.s + a1.i);
        expect_usage(first, 100 * (a1.u + a1.s) / all, 100 * a1.u / all, 100 * a1.s / all);
        EXPECT_EQ(first.total_sav, int(a1.u + a1.s + a1.i));

        unsigned long long du = b1.u - a1.u, ds = b1.s - a1.s, di = b1.i - a1.i;
        ASSERT_GT(du, 0u);
        all = double(du + ds + di);
        expect_usage(second, 100 * (du + ds) / all, 100 * du / all, 100 * ds / all);
        EXPECT_EQ(second.total_sav, int(du + ds + di));
        for (float p : {second.usage_tot, second.usage_usr, second.usage_krn}) {
            EXPECT_GE(p, 0.0f);
            EXPECT_LE(p, 100.0f);
        }
        return;
    }
    FAIL() << "/proc/stat never held still around a sample";
}
