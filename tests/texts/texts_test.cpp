// The texts the refresh cycle writes, on figures chosen to reach the corners.
#include "texts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

std::string utf8(const wxString& s) {
    return std::string(s.utf8_str());
}

TEST(SummaryTexts, CpuAndMemoryTexts) {
    CPU_t c = CPU_t();
    c.usage_tot = 12.5f;
    c.usage_usr = 10.25f;
    c.usage_krn = 2.25f;
    EXPECT_EQ(utf8(cpu_text(c)),
              "CPU Usage(Total) : 12.50%\nCPU Usage(User) : 10.25%\nCPU Usage(Kernel) : 2.25%\n");
    MEM_t m = {1000000, 250000, 0, 0, 1234, 5678};
    EXPECT_EQ(utf8(mem_text(m)), "MemTotal : 1000000 KB\nMemUsed : 750000 KB\nMemFree : 250000 "
                                 "KB\n\nSwapTotal : 0 KB\nSwapUsed : 0 KB\nSwapFree : 0 "
                                 "KB\n\nBuffers : 1234 KB\nCached : 5678KB");
    // Past 2^31 kB the figures stay positive; a broken file never shows
    // negative use.
    MEM_t big = {4294967295u, 100, 3000000000u, 3500000000u, 0, 0};
    std::string t = utf8(mem_text(big));
    EXPECT_NE(t.find("MemTotal : 4294967295 KB"), std::string::npos) << t;
    EXPECT_NE(t.find("SwapUsed : 0 KB"), std::string::npos) << t;
    EXPECT_EQ(t.find('-'), std::string::npos) << t;
}

TEST(SummaryTexts, StatusLine) {
    CPU_t c = CPU_t();
    c.usage_tot = 99.9f;
    MEM_t m = {1000000, 250000, 0, 0, 0, 0};
    EXPECT_EQ(utf8(status_line(87, c, m)), "프로세스: 87\t  CPU 사용:  99%\t실제 메모리:  75%");
    c.usage_tot = 100.0f;
    EXPECT_NE(utf8(status_line(1, c, m)).find("CPU 사용: 100%"), std::string::npos);
    c.usage_tot = 0.7f;
    EXPECT_NE(utf8(status_line(1, c, m)).find("CPU 사용:   0%"), std::string::npos);
    c.usage_tot = std::nanf("");
    EXPECT_NE(utf8(status_line(1, c, m)).find("CPU 사용:   0%"), std::string::npos);
    // No MemTotal: no division by zero.
    MEM_t none = {0, 0, 0, 0, 0, 0};
    EXPECT_NE(utf8(status_line(0, c, none)).find("실제 메모리:   0%"), std::string::npos);
    // 64 GB with 1 GB free: the share's product leaves 32 bits.
    MEM_t large = {67108864u, 1048576u, 0, 0, 0, 0};
    EXPECT_NE(utf8(status_line(0, c, large)).find("실제 메모리:  98%"), std::string::npos);
}

TEST(RowCells, TimeCpuMemoryAndNames) {
    EXPECT_EQ(utf8(time_cell(0)), " 0h:0m");
    EXPECT_EQ(utf8(time_cell(59)), " 0h:0m");
    EXPECT_EQ(utf8(time_cell(3725)), " 1h:2m");
    EXPECT_EQ(utf8(time_cell(36000)), "10h:0m");
    EXPECT_EQ(utf8(time_cell(360000)), "100h:0m");
    // 300 days: past what 32-bit ticks hold.
    EXPECT_EQ(utf8(time_cell(300LL * 86400)), "7200h:0m");
    EXPECT_EQ(utf8(time_cell(-5)), " 0h:0m");

    PROC_t* r = new PROC_t();
    r->utime = 130;
    r->utime_sav = 100;
    r->stimev = 70;
    r->stimev_sav = 50;
    EXPECT_EQ(utf8(cpu_cell(cpu_share(*r, 400, 0))), "12.5");
    EXPECT_EQ(utf8(cpu_cell(cpu_share(*r, 0, 3.25f))), "3.2") << "no tick: previous figure";
    // A first cycle's lifetime ticks past 21474836 overflow 32-bit products.
    r->utime = 30000000;
    r->utime_sav = 0;
    r->stimev = r->stimev_sav = 0;
    EXPECT_EQ(utf8(cpu_cell(cpu_share(*r, 60000000, 0))), "50.0");
    delete r;

    EXPECT_EQ(utf8(mem_cell(100, 4096)), "400KB");
    EXPECT_EQ(utf8(mem_cell(100, 16384)), "1600KB");
    EXPECT_EQ(utf8(mem_cell(0, 4096)), "0KB");

    EXPECT_EQ(utf8(name_cell("(a b) c)")), "(a b) c)");
    EXPECT_EQ(utf8(name_cell("(프로세스)")), "(프로세스)");
    EXPECT_EQ(utf8(name_cell("(\xe9t\xe9)")), "(\xc3\xa9t\xc3\xa9)") << "Latin-1 byte for byte";
    EXPECT_EQ(utf8(name_cell("(a\nb\x1b)")), "(a?b?)");
    // Any bytes may name a process: what GTK would not take as UTF-8 shows
    // byte for byte, never empty, and C1 controls as '?' too.
    EXPECT_EQ(utf8(name_cell("(\xf5\x80\x80\x80)")), "(\xc3\xb5?"
                                                     "?"
                                                     "?)");
    EXPECT_EQ(utf8(name_cell("(\xf4\x90\x80\x80)")), "(\xc3\xb4?"
                                                     "?"
                                                     "?)")
        << "past U+10FFFF";
    EXPECT_EQ(utf8(name_cell("(\xed\xa0\x80)")), "(\xc3\xad\xc2\xa0?)") << "a surrogate";
    EXPECT_EQ(utf8(name_cell("(\xc0\xafx)")), "(\xc3\x80\xc2\xafx)") << "an overlong '/'";
    EXPECT_EQ(utf8(name_cell("(a\xc2\x85"
                             "b\x7f)")),
              "(a?b?)");
}

} // namespace
