// procstat, owner names, uptime and the printers on this machine's /proc.
#include "children.h"
#include "procstat.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/times.h>
#include <sys/wait.h>
#include <thread>

using namespace testing::internal;

namespace {

const long kHz = sysconf(_SC_CLK_TCK);

PROC_t* read_pid(pid_t pid, PROC_t* r) {
    return procstat(std::to_string(pid).c_str(), r);
}

} // namespace

TEST(Procstat, ReadsThisProcessWithoutMovingIt) {
    char cwd[4096], cwd_after[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    PROC_t r{};
    ASSERT_EQ(read_pid(getpid(), &r), &r);
    ASSERT_NE(getcwd(cwd_after, sizeof cwd_after), nullptr);
    EXPECT_STREQ(cwd_after, cwd); // the caller's relative paths keep working
    char comm[17] = {};
    prctl(PR_GET_NAME, comm);
    EXPECT_EQ(r.tcomm, "(" + std::string(comm) + ")");
    EXPECT_EQ(r.state, 'R');
    EXPECT_EQ(r.ppid, getppid());
    EXPECT_EQ(r.pgid, getpgrp());
    EXPECT_EQ(std::string(r.username), std::string(getpwuid(geteuid())->pw_name).substr(0, 31));
}

TEST(Procstat, BusyChildWithAnAwkwardName) {
    long long before = gettimesinceboot();
    ChildOptions o;
    o.name = "a b) c";
    o.body = [] {
        struct tms t;
        do {
            for (volatile int k = 0; k < 100000; k = k + 1) {
            }
            times(&t);
        } while (t.tms_utime + t.tms_stime < 30);
        return std::to_string(t.tms_utime + t.tms_stime);
    };
    Child child(o);
    long long after = gettimesinceboot();
    ASSERT_TRUE(child.ok());
    long long used = std::stoll(child.report());
    PROC_t r{};
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    do // until the child has gone to sleep
        ASSERT_EQ(read_pid(child.pid(), &r), &r);
    while (r.state != 'S' && std::chrono::steady_clock::now() < give_up);
    EXPECT_EQ(r.pid, child.pid());
    EXPECT_STREQ(r.tcomm, "(a b) c)");
    EXPECT_EQ(r.state, 'S');
    EXPECT_EQ(r.ppid, getpid());
    EXPECT_NEAR(r.utime + r.stimev, used, 2);
    EXPECT_GE(r.start_time, (unsigned long long)before);
    EXPECT_LE(r.start_time, (unsigned long long)after);
}

TEST(Procstat, OwnerWithoutAccountShowsTheUid) {
    if (geteuid() != 0 || getpwuid(54321))
        GTEST_SKIP() << "needs root, and uid 54321 without an account";
    // Like a daemon dropping root: not dumpable, its files are root's.
    ChildOptions o;
    o.uid = 54321;
    Child child(o);
    ASSERT_TRUE(child.ok()) << "setuid failed";
    PROC_t r{};
    ASSERT_EQ(read_pid(child.pid(), &r), &r);
    EXPECT_STREQ(r.username, "54321");
}

TEST(Procstat, GoneOrInvalidProcessGivesNull) {
    Child gone;
    pid_t pid = gone.pid();
    gone.kill(SIGKILL);
    PROC_t r{};
    strcpy(r.tcomm, "(kept)");
    PROC_t before = r;
    CaptureStderr();
    EXPECT_EQ(read_pid(pid, &r), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "open: No such file or directory\n");
    EXPECT_EQ(memcmp(&r, &before, sizeof r), 0);

    for (const char* name : {"self", "", "0", "-1", "+1", " 1", "1a", "1/../1"}) {
        CaptureStderr();
        EXPECT_EQ(procstat(name, &r), nullptr) << name;
        EXPECT_EQ(GetCapturedStderr(), "") << name;
    }
}

TEST(OwnerName, FollowsPasswdAndCutsLongNames) {
    if (geteuid() != 0 || getpwuid(54323))
        GTEST_SKIP() << "needs root, and uid 54323 without an account";
    const std::string name40 = "orvel_" + std::string(34, 'n');
    // The child bind-mounts its own copy over /etc/passwd in a private mount
    // namespace, so the machine's file is never touched.
    ChildOptions o;
    o.body = [&]() -> std::string {
        char copy[] = "/tmp/orvel-passwd-XXXXXX";
        int fd = mkstemp(copy);
        std::ifstream in("/etc/passwd");
        std::string text((std::istreambuf_iterator<char>(in)), {});
        bool ok = unshare(CLONE_NEWNS) == 0 &&
                  mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                  write(fd, text.data(), text.size()) == ssize_t(text.size()) &&
                  mount(copy, "/etc/passwd", nullptr, MS_BIND, nullptr) == 0;
        unlink(copy);
        std::string seen, entry = name40 + ":x:54323:54323::/:/bin/false\n";
        char name[32];
        for (int step = 0; ok && step < 3; ++step) {
            if (step == 1)
                ok = write(fd, entry.data(), entry.size()) == ssize_t(entry.size());
            if (step == 2)
                ok = ftruncate(fd, off_t(text.size())) == 0;
            if (step > 0) // the cache looks at /etc/passwd once a second
                std::this_thread::sleep_for(std::chrono::milliseconds(1100));
            owner_name(54323, name);
            seen += std::string(name) + "|";
        }
        return ok ? seen : "no private /etc/passwd";
    };
    Child child(o);
    EXPECT_EQ(child.report(), "54323|" + name40.substr(0, 31) + "|54323|");
}

TEST(Uptime, AgreesWithProcUptime) {
    long long a = uptimeTicksFromFile(), t = gettimesinceboot(), b = uptimeTicksFromFile();
    EXPECT_LE(a, t);
    EXPECT_LE(t, b);
}

TEST(Printers, OneLabelledFieldPerLine) {
    CaptureStdout();
    printone("pid", -42);
    printonex("rsslim", -1);
    printunsigned("start_time", 18446744073709551615ULL);
    printchar("state", 'S');
    printstr("tcomm", "(a b) c)");
    EXPECT_EQ(GetCapturedStdout(), "                 pid: -42\n"
                                   "              rsslim: ffffffffffffffff\n"
                                   "          start_time: 18446744073709551615\n"
                                   "               state: S\n"
                                   "               tcomm: (a b) c)\n");
    if (kHz != 100)
        GTEST_SKIP() << "the time examples are for 100 ticks per second";
    CaptureStdout();
    printtime("utime", 12345);
    EXPECT_EQ(GetCapturedStdout(), "               utime: 123.450000\n");

    // 3 s and 5 ticks old; printed again if a tick passed meanwhile.
    std::string out;
    for (int attempt = 0; attempt < 100; ++attempt) {
        long long now = gettimesinceboot();
        CaptureStdout();
        printtimediff("started", now - 305);
        out = GetCapturedStdout();
        if (gettimesinceboot() == now)
            break;
    }
    ASSERT_GT(out.size(), 8u);
    EXPECT_EQ(out.substr(out.size() - 8), " (3.5s)\n");
    std::string start = out.substr(0, out.size() - 8);
    for (char& ch : start)
        ch = ch >= '0' && ch <= '8' ? '9' : ch; // any date: MM.DD HH:MM
    EXPECT_EQ(start, "             started: 99.99 99:99");
}
