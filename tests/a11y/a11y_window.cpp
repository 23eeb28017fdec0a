// The real window in a process of its own, for the test to be its AT-SPI
// client. After each refresh cycle prints a line of fields split by \x1f:
// "cycle N", the status text, and for each row of a process the test started
// its number and texts. Prints "closed" when the window is gone, then serves
// the accessibility bus until SIGTERM. Exits 1 after a toolkit assertion.
#include "frame_access.h"
#include "toolkit.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {
volatile sig_atomic_t stop = 0;
} // namespace

int main(int argc, char** argv) {
    signal(SIGTERM, [](int) { stop = 1; });
    TestToolkitApp* app = startToolkit(argc, argv, [](const std::string& what) {
        printf("FAIL: %s\n", what.c_str());
        fflush(stdout);
    });
    if (!app)
        return 2;
    orvelFrame* frame = new orvelFrame(nullptr);
    long cycles = 0;
    auto hook = std::make_unique<AfterEachCycle>(frame, [&] {
        wxListCtrl* list = orvelFrameAccess::list(frame);
        std::string line = "cycle " + std::to_string(++cycles) + "\x1f" +
                           utf8(orvelFrameAccess::status(frame)->GetStatusText());
        const std::vector<num>& rows = orvelFrameAccess::rows(frame);
        for (const PROC_t& r : orvelFrameAccess::table(frame)) {
            const long row = std::find(rows.begin(), rows.end(), r.pid) - rows.begin();
            for (int col = -1; col < 6 && r.ppid == getppid() && row < long(rows.size()); ++col)
                line += "\x1f" + (col < 0 ? std::to_string(row) : cellText(list, row, col));
        }
        printf("%s\n", line.c_str());
        fflush(stdout);
    });
    // Away from the screen's corner, places in the window are not places on
    // screen.
    frame->Move(48, 32);
    frame->Show(true);
    app->OnRun();
    hook.reset();
    printf("closed\n");
    fflush(stdout);
    while (!stop)
        pumpEvents(20);
    const int assertions = app->assertions;
    stopToolkit();
    return assertions ? 1 : 0;
}
