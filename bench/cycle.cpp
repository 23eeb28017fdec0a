// CPU time of one whole refresh cycle of the real window: samplers, scan,
// table, sort, list update and texts. Prints the median over the measured
// cycles after the warm-up ones; painting happens between cycles, unmeasured.
#include "frame_access.h"
#include "toolkit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

namespace {

double cpu_now() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

} // namespace

int main(int argc, char** argv) {
    int cycles = 25, warmup = 2, gap_ms = 500;
    const char* data = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--cycles"))
            cycles = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--warmup"))
            warmup = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--gap-ms"))
            gap_ms = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--data"))
            data = argv[i + 1];
    }
    if (cycles < 1)
        cycles = 1;
    int wxargc = 1;
    // Standard output holds the figures alone.
    if (!startToolkit(wxargc, argv,
                      [](const std::string& what) { fprintf(stderr, "%s\n", what.c_str()); }))
        return 2;
    char old[4096];
    if (data && (!getcwd(old, sizeof old) || chdir(data) != 0))
        data = nullptr;
    orvelFrame* frame = new orvelFrame(nullptr);
    orvelFrameAccess::timer(frame).Stop(); // only the cycles run here count
    if (data && chdir(old) != 0)
        return 1;
    frame->Show(true);
    pumpEvents(300);

    // withPaint: the cycle and the event loop's work after it (layout,
    // painting) until the next one.
    std::vector<double> us, withPaint;
    pumpEvents(gap_ms);
    for (int i = 0; i < warmup + cycles; ++i) {
        // Under valgrind --collect-atstart=no only the measured cycles count.
        bool measured = i >= warmup;
        if (measured)
            CALLGRIND_TOGGLE_COLLECT;
        double t0 = cpu_now();
        runCycle(frame);
        double t1 = cpu_now();
        if (measured)
            CALLGRIND_TOGGLE_COLLECT;
        pumpEvents(gap_ms);
        double t2 = cpu_now();
        if (measured) {
            us.push_back((t1 - t0) * 1e6);
            withPaint.push_back((t2 - t0) * 1e6);
        }
    }
    long rows = orvelFrameAccess::list(frame)->GetItemCount();
    std::sort(us.begin(), us.end());
    std::sort(withPaint.begin(), withPaint.end());
    printf("cycle_us_median %.1f\ncycle_us_min %.1f\ncycle_us_max %.1f\ncycle_rows %ld\n"
           "cycle_paint_us_median %.1f\n",
           us[us.size() / 2], us.front(), us.back(), rows, withPaint[withPaint.size() / 2]);
    frame->Destroy();
    pumpEvents(50);
    stopToolkit();
    return 0;
}
