// The toolkit around a window driver: start-up, the menu commands by label,
// and a hook that runs after every refresh cycle however it was started.
#ifndef ORVEL_TEST_DRIVER_APP_H
#define ORVEL_TEST_DRIVER_APP_H

#include "frame_access.h"
#include "orvelAppBase.h"

#include <wx/app.h>
#include <wx/eventfilter.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/menu.h>

#include <cstdio>
#include <functional>

class DriverApp : public orvelAppBase {
public:
    bool OnInit() override {
        wxInitAllImageHandlers();
        return true;
    }
    void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                         const wxChar* msg) override {
        ++assertions;
        printf("FAIL: %s\n", describeAssertion(file, line, func, cond, msg).c_str());
    }
    int assertions = 0;
};

inline DriverApp* startToolkit(int& argc, char** argv) {
    DriverApp* app = new DriverApp;
    wxApp::SetInstance(app);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        printf("FAIL: cannot start the toolkit (is DISPLAY set?)\n");
        return nullptr;
    }
    return app;
}

inline void stopToolkit() {
    wxTheApp->OnExit();
    wxEntryCleanup();
}

// Sends the command of the menu item labelled label ("빠름 (&H)") the way
// choosing it does. False when no item has that label.
inline bool chooseMenuItem(wxFrame* f, const char* label) {
    wxMenuBar* bar = f->GetMenuBar();
    wxString plain = wxMenuItem::GetLabelText(wxString::FromUTF8(label));
    for (size_t k = 0; k < bar->GetMenuCount(); ++k) {
        int id = bar->FindMenuItem(bar->GetMenuLabelText(k), plain);
        if (id != wxNOT_FOUND)
            return f->ProcessCommand(id);
    }
    return false;
}

// Calls after() as soon as each refresh cycle has run to its end, before
// any other event: the filter sees the timer event on its way to the window,
// hands it on itself and then calls after(). (A call queued for later could
// come after the next cycle on a slow machine.)
class AfterEachCycle : public wxEventFilter {
public:
    AfterEachCycle(wxEvtHandler* window, std::function<void()> after)
        : window_(window), after_(std::move(after)) {
        wxEvtHandler::AddFilter(this);
    }
    ~AfterEachCycle() override { wxEvtHandler::RemoveFilter(this); }
    int FilterEvent(wxEvent& event) override {
        if (inside_ || event.GetEventType() != wxEVT_TIMER ||
            event.GetId() != orvelFrameAccess::timerId())
            return Event_Skip;
        inside_ = true;
        window_->ProcessEvent(event);
        inside_ = false;
        after_();
        return Event_Processed;
    }

private:
    wxEvtHandler* window_;
    std::function<void()> after_;
    bool inside_ = false;
};

#endif
