// The real window at the fast update speed for a while, checked after every
// refresh cycle:
//   orvel_soak_window SECONDS WARMUP_SECONDS
// Prints "FAIL: ..." for each problem (the first ones only) and a summary
// "soak: ..." line; exits 1 when anything was wrong.
#include "children.h"
#include "shown.h"
#include "toolkit.h"
#include "wait_for.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s SECONDS WARMUP_SECONDS\n", argv[0]);
        return 2;
    }
    const double seconds = atof(argv[1]);
    const double warmup = atof(argv[2]);
    TestToolkitApp* app = startToolkit(
        argc, argv, [](const std::string& what) { printf("FAIL: %s\n", what.c_str()); });
    if (!app)
        return 1;

    orvelFrame* frame = new orvelFrame(nullptr);
    frame->Show(true);
    long failures = 0;
    if (!chooseMenuItem(frame, "빠름 (&H)") ||
        orvelFrameAccess::timer(frame).GetInterval() != 500 ||
        !orvelFrameAccess::timer(frame).IsRunning()) {
        printf("FAIL: the fast speed command did not set the timer to 500 ms\n");
        ++failures;
    }

    const auto t0 = std::chrono::steady_clock::now();
    long cycles = 0, rssWarm = -1, rssMax = 0, maxTable = 0, maxRows = 0, maxScan = 0;
    long minScan = -1, maxFiles = 0;
    // What the toolkit and the readers hold; the table adds two files per
    // process it lists, and must close them with their records.
    const long baseFiles = openFiles();
    // The longest wait for a cycle, in seconds: a stuck window makes none.
    double lastCycle = 0, longestGap = 0;
    AfterEachCycle hook(frame, [&] {
        ++cycles;
        longestGap = std::max(longestGap, since(t0) - lastCycle);
        lastCycle = since(t0);
        std::vector<std::string> problems;
        Shown s = readWindow(frame, problems);
        for (const std::string& p : problems)
            if (++failures <= 20)
                printf("FAIL: cycle %ld: %s\n", cycles, p.c_str());
        maxTable = std::max(maxTable, long(s.table));
        maxRows = std::max(maxRows, long(s.rows.size()));
        maxScan = std::max(maxScan, s.numproc);
        minScan = minScan < 0 ? s.numproc : std::min(minScan, s.numproc);
        long files = openFiles();
        maxFiles = std::max(maxFiles, files);
        if (files > baseFiles + 8 + 2 * long(s.table) && ++failures <= 20)
            printf("FAIL: cycle %ld: %ld files open for %ld records (%ld before the first)\n",
                   cycles, files, long(s.table), baseFiles);
        long rss = vmRssKb(getpid());
        if (rssWarm < 0 && since(t0) >= warmup)
            rssWarm = rss;
        if (rssWarm >= 0)
            rssMax = std::max(rssMax, rss);
    });
    while (since(t0) < seconds)
        pumpEvents(100);
    long rssEnd = vmRssKb(getpid());
    longestGap = std::max(longestGap, since(t0) - lastCycle);

    // At 500 ms a slow cycle (a sanitizer build, a loaded machine) makes the
    // timer skip ticks; a stuck window makes none at all.
    if (longestGap * 1000 > kPatienceMs) {
        printf("FAIL: no refresh cycle for %.1f s at 500 ms\n", longestGap);
        ++failures;
    }
    printf("soak: %ld cycles in %.1f s, at most %.1f s apart; the scan saw %ld to %ld processes, "
           "the table held up to "
           "%ld records and the list up to %ld rows; open files %ld before the first cycle, at "
           "most %ld, %ld at the end; resident memory %ld kB at %.0f s, %ld kB at the end "
           "(%+ld kB), at most %ld kB\n",
           cycles, since(t0), longestGap, minScan, maxScan, maxTable, maxRows, baseFiles, maxFiles,
           long(openFiles()), rssWarm, warmup, rssEnd, rssEnd - rssWarm, rssMax);
    failures += app->assertions;
    printf("rss_warm_kb=%ld rss_end_kb=%ld rss_max_kb=%ld cycles=%ld problems=%ld\n", rssWarm,
           rssEnd, rssMax, cycles, failures);
    fflush(stdout);

    frame->Close(true);
    pumpEvents(50);
    stopToolkit();
    return failures ? 1 : 0;
}
