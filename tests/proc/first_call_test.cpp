// The readers' first calls, in a binary that calls nothing before them.
#include "children.h"
#include "cpu_usage.h"
#include "mem_usage.h"
#include "procstat.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace testing::internal;

TEST(FirstCalls, ReadersRecoverWhenProcComesBack) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to hide /proc in a private mount namespace";
    // No process has been read yet: the uptime must still be in ticks.
    long long a = uptimeTicksFromFile(), up = gettimesinceboot(), b = uptimeTicksFromFile();
    EXPECT_GE(a, sysconf(_SC_CLK_TCK));
    EXPECT_LE(a, up);
    EXPECT_LE(up, b);

    // Only this process sees the empty /proc.
    ASSERT_EQ(unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(mount("none", "/proc", "tmpfs", 0, nullptr), 0);

    // A caller's member may still be unset on the first call.
    CPU_t* const unset_cpus = reinterpret_cast<CPU_t*>(uintptr_t(0x10));
    MEM_t* const unset_mems = reinterpret_cast<MEM_t*>(uintptr_t(0x10));
    PROC_t r{};
    CaptureStderr();
    CPU_t* c = cpus_read(unset_cpus);
    MEM_t* m = mems_read(unset_mems);
    PROC_t* p = procstat("1", &r);
    long long up_hidden = gettimesinceboot();
    std::string err = GetCapturedStderr();
    ASSERT_EQ(umount2("/proc", MNT_DETACH), 0);

    EXPECT_EQ(err,
              "failed /proc/stat openfailed /proc/meminfo openopen: No such file or directory\n");
    ASSERT_TRUE(c && c != unset_cpus && m && m != unset_mems);
    const CPU_t zero_cpus{};
    const MEM_t zero_mems{};
    EXPECT_EQ(memcmp(c, &zero_cpus, sizeof *c), 0);
    EXPECT_EQ(memcmp(m, &zero_mems, sizeof *m), 0);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(up_hidden, up); // the last good value

    // /proc is back: every reader opens it again.
    CaptureStderr();
    EXPECT_EQ(cpus_read(c), c);
    EXPECT_EQ(mems_read(m), m);
    EXPECT_EQ(procstat("1", &r), &r);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_GT(c->total_sav, 0);
    EXPECT_GT(m->memtotal, 0u);
    EXPECT_EQ(r.pid, 1);
    EXPECT_GE(gettimesinceboot(), up);
    cpus_release(c);
    mems_release(m);
}
