// The memory reader: its line parser and /proc/meminfo.
#include "mem_usage.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {

MEM_t parse_text(const std::string& text, MEM_t m = MEM_t{}) {
    std::istringstream in(text);
    uint64_t capacity = 0;
    for (std::string line; std::getline(in, line);)
        mem_parse_line(line.c_str(), &m, &capacity);
    return m;
}

std::string figures(const MEM_t& m) {
    std::ostringstream s;
    s << m.memtotal << " " << m.memfree << " " << m.swaptotal << " " << m.swapfree << " "
      << m.buffers << " " << m.cached;
    return s.str();
}

} // namespace

TEST(MemParseLine, KeysMatchExactlyInAnyOrder) {
    EXPECT_EQ(figures(parse_text("MemTotal:        8131960 kB\n"
                                 "MemFree:         5864112 kB\n"
                                 "MemAvailable:    7392100 kB\n"
                                 "Buffers:           71264 kB\n"
                                 "Cached:          1662620 kB\n"
                                 "SwapCached:            0 kB\n"
                                 "SwapTotal:       2097148 kB\n"
                                 "SwapFree:        2097000 kB\n"
                                 "HugePages_Total:       0\n")),
              "8131960 5864112 2097148 2097000 71264 1662620");
    EXPECT_EQ(figures(parse_text("SwapFree: 4 kB\n"
                                 "Cached: 6 kB\n"
                                 "SwapCached: 60 kB\n"
                                 "memtotal: 10 kB\n"
                                 "MemTotal 11 kB\n"
                                 "Buffers: 5 kB\n"
                                 "SwapTotal: 3 kB\n"
                                 "MemFree: 2 kB\n"
                                 "MemTotal: 1 kB\n"
                                 "MemFree: 20 kB\n" // the later line wins
                                 "MemFree:x 30 kB\n")),
              "1 20 3 4 5 6");
    MEM_t kept{};
    kept.cached = 43;
    EXPECT_EQ(figures(parse_text("MemTotal: 1 kB\n\n   \n", kept)), "1 0 0 0 0 43");
}

TEST(MemParseLine, OddTokensAndNumbers) {
    // A 40-character first token matches nothing, even when it starts as a key.
    EXPECT_EQ(figures(parse_text("MemTotal: 7 kB\nMemTotal:" + std::string(31, 'x') + " 99 kB\n")),
              "7 0 0 0 0 0");
    // A number that does not convert stores the last one parsed.
    EXPECT_EQ(figures(parse_text("MemFree: 100 kB\n"
                                 "Buffers: abc kB\n"
                                 "Shmem: 200 kB\n"
                                 "Cached: -5 kB\n")),
              "0 100 0 0 100 200");
    EXPECT_EQ(figures(parse_text("MemTotal: 3000000000 kB\n"
                                 "MemFree: 4294967295 kB\n"
                                 "SwapTotal: 4294967296 kB\n"
                                 "SwapFree: 99999999999999999999999999 kB\n")),
              "3000000000 4294967295 4294967295 4294967295 0 0");
}

TEST(MemsRead, AgreesWithProcMeminfo) {
    auto from_file = [] {
        std::ifstream f("/proc/meminfo");
        MEM_t m{};
        std::string key;
        for (unsigned long long n; f >> key >> n; f.ignore(256, '\n'))
            for (auto [k, field] : {std::pair{"MemTotal:", &MEM_t::memtotal},
                                    {"MemFree:", &MEM_t::memfree},
                                    {"SwapTotal:", &MEM_t::swaptotal},
                                    {"SwapFree:", &MEM_t::swapfree},
                                    {"Buffers:", &MEM_t::buffers},
                                    {"Cached:", &MEM_t::cached}})
                if (key == k)
                    m.*field = unsigned(n);
        return figures(m);
    };
    MEM_t* m = mems_read(nullptr);
    // Memory moves: take a reading that /proc/meminfo held still around.
    bool still = false;
    for (int attempt = 0; attempt < 1000 && !still; ++attempt) {
        std::string before = from_file();
        ASSERT_EQ(mems_read(m), m);
        if ((still = before == from_file())) {
            EXPECT_EQ(figures(*m), before);
        }
    }
    EXPECT_TRUE(still) << "/proc/meminfo never held still around a reading";
    EXPECT_GT(m->memtotal, m->memfree);
    mems_release(m);
}
