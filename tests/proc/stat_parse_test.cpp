// The stat line and uptime parsers over texts.
#include "procstat.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

// Stat fields 4 to 41 in the kernel's order; 22 is the unsigned start_time.
num PROC_t::*const kFields[] = {&PROC_t::ppid,
                                &PROC_t::pgid,
                                &PROC_t::sid,
                                &PROC_t::tty_nr,
                                &PROC_t::tty_pgrp,
                                &PROC_t::flags,
                                &PROC_t::min_flt,
                                &PROC_t::cmin_flt,
                                &PROC_t::maj_flt,
                                &PROC_t::cmaj_flt,
                                &PROC_t::utime,
                                &PROC_t::stimev,
                                &PROC_t::cutime,
                                &PROC_t::cstime,
                                &PROC_t::priority,
                                &PROC_t::nicev,
                                &PROC_t::num_threads,
                                &PROC_t::it_real_value,
                                nullptr,
                                &PROC_t::vsize,
                                &PROC_t::rss,
                                &PROC_t::rsslim,
                                &PROC_t::start_code,
                                &PROC_t::end_code,
                                &PROC_t::start_stack,
                                &PROC_t::esp,
                                &PROC_t::eip,
                                &PROC_t::pending,
                                &PROC_t::blocked,
                                &PROC_t::sigign,
                                &PROC_t::sigcatch,
                                &PROC_t::wchan,
                                &PROC_t::zero1,
                                &PROC_t::zero2,
                                &PROC_t::exit_signal,
                                &PROC_t::cpu,
                                &PROC_t::rt_priority,
                                &PROC_t::policy};

// The scratch record as the previous process left it.
PROC_t previous() {
    PROC_t r{};
    strcpy(r.username, "olduser");
    for (num PROC_t::*f : kFields)
        if (f)
            r.*f = 7777;
    r.start_time = r.utime_sav = 7777;
    r.flag = true;
    return r;
}

bool parse(const std::string& line, PROC_t* r) {
    return parse_stat_line(line.data(), line.size(), r);
}

} // namespace

TEST(ParseStatLine, FieldsOfACurrentKernelLine) {
    // 52 fields, field n holding 1000 + n: a field read one place off shows.
    std::string line = "1001 (cmd) R";
    for (int n = 4; n <= 52; ++n)
        line += " " + std::to_string(1000 + n);
    PROC_t r = previous();
    ASSERT_TRUE(parse(line + "\n", &r));
    EXPECT_EQ(r.pid, 1001);
    EXPECT_STREQ(r.tcomm, "(cmd)");
    EXPECT_EQ(r.state, 'R');
    for (int n = 4; n <= 41; ++n) {
        if (kFields[n - 4]) {
            EXPECT_EQ(r.*kFields[n - 4], 1000 + n) << "stat field " << n;
        }
    }
    EXPECT_EQ(r.start_time, 1022u);
    EXPECT_STREQ(r.username, "olduser"); // the fields that are not the kernel's stay
    EXPECT_EQ(r.utime_sav, 7777);
    EXPECT_TRUE(r.flag);

    ASSERT_TRUE(parse("1 (init) S 0 0 0 0 -1 4194560 22165 369792 0 287 104 183 867 350 10 -10 41 "
                      "0 25 54431744 2892 18446744073709551615 1 1 0 0 0 0 0 4096 1256 0 0 0 17 1",
                      &r));
    EXPECT_EQ(r.tty_pgrp, -1);
    EXPECT_EQ(r.nicev, -10);
    EXPECT_EQ(r.rsslim, -1); // unsigned "no limit", bits kept
    EXPECT_EQ(r.cpu, 1);
}

TEST(ParseStatLine, NamesWithBlanksAndParentheses) {
    struct {
        const char *line, *tcomm;
        char state;
        num ppid;
    } cases[] = {{"4242 (tmux: server) S 1 4242", "(tmux: server)", 'S', 1},
                 {"5000 (Web Content) R 4990", "(Web Content)", 'R', 4990},
                 {"812 ((sd-pam)) S 811", "((sd-pam))", 'S', 811},
                 {"77 (a) b) D 5 6", "(a) b)", 'D', 5},
                 {"8 ()) T 2", "())", 'T', 2},
                 {"9 (x\ny) S 3", "(x\ny)", 'S', 3}};
    for (const auto& c : cases) {
        PROC_t r = previous();
        ASSERT_TRUE(parse(c.line, &r)) << c.line;
        EXPECT_STREQ(r.tcomm, c.tcomm);
        EXPECT_EQ(r.state, c.state) << c.line;
        EXPECT_EQ(r.ppid, c.ppid) << c.line;
    }
}

TEST(ParseStatLine, ShortOrOddLinesNeverKeepOldValues) {
    PROC_t r = previous();
    ASSERT_TRUE(parse("77 (sh) S 1 77", &r));
    EXPECT_EQ(r.pgid, 77);
    for (size_t k = 2; k < std::size(kFields); ++k) {
        if (kFields[k]) {
            EXPECT_EQ(r.*kFields[k], 0) << "stat field " << k + 4;
        }
    }
    EXPECT_EQ(r.start_time, 0u);

    ASSERT_TRUE(parse("78 (sh)", &r));
    EXPECT_EQ(r.state, '\0');
    EXPECT_EQ(r.ppid, 0);

    ASSERT_TRUE(parse("1 (x) S 2 abc 4", &r)); // a stray word costs one field
    EXPECT_EQ(r.pgid, 0);
    EXPECT_EQ(r.sid, 4);

    const std::string text = "5 (a) S 6 b) c 9";
    ASSERT_TRUE(parse_stat_line(text.data(), 9, &r)); // "5 (a) S 6" only
    EXPECT_STREQ(r.tcomm, "(a)");
    EXPECT_EQ(r.ppid, 6);
    EXPECT_EQ(r.pgid, 0);

    ASSERT_TRUE(parse("6 (" + std::string(5000, 'n') + ") S 42", &r));
    EXPECT_EQ(strlen(r.tcomm), sizeof r.tcomm - 1);
    EXPECT_EQ(r.ppid, 42);
}

TEST(ParseStatLine, WithoutCommandTokenNothingIsWritten) {
    for (const char* line : {"", "123 sh S 1", "123 (sh S 1", "1 )x( S 2"}) {
        PROC_t r = previous(), before = r;
        EXPECT_FALSE(parse(line, &r)) << line;
        EXPECT_EQ(memcmp(&r, &before, sizeof r), 0) << line;
    }
}

TEST(ParseUptime, SecondsAndHundredthsInTicks) {
    long long t = -1;
    EXPECT_TRUE(parse_uptime("123.45 678.90\n", 100, &t));
    EXPECT_EQ(t, 12345);
    EXPECT_TRUE(parse_uptime("123.45 678.90\n", 250, &t));
    EXPECT_EQ(t, 123 * 250 + 112); // 0.45 s is 112.5 ticks
    EXPECT_TRUE(parse_uptime("30000000.5 1.00", 100, &t));
    EXPECT_EQ(t, 3000000050LL);
    t = -1;
    for (const char* text : {"", "abc", "-1.00 2.00", ".5 1", "922337203685477581.00 1"})
        EXPECT_FALSE(parse_uptime(text, 100, &t)) << text;
    EXPECT_FALSE(parse_uptime("12.00 1.00", 0, &t));
    EXPECT_EQ(t, -1);
}
