// procstat, owner names, uptime and the printers on this machine's /proc.
#include "child.h"
#include "procstat.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <regex>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/times.h>
#include <thread>

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

const long kHz = sysconf(_SC_CLK_TCK);

long long uptime_ticks_from_file() {
    std::ifstream f("/proc/uptime");
    long long sec = 0, hundredths = 0;
    char dot;
    f >> sec >> dot >> hundredths;
    return sec * kHz + hundredths * kHz / 100;
}

PROC_t* read_pid(pid_t pid, PROC_t* r) {
    return procstat(std::to_string(pid).c_str(), r);
}

} // namespace

TEST(Procstat, ReadsThisProcess) {
    PROC_t r{};
    r.utime_sav = 5;
    r.stimev_sav = 6;
    r.cpu_usage = 2.5f;
    r.flag = true;
    ASSERT_EQ(read_pid(getpid(), &r), &r);
    char comm[17] = {};
    prctl(PR_GET_NAME, comm);
    EXPECT_EQ(r.pid, getpid());
    EXPECT_EQ(r.tcomm, "(" + std::string(comm) + ")");
    EXPECT_EQ(r.state, 'R');
    EXPECT_EQ(r.ppid, getppid());
    EXPECT_EQ(r.pgid, getpgrp());
    EXPECT_GE(r.num_threads, 1);
    EXPECT_LE(r.start_time, static_cast<unsigned long long>(gettimesinceboot()));
    const passwd* pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(std::string(r.username), std::string(pw->pw_name).substr(0, 31));
    EXPECT_EQ(r.utime_sav, 5);
    EXPECT_EQ(r.stimev_sav, 6);
    EXPECT_EQ(r.cpu_usage, 2.5f);
    EXPECT_TRUE(r.flag);
}

TEST(Procstat, BusyChildWithAWeirdName) {
    long long before = gettimesinceboot();
    Child child([] {
        prctl(PR_SET_NAME, "a b) c");
        struct tms t;
        do {
            for (volatile int k = 0; k < 100000; k = k + 1) {
            }
            times(&t);
        } while (t.tms_utime + t.tms_stime < 30);
        return std::to_string(t.tms_utime + t.tms_stime);
    });
    long long after = gettimesinceboot();
    long long measured = std::stoll(child.report());

    // The child blocks on its pipe right after reporting.
    PROC_t r{};
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    do {
        ASSERT_EQ(read_pid(child.pid(), &r), &r);
    } while (r.state != 'S' && std::chrono::steady_clock::now() < give_up);
    EXPECT_EQ(r.pid, child.pid());
    EXPECT_STREQ(r.tcomm, "(a b) c)");
    EXPECT_EQ(r.state, 'S');
    EXPECT_EQ(r.ppid, getpid());
    EXPECT_NEAR(r.utime + r.stimev, measured, 2);
    EXPECT_GE(r.start_time, static_cast<unsigned long long>(before));
    EXPECT_LE(r.start_time, static_cast<unsigned long long>(after));
}

TEST(Procstat, OwnerWithoutAccountShowsTheUid) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run a child under another uid";
    if (getpwuid(54321))
        GTEST_SKIP() << "uid 54321 has an account on this machine";
    Child child([]() -> std::string {
        if (setuid(54321) != 0)
            return "setuid failed";
        prctl(PR_SET_DUMPABLE, 1); // else /proc/<pid> stays owned by root
        return "ok";
    });
    ASSERT_EQ(child.report(), "ok");
    PROC_t r{};
    ASSERT_EQ(read_pid(child.pid(), &r), &r);
    EXPECT_STREQ(r.username, "54321");
}

TEST(Procstat, ReapedProcessGivesNullAndOpenReport) {
    pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
    PROC_t r{};
    r.pid = 4;
    strcpy(r.tcomm, "(kept)");
    strcpy(r.username, "kept");
    PROC_t before = r;
    CaptureStderr();
    PROC_t* got = read_pid(pid, &r);
    EXPECT_EQ(GetCapturedStderr(), "open: No such file or directory\n");
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(memcmp(&r, &before, sizeof r), 0);
}

