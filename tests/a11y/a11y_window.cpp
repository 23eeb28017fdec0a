// The real window for the accessibility tests, in a process of its own so
// that the test can be its AT-SPI client:  orvel_a11y_window PID
// After each refresh cycle prints a line of fields split by \x1f: "cycle N",
// the status text and the texts of PID's row. Prints "closed" when the
// window is gone, then serves the accessibility bus until SIGTERM. Exits 1
// after a toolkit assertion.
#include "frame_access.h"
#include "toolkit.h"

#include <wx/weakref.h>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {
volatile sig_atomic_t stop = 0;
} // namespace

int main(int argc, char** argv) {
    signal(SIGTERM, [](int) { stop = 1; });
    TestToolkitApp* app = startToolkit(argc, argv, [](const std::string& what) {
        printf("FAIL: %s\n", what.c_str());
        fflush(stdout);
    });
    if (!app || argc < 2)
        return 2;
    const std::string pid = argv[1];
    orvelFrame* frame = new orvelFrame(nullptr);
    long cycles = 0;
    auto hook = std::make_unique<AfterEachCycle>(frame, [&] {
        wxListCtrl* list = orvelFrameAccess::list(frame);
        std::string line = "cycle " + std::to_string(++cycles) + "\x1f" +
                           utf8(orvelFrameAccess::status(frame)->GetStatusText());
        for (long row = 0; row < list->GetItemCount(); ++row)
            for (int col = 0; col < 6 && cellText(list, row, idPID) == pid; ++col)
                line += "\x1f" + cellText(list, row, col);
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
    stopToolkit();
    return app->assertions ? 1 : 0;
}
