// The memory reader: its line parser and /proc/meminfo.
#include "mem_usage.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>

namespace {

MEM_t parse_text(const std::string& text, MEM_t m = MEM_t{}) {
    std::istringstream in(text);
    std::string line;
    uint64_t capacity = 0;
    while (std::getline(in, line))
        mem_parse_line(line.c_str(), &m, &capacity);
    return m;
}

void expect_mem(const MEM_t& m, unsigned total, unsigned free, unsigned swaptotal,
                unsigned swapfree, unsigned buffers, unsigned cached) {
    EXPECT_EQ(m.memtotal, total);
    EXPECT_EQ(m.memfree, free);
    EXPECT_EQ(m.swaptotal, swaptotal);
    EXPECT_EQ(m.swapfree, swapfree);
    EXPECT_EQ(m.buffers, buffers);
    EXPECT_EQ(m.cached, cached);
}

} // namespace

TEST(MemParseLine, KernelText) {
    MEM_t m = parse_text("MemTotal:        8131960 kB\n"
                         "MemFree:         5864112 kB\n"
                         "MemAvailable:    7392100 kB\n"
                         "Buffers:           71264 kB\n"
                         "Cached:          1662620 kB\n"
                         "SwapCached:            0 kB\n"
                         "Active:          1012588 kB\n"
                         "SwapTotal:       2097148 kB\n"
                         "SwapFree:        2097000 kB\n"
                         "HugePages_Total:       0\n");
    expect_mem(m, 8131960, 5864112, 2097148, 2097000, 71264, 1662620);
}

TEST(MemParseLine, KeysMatchExactlyInAnyOrderAndTheLastWins) {
    MEM_t m = parse_text("SwapFree: 4 kB\n"
                         "Cached: 6 kB\n"
                         "SwapCached: 60 kB\n" // not Cached:
                         "memtotal: 10 kB\n"   // case matters
                         "MemTotal 11 kB\n"    // so does the colon
                         "Buffers: 5 kB\n"
                         "SwapTotal: 3 kB\n"
                         "MemFree: 2 kB\n"
                         "MemTotal: 1 kB\n"
                         "MemFree: 20 kB\n");
    expect_mem(m, 1, 20, 3, 4, 5, 6);
}

TEST(MemParseLine, LongFirstTokenMatchesNothing) {
    const std::string key40 = "MemTotal:" + std::string(31, 'x');
    ASSERT_EQ(key40.size(), 40u);
    MEM_t m = parse_text("MemTotal: 7 kB\n" + key40 + " 99 kB\n" +
                         "Cached:" + std::string(13, ' ') + "\n");
    EXPECT_EQ(m.memtotal, 7u);
    EXPECT_EQ(m.cached, 99u); // the number of the long line carried over
}

TEST(MemParseLine, UnconvertedNumberStoresTheLastOne) {
    MEM_t m = parse_text("MemFree: 100 kB\n"
                         "Buffers: abc kB\n"
                         "Shmem: 200 kB\n"
                         "Cached: -5 kB\n");
    expect_mem(m, 0, 100, 0, 0, 100, 200);
}

TEST(MemParseLine, HugeValuesSaturate) {
    MEM_t m = parse_text("MemTotal: 3000000000 kB\n"
                         "MemFree: 4294967295 kB\n"
                         "SwapTotal: 4294967296 kB\n"
                         "SwapFree: 99999999999999999999999999 kB\n");
    expect_mem(m, 3000000000u, UINT32_MAX, UINT32_MAX, UINT32_MAX, 0, 0);
}

TEST(MemParseLine, MissingKeysKeepTheirValues) {
    MEM_t m{};
    m.buffers = 42;
    m.cached = 43;
    m = parse_text("MemTotal: 1 kB\n\n   \n", m);
    EXPECT_EQ(m.memtotal, 1u);
    EXPECT_EQ(m.buffers, 42u);
    EXPECT_EQ(m.cached, 43u);
}

namespace {

// The six figures the reader takes, as /proc/meminfo has them now.
std::map<std::string, unsigned long long> read_meminfo() {
    std::ifstream f("/proc/meminfo");
    std::map<std::string, unsigned long long> v;
    for (std::string line; std::getline(f, line);) {
        std::string key;
        unsigned long long n = 0;
        std::istringstream(line) >> key >> n;
        for (const char* k :
             {"MemTotal:", "MemFree:", "SwapTotal:", "SwapFree:", "Buffers:", "Cached:"})
            if (key == k)
                v[key] = n;
    }
    return v;
}

} // namespace

TEST(MemsRead, AgreesWithProcMeminfo) {
    MEM_t* m = mems_read(nullptr);
    ASSERT_NE(m, nullptr);
    // Memory moves; take a reading that /proc/meminfo held still around.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        auto before = read_meminfo();
        ASSERT_EQ(mems_read(m), m);
        if (before != read_meminfo())
            continue;
        expect_mem(*m, unsigned(before["MemTotal:"]), unsigned(before["MemFree:"]),
                   unsigned(before["SwapTotal:"]), unsigned(before["SwapFree:"]),
                   unsigned(before["Buffers:"]), unsigned(before["Cached:"]));
        EXPECT_GT(m->memtotal, m->memfree);
        mems_release(m);
        return;
    }
    mems_release(m);
    FAIL() << "/proc/meminfo never held still around a reading";
}