TEST(Procstat, NameThatIsNotAPidGivesNull) {
    PROC_t r{};
    for (const char* name : {"self", "", "0", "00", "-1", "+1", " 1", "1a", "1/../1"}) {
        CaptureStderr();
        EXPECT_EQ(procstat(name, &r), nullptr) << name;
        EXPECT_EQ(GetCapturedStderr(), "") << name;
    }
    EXPECT_EQ(procstat(nullptr, &r), nullptr);
}

TEST(OwnerName, AccountNameOrNumber) {
    char name[32];
    owner_name(0, name);
    EXPECT_STREQ(name, getpwuid(0)->pw_name);
    if (!getpwuid(4000000000u)) {
        owner_name(4000000000u, name);
        EXPECT_STREQ(name, "4000000000");
    }
}

TEST(OwnerName, FollowsPasswdChangesAndCutsLongNames) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for a private /etc/passwd";
    if (getpwuid(54323))
        GTEST_SKIP() << "uid 54323 has an account on this machine";
    const std::string long_name = "orvel_" + std::string(34, 'n');
    // The child sees its own copy of /etc/passwd, bind-mounted in a private
    // mount namespace, so the machine's file is never touched.
    Child child([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
            return "no mount namespace";
        char copy[] = "/tmp/orvel-passwd-XXXXXX";
        int fd = mkstemp(copy);
        std::ifstream in("/etc/passwd", std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size()) &&
                  mount(copy, "/etc/passwd", nullptr, MS_BIND, nullptr) == 0;
        unlink(copy);
        if (!ok)
            return "no private passwd";
        char name[32];
        owner_name(54323, name);
        std::string seen = name;
        std::string entry = long_name + ":x:54323:54323::/:/bin/false\n";
        ok = write(fd, entry.data(), entry.size()) == ssize_t(entry.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        owner_name(54323, name);
        seen += std::string("|") + name;
        ok = ok && ftruncate(fd, off_t(text.size())) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        owner_name(54323, name);
        seen += std::string("|") + name;
        return ok ? seen : "write failed";
    });
    EXPECT_EQ(child.report(), "54323|" + long_name.substr(0, 31) + "|54323");
}

TEST(Uptime, AgreesWithProcUptime) {
    long long a = uptime_ticks_from_file();
    long long t = gettimesinceboot();
    long long b = uptime_ticks_from_file();
    EXPECT_GT(a, 0);
    EXPECT_LE(a, t);
    EXPECT_LE(t, b);
}

TEST(Printers, OneLabelledFieldPerLine) {
    CaptureStdout();
    printone("pid", -42);
    printonex("flags", 0x400100);
    printonex("rsslim", -1);
    printunsigned("start_time", 18446744073709551615ULL);
    printchar("state", 'S');
    printstr("tcomm", "(a b) c)");
    EXPECT_EQ(GetCapturedStdout(), "                 pid: -42\n"
                                   "               flags: 0000000000400100\n"
                                   "              rsslim: ffffffffffffffff\n"
                                   "          start_time: 18446744073709551615\n"
                                   "               state: S\n"
                                   "               tcomm: (a b) c)\n");
}

TEST(Printers, TimesInSeconds) {
    if (kHz != 100)
        GTEST_SKIP() << "the examples are for 100 ticks per second";
    CaptureStdout();
    printtime("utime", 12345);
    EXPECT_EQ(GetCapturedStdout(), "               utime: 123.450000\n");

    // The age is 3 s and 5 ticks; retry until no tick passes while printing.
    std::string out;
    for (int attempt = 0; attempt < 100; ++attempt) {
        long long now = gettimesinceboot();
        CaptureStdout();
        printtimediff("started", now - 305);
        out = GetCapturedStdout();
        if (gettimesinceboot() == now)
            break;
    }
    EXPECT_TRUE(std::regex_match(out, std::regex(" {13}started: \\d\\d\\.\\d\\d \\d\\d:\\d\\d "
                                                 "\\(3\\.5s\\)\n")))
        << out;
}
