// The texts the refresh cycle writes, on figures chosen to reach the corners.
#include "texts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

TEST(SummaryTexts, CpuAndMemoryTexts) {
    CPU_t c = CPU_t();
    c.usage_tot = 12.5f;
    c.usage_usr = 10.25f;
    c.usage_krn = 2.25f;
    EXPECT_EQ(cpu_text(c).utf8_string(),
              "CPU Usage(Total) : 12.50%\nCPU Usage(User) : 10.25%\nCPU Usage(Kernel) : 2.25%\n");
    MEM_t m = {1000000, 250000, 0, 0, 1234, 5678};
    EXPECT_EQ(mem_text(m).utf8_string(),
              "MemTotal : 1000000 KB\nMemUsed : 750000 KB\nMemFree : 250000 "
              "KB\n\nSwapTotal : 0 KB\nSwapUsed : 0 KB\nSwapFree : 0 "
              "KB\n\nBuffers : 1234 KB\nCached : 5678KB");
    // Past 2^31 kB the figures stay positive; a broken file never shows
    // negative use.
    MEM_t big = {4294967295u, 100, 3000000000u, 3500000000u, 0, 0};
    std::string t = mem_text(big).utf8_string();
    EXPECT_NE(t.find("MemTotal : 4294967295 KB"), std::string::npos) << t;
    EXPECT_NE(t.find("SwapUsed : 0 KB"), std::string::npos) << t;
    EXPECT_EQ(t.find('-'), std::string::npos) << t;
}

TEST(SummaryTexts, StatusLine) {
    CPU_t c = CPU_t();
    c.usage_tot = 99.9f;
    MEM_t m = {1000000, 250000, 0, 0, 0, 0};
    EXPECT_EQ(status_line(87, c, m).utf8_string(),
              "프로세스: 87\t  CPU 사용:  99%\t실제 메모리:  75%");
    c.usage_tot = 100.0f;
    EXPECT_NE(status_line(1, c, m).utf8_string().find("CPU 사용: 100%"), std::string::npos);
    c.usage_tot = 0.7f;
    EXPECT_NE(status_line(1, c, m).utf8_string().find("CPU 사용:   0%"), std::string::npos);
    c.usage_tot = std::nanf("");
    EXPECT_NE(status_line(1, c, m).utf8_string().find("CPU 사용:   0%"), std::string::npos);
    // No MemTotal: no division by zero.
    MEM_t none = {0, 0, 0, 0, 0, 0};
    EXPECT_NE(status_line(0, c, none).utf8_string().find("실제 메모리:   0%"), std::string::npos);
    // 64 GB with 1 GB free: the share's product leaves 32 bits.
    MEM_t large = {67108864u, 1048576u, 0, 0, 0, 0};
    EXPECT_NE(status_line(0, c, large).utf8_string().find("실제 메모리:  98%"), std::string::npos);
}

TEST(RowCells, TimeCpuMemoryAndNames) {
    EXPECT_EQ(time_cell(0).utf8_string(), " 0h:0m");
    EXPECT_EQ(time_cell(59).utf8_string(), " 0h:0m");
    EXPECT_EQ(time_cell(3725).utf8_string(), " 1h:2m");
    EXPECT_EQ(time_cell(36000).utf8_string(), "10h:0m");
    EXPECT_EQ(time_cell(360000).utf8_string(), "100h:0m");
    // 300 days: past what 32-bit ticks hold.
    EXPECT_EQ(time_cell(300LL * 86400).utf8_string(), "7200h:0m");
    EXPECT_EQ(time_cell(-5).utf8_string(), " 0h:0m");

    PROC_t* r = new PROC_t();
    r->utime = 130;
    r->utime_sav = 100;
    r->stimev = 70;
    r->stimev_sav = 50;
    EXPECT_EQ(cpu_cell(cpu_share(*r, 400, 0)).utf8_string(), "12.5");
    EXPECT_EQ(cpu_cell(cpu_share(*r, 0, 3.25f)).utf8_string(), "3.2") << "no tick: previous figure";
    // A first cycle's lifetime ticks past 21474836 overflow 32-bit products.
    r->utime = 30000000;
    r->utime_sav = 0;
    r->stimev = r->stimev_sav = 0;
    EXPECT_EQ(cpu_cell(cpu_share(*r, 60000000, 0)).utf8_string(), "50.0");
    delete r;

    EXPECT_EQ(mem_cell(100, 4096).utf8_string(), "400KB");
    EXPECT_EQ(mem_cell(100, 16384).utf8_string(), "1600KB");
    EXPECT_EQ(mem_cell(0, 4096).utf8_string(), "0KB");

    EXPECT_EQ(name_cell("(a b) c)").utf8_string(), "(a b) c)");
    EXPECT_EQ(name_cell("(프로세스)").utf8_string(), "(프로세스)");
    EXPECT_EQ(name_cell("(\xe9t\xe9)").utf8_string(), "(\xc3\xa9t\xc3\xa9)")
        << "Latin-1 byte for byte";
    EXPECT_EQ(name_cell("(a\nb\x1b)").utf8_string(), "(a?b?)");
    // Any bytes may name a process: what GTK would not take as UTF-8 shows
    // byte for byte, never empty, and C1 controls as '?' too.
    EXPECT_EQ(name_cell("(\xf5\x80\x80\x80)").utf8_string(), "(\xc3\xb5?"
                                                             "?"
                                                             "?)");
    EXPECT_EQ(name_cell("(\xf4\x90\x80\x80)").utf8_string(), "(\xc3\xb4?"
                                                             "?"
                                                             "?)")
        << "past U+10FFFF";
    EXPECT_EQ(name_cell("(\xed\xa0\x80)").utf8_string(), "(\xc3\xad\xc2\xa0?)") << "a surrogate";
    EXPECT_EQ(name_cell("(\xc0\xafx)").utf8_string(), "(\xc3\x80\xc2\xafx)") << "an overlong '/'";
    EXPECT_EQ(name_cell("(a\xc2\x85"
                        "b\x7f)")
                  .utf8_string(),
              "(a?b?)");
    // A name is found by what its cell shows, in either case, and by no more.
    for (const char* name : {"(a b) c)", "(프로세스)", "(\xc9t\xe9)", "(a\nb\x1b)",
                             "(\xf5\x80\x80\x80)", "(\xed\xa0\x80)",
                             "(a\xc2\x85"
                             "b\x7f)"}) {
        const wxString shown = name_cell(name).Mid(1).RemoveLast();
        EXPECT_TRUE(shown_name_starts_with(name, fold_case(shown.Upper()))) << name;
        EXPECT_FALSE(shown_name_starts_with(name, fold_case(shown + ")"))) << name;
        EXPECT_FALSE(shown_name_starts_with(name, fold_case(shown.Left(1) + "x"))) << name;
    }
}

} // namespace
