// The toolkit around the tests and drivers of the real window.
#include "toolkit.h"

#include "frame_access.h"
#include "wait_for.h"

#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

bool TestToolkitApp::OnInit() {
    wxInitAllImageHandlers();
    return true;
}

void TestToolkitApp::OnAssertFailure(const wxChar* file, int line, const wxChar* func,
                                     const wxChar* cond, const wxChar* msg) {
    ++assertions;
    report_("wx assertion " + utf8(cond) + " in " + utf8(func) + " (" + utf8(file) + ":" +
            std::to_string(line) + "): " + utf8(msg));
}

TestToolkitApp* startToolkit(int& argc, char** argv,
                             std::function<void(const std::string&)> report) {
    TestToolkitApp* app = new TestToolkitApp(std::move(report));
    wxApp::SetInstance(app);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        fprintf(stderr, "cannot start the toolkit (is DISPLAY set?)\n");
        return nullptr;
    }
    return app;
}

void stopToolkit() {
    wxTheApp->OnExit();
    wxEntryCleanup();
}

void pumpEvents(int ms) {
    wxGUIEventLoop loop;
    wxTimer stop;
    stop.Bind(wxEVT_TIMER, [&loop](wxTimerEvent&) { loop.Exit(); });
    stop.StartOnce(ms);
    loop.Run();
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        if (wxTheApp)
            pumpEvents(10);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool showUntilPainted(wxFrame* f, wxWindow* part, int timeoutMs) {
    auto painted = std::make_shared<bool>(false);
    part->Bind(wxEVT_PAINT, [painted](wxPaintEvent& e) {
        *painted = true;
        e.Skip();
    });
    f->Show(true);
    f->Raise();
    if (waitFor([painted] { return *painted; }, timeoutMs / 3))
        return true;
    // Seen under a window manager started late: the first window it gets
    // is never drawn, and drawn once shown again.
    f->Hide();
    f->Show(true);
    f->Raise();
    return waitFor([painted] { return *painted; }, timeoutMs);
}

bool chooseMenuItem(wxFrame* f, const char* label) {
    wxMenuBar* bar = f->GetMenuBar();
    wxString plain = wxMenuItem::GetLabelText(wxString::FromUTF8(label));
    for (size_t k = 0; k < bar->GetMenuCount(); ++k) {
        int id = bar->FindMenuItem(bar->GetMenuLabelText(k), plain);
        wxMenu* owner = nullptr;
        if (id != wxNOT_FOUND && bar->FindItem(id, &owner))
            return owner->SendEvent(id);
    }
    return false;
}

bool startWindowManager() {
    // A window manager names itself on the root window once it runs; one
    // that has gone may have left its name behind.
    const char* named = "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'";
    static pid_t pid = [] {
        // --replace: the last test's may still be on its way out, holding
        // the display's window manager selection.
        char* argv[] = {const_cast<char*>("openbox"), const_cast<char*>("--sm-disable"),
                        const_cast<char*>("--replace"), nullptr};
        pid_t p = -1;
        if (system("xprop -root -remove _NET_SUPPORTING_WM_CHECK") != 0 ||
            posix_spawnp(&p, argv[0], nullptr, nullptr, argv, environ) != 0)
            return pid_t(-1);
        atexit([] {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        });
        return p;
    }();
    return pid > 0 && waitFor([&] { return system(named) == 0; }, 10000);
}

AfterEachCycle::AfterEachCycle(wxEvtHandler* window, std::function<void()> after)
    : window_(window), after_(std::move(after)) {
    wxEvtHandler::AddFilter(this);
}

AfterEachCycle::~AfterEachCycle() {
    wxEvtHandler::RemoveFilter(this);
}

int AfterEachCycle::FilterEvent(wxEvent& event) {
    if (inside_ || event.GetEventType() != wxEVT_TIMER ||
        event.GetId() != orvelFrameAccess::timerId())
        return Event_Skip;
    inside_ = true;
    window_->ProcessEvent(event);
    inside_ = false;
    after_();
    return Event_Processed;
}
