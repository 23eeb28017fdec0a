// Faults of the kernel's files on the real code paths: each scenario runs the
// real window in a child of its own, in a private mount namespace, with
// files of ours bound over /proc/stat, /proc/meminfo, /proc/uptime or /proc
// itself. The window must keep refreshing, show no garbage, write the
// readers' messages and nothing else, and recover when the file is sane.
#include "drivers.h"
#include "reader_messages.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <unistd.h>

#ifndef ORVEL_FAULT_WINDOW
#error "ORVEL_FAULT_WINDOW must name the window driver"
#endif

namespace {

void runScenario(const std::string& scenario) {
    SCOPED_TRACE(scenario);
    DriverRun window("fault");
    ASSERT_TRUE(window.start({ORVEL_FAULT_WINDOW, scenario, window.errPath}));
    // The driver itself fails when no cycle comes for long: this is a last resort.
    bool ended = window.wait(600);
    std::string report = window.out(), errors = window.err();
    EXPECT_TRUE(ended) << "the window did not finish in time";
    EXPECT_TRUE(window.exitedWithZero()) << window.describeStatus() << "\n"
                                         << report << "standard error:\n"
                                         << errors.substr(0, 4000);
    ReaderMessages m = splitReaderMessages(errors);
    EXPECT_EQ(m.unexpected, "") << "standard error held more than the readers' messages";
    std::vector<std::string> last = linesStarting(report, scenario + ":");
    std::cout << (last.empty() ? scenario + ": no summary" : last.back()) << "\n";
    if (!::testing::Test::HasFailure())
        window.removeFiles();
}

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "fault injection needs root for a private mount namespace "
                            "(unshare -m); skipped";
    }
};

} // namespace

TEST_F(FaultInjection, ProcStatFourValuesNotCpuEmpty) {
    for (const char* s : {"stat-four-values", "stat-not-cpu", "stat-empty"})
        runScenario(s);
}

TEST_F(FaultInjection, ProcMeminfoNoTotalLongKeyPast32BitsEmpty) {
    for (const char* s :
         {"meminfo-no-memtotal", "meminfo-long-key", "meminfo-past-32-bits", "meminfo-empty"})
        runScenario(s);
}

TEST_F(FaultInjection, ProcUptimeUnparsable) {
    runScenario("uptime-unparsable");
}

TEST_F(FaultInjection, ProcDirectoryUnreadableForOneCycle) {
    for (const char* s : {"proc-unreadable", "proc-unreadable-first"})
        runScenario(s);
}

TEST_F(FaultInjection, HeldFilesThatCannotBeOpened) {
    runScenario("unopenable");
}
