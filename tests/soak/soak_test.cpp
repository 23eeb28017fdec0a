// Two minutes of the real window at 500 ms while processes of every kind come
// and go by dozens a second: it must not crash, grow, show garbage, keep
// records of processes the scan did not see, or write anything on standard
// error but the readers' own messages.
#include "children.h"
#include "drivers.h"
#include "reader_messages.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

#ifndef ORVEL_SOAK_WINDOW
#error "ORVEL_SOAK_WINDOW, ORVEL_CHURN and ORVEL_SOAK_REPORT must name the helpers and the report"
#endif

namespace {

const int kSeconds = 120;
const int kWarmup = 10;
const double kMinRate = 20.0;

long valueAfter(const std::string& text, const std::string& key) {
    size_t p = text.find(key + "=");
    return p == std::string::npos ? -1 : atol(text.c_str() + p + key.size() + 1);
}

} // namespace

TEST(Soak, WindowThroughProcessChurn) {
    if (geteuid() != 0)
        std::cout << "not root: the churn leaves out processes under a uid without a password "
                     "entry\n";
    // The window's memory follows the number of processes it lists: only the
    // churn's may count, whatever else the machine runs.
    OwnProcessView own;
    if (!own.ok())
        std::cout << "the window sees every process of the machine (" << own.why()
                  << "): its growth is judged all the same\n";
    DriverRun churn("churn"), window("soak");
    ASSERT_TRUE(churn.start({ORVEL_CHURN, std::to_string(kSeconds + 30)}));
    ASSERT_TRUE(
        window.start({ORVEL_SOAK_WINDOW, std::to_string(kSeconds), std::to_string(kWarmup)}));

    bool ended = window.wait(kSeconds + 90);
    churn.signal(SIGTERM);
    churn.wait(30);

    std::string report = window.out(), errors = window.err(), churnReport = churn.out();
    std::string figures =
        report.substr(report.find("soak:") == std::string::npos ? 0 : report.find("soak:")) +
        churnReport;
    std::cout << figures;
    EXPECT_TRUE(ended) << "the window did not finish in time";
    EXPECT_TRUE(window.exitedWithZero()) << "the window driver: " << window.describeStatus() << "\n"
                                         << report << errors.substr(0, 4000);

    // The churn kept up its rate, of all kinds.
    EXPECT_TRUE(churn.exitedWithZero()) << churn.describeStatus() << churn.err();
    std::vector<std::string> lines = linesStarting(churnReport, "churn: ");
    ASSERT_FALSE(lines.empty()) << churnReport;
    const std::string& summary = lines.back();
    size_t paren = summary.find(" s (");
    ASSERT_NE(paren, std::string::npos) << summary;
    EXPECT_GE(atof(summary.c_str() + paren + 4), kMinRate) << summary;
    if (geteuid() == 0) {
        EXPECT_NE(summary.find("has no password entry"), std::string::npos) << summary;
    }

    // Only the readers' messages; some process vanished between the
    // directory read and its stat read.
    ReaderMessages m = splitReaderMessages(errors);
    EXPECT_EQ(m.unexpected, "") << "standard error held more than the readers' messages";
    int vanished = m.count("open: No such file or directory\n");
    std::ostringstream said;
    said << "standard error: " << vanished << " stat files of vanished processes, " << errors.size()
         << " bytes in all\n";
    figures += said.str();
    std::cout << said.str();
    EXPECT_GT(vanished, 0) << "no process ended between the directory read and its stat read";
    EXPECT_EQ(m.count("failed /proc/stat read") + m.count("failed /proc/stat open") +
                  m.count("failed /proc/meminfo open") + m.count("failed momory allocate"),
              0);

    long warm = valueAfter(report, "rss_warm_kb"), end = valueAfter(report, "rss_end_kb");
    ASSERT_GT(warm, 0) << report;
    ASSERT_GT(end, 0) << report;
#ifdef ORVEL_SANITIZED
    // The sanitizers' quarantine and shadow memory make resident size say
    // nothing about the program; their leak check judges it instead.
    std::cout << "sanitizer build: resident growth " << end - warm << " kB not judged\n";
#else
    EXPECT_LT(end - warm, 2048) << "resident memory grew from " << warm << " kB to " << end
                                << " kB after the first " << kWarmup << " s";
#endif
    // The test command shows the figures of a passing run too.
    std::ofstream(ORVEL_SOAK_REPORT) << figures;
    if (!HasFailure()) {
        window.removeFiles();
        churn.removeFiles();
    } else {
        std::cout << "kept " << window.outPath << ", " << window.errPath << ", " << churn.outPath
                  << "\n";
    }
}
