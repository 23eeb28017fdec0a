// The toolkit around a window driver: start-up, the menu commands by label,
// and a hook that runs after every refresh cycle however it was started.
#ifndef ORVEL_TEST_DRIVER_APP_H
#define ORVEL_TEST_DRIVER_APP_H

#include "frame_access.h"

#include <wx/app.h>
#include <wx/eventfilter.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/menu.h>

#include <cstdio>
#include <functional>

class DriverApp : public wxApp {
public:
    bool OnInit() override {
        wxInitAllImageHandlers();
        return true;
    }
    void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                         const wxChar* msg) override {
        ++assertions;
        printf("FAIL: wx assertion %s in %s (%s:%d): %s\n",
               static_cast<const char*>(wxString(cond).utf8_str()),
               static_cast<const char*>(wxString(func).utf8_str()),
               static_cast<const char*>(wxString(file).utf8_str()), line,
               static_cast<const char*>(wxString(msg).utf8_str()));
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
    std::function<int(wxMenu*)> find = [&](wxMenu* menu) -> int {
        for (wxMenuItem* item : menu->GetMenuItems()) {
            if (item->GetSubMenu()) {
                if (int id = find(item->GetSubMenu()))
                    return id;
            } else if (item->GetItemLabel() == wxString::FromUTF8(label)) {
                return item->GetId();
            }
        }
        return 0;
    };
    for (size_t k = 0; k < bar->GetMenuCount(); ++k)
        if (int id = find(bar->GetMenu(k)))
            return f->ProcessCommand(id);
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
