// The CPU sampler: its line parser and interval arithmetic, and /proc/stat.
#include "cpu_usage.h"

#include <array>
#include <chrono>
#include <cmath>
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

TEST(CpuParseLine, OnlyTheAggregateLine) {
    uint64_t v[7] = {};
    EXPECT_EQ(cpu_parse_line("cpu  3062 0 1886 92722 403 0 63 1 0 0", v), 7);
    EXPECT_EQ(v[0], 3062u);
    EXPECT_EQ(v[3], 92722u);
    EXPECT_EQ(v[6], 63u);
    v[4] = 99;
    EXPECT_EQ(cpu_parse_line("cpu 1 2 3 4", v), 4);
    EXPECT_EQ(v[4], 99u);
    EXPECT_EQ(cpu_parse_line("cpu 3000000000 0 5000000000 18446744073709551615", v), 4);
    EXPECT_EQ(v[0], 3000000000u);
    EXPECT_EQ(v[2], 5000000000u);
    EXPECT_EQ(v[3], UINT64_MAX);
    EXPECT_EQ(cpu_parse_line("cpu 1 2 x 4", v), 2);
    for (const char* line : {"", "cpu", "cpu0 843 0 589 47626", "intr 192629 0 0", "CPU 1 2 3 4"})
        EXPECT_EQ(cpu_parse_line(line, v), 0) << line;
}

TEST(CpuUpdate, WideCountersAndWraps) {
    // First sample: since-boot deltas, 4e7 busy ticks times 100 is past 32 bits.
    CPU_t c = sample({30000000, 5, 10000000, 60000000, 7, 8, 9});
    expect_usage(c, 40, 30, 10);
    EXPECT_EQ(c.total_sav, 100000000);
    EXPECT_EQ(c.y_sav, 9u);

    c = sample({3000000000, 0, 1000000000, 1000000000, 0, 0, 0});
    expect_usage(c, 80, 60, 20);
    EXPECT_EQ(c.total_sav, INT32_MAX); // 5e9, saturated
    EXPECT_EQ(c.interval_ticks, 5000000000ull);

    c = sample({5000000000, 0, 5000000000, 10000000000, 0, 0, 0});
    expect_usage(c, 50, 25, 25);
    c = sample({5000000300, 0, 5000000100, 10000000600, 0, 0, 0}, c);
    expect_usage(c, 40, 30, 10);
    EXPECT_EQ(c.total_sav, 1000);

    c = CPU_t{};
    c.u_sav = 4294967000u; // 296 ticks before the wrap
    c.s_sav = 100;
    c.i_sav = 4294967200u;
    c = sample({(1ull << 32) + 100, 0, 104, (1ull << 32) + 504, 0, 0, 0}, c);
    EXPECT_EQ(c.total_sav, 396 + 4 + 600);
    expect_usage(c, 40.0, 39.6, 0.4);
}

TEST(CpuUpdate, NoTicksOrNoLineKeepsThePercentages) {
    CPU_t c = sample({0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(c.total_sav, 0);
    expect_usage(c, 0, 0, 0);

    c = sample({300, 1, 100, 600, 2, 3, 4}, c);
    c = sample({300, 1, 100, 600, 2, 3, 4}, c); // within one tick
    EXPECT_EQ(c.total_sav, 0);
    EXPECT_FALSE(std::isnan(c.usage_tot));
    expect_usage(c, 40, 30, 10);

    uint64_t four[7] = {330, 1, 110, 660, 99, 99, 99}; // an older kernel's line
    cpu_update(&c, four, 4);
    expect_usage(c, 40, 30, 10);
    EXPECT_EQ(c.total_sav, 100);
    EXPECT_EQ(c.w, 2u);

    for (int count : {0, 3}) {
        uint64_t junk[7] = {5000, 5000, 5000, 5000, 5000, 5000, 5000};
        cpu_update(&c, junk, count);
        EXPECT_EQ(c.total_sav, 0);
        EXPECT_EQ(c.u, 330u);
        expect_usage(c, 40, 30, 10);
    }
}

namespace {

// u, s and i of the first line of /proc/stat.
std::array<unsigned long long, 3> read_proc_stat() {
    std::ifstream f("/proc/stat");
    std::string cpu;
    unsigned long long n;
    std::array<unsigned long long, 3> t{};
    f >> cpu >> t[0] >> n >> t[1] >> t[2];
    return t;
}

} // namespace

TEST(CpusRead, AgreesWithProcStatAcrossABusyInterval) {
    // A sample between two equal readings of /proc/stat saw exactly those.
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto a1 = read_proc_stat();
        CPU_t* c = cpus_read(nullptr);
        auto a2 = read_proc_stat();
        CPU_t first = *c;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        while (std::chrono::steady_clock::now() < end) {
        }
        auto b1 = read_proc_stat();
        ASSERT_EQ(cpus_read(c), c);
        auto b2 = read_proc_stat();
        CPU_t second = *c;
        cpus_release(c);
        if (a1 != a2 || b1 != b2)
            continue;

        double all = double(a1[0] + a1[1] + a1[2]);
        expect_usage(first, 100 * (a1[0] + a1[1]) / all, 100 * a1[0] / all, 100 * a1[1] / all);
        unsigned long long du = b1[0] - a1[0], ds = b1[1] - a1[1], di = b1[2] - a1[2];
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
