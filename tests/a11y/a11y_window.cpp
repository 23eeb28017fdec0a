// The real window for the accessibility tests, in a process of its own so
// that the test can be its AT-SPI client.
// After each refresh cycle prints a line of fields split by \x1f: "cycle N",
// the status text, then for each row of a process the test started, its
// number and its texts. Prints "closed" when the window is gone, then serves
// the accessibility bus until SIGTERM. Exits 1 after a toolkit assertion.
#include "frame_access.h"
#include "toolkit.h"

#include <wx/weakref.h>

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
        for (const PROC_t& r : orvelFrameAccess::table(frame)) {
            const std::vector<num>& rows = orvelFrameAccess::rows(frame);
            const long row = std::find(rows.begin(), rows.end(), r.pid) - rows.begin();
            if (r.ppid != getppid() || row == long(rows.size()))
                continue;
            line += "\x1f" + std::to_string(row);
            for (int col = 0; col < 6; ++col)
                line += "\x1f" + cellText(list, row, col);
        }
        printf("%s\n", line.c_str());
        fflush(stdout);
    });
    // SIGTERM closes the window first, if it is still open.
    wxWeakRef<wxFrame> open(frame);
    wxTimer closer;
    closer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (stop && open)
            open->Close(true);
    });
    closer.Start(20);
    frame->Show(true);
    app->OnRun();
    closer.Stop();
    hook.reset();
    printf("closed\n");
    fflush(stdout);
    while (!stop)
        pumpEvents(20);
    const int assertions = app->assertions;
    stopToolkit();
    return assertions ? 1 : 0;
}
