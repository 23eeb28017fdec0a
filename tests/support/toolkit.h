// The toolkit around the tests and drivers of the real window: start-up with
// assertions turned into failures, the event loop, menu commands by label,
// and a hook that runs after every refresh cycle however it was started.
#ifndef ORVEL_TEST_TOOLKIT_H
#define ORVEL_TEST_TOOLKIT_H

#include "orvelAppBase.h"

#include <wx/eventfilter.h>
#include <wx/frame.h>

#include <functional>
#include <string>

class TestToolkitApp : public orvelAppBase {
public:
    explicit TestToolkitApp(std::function<void(const std::string&)> report)
        : report_(std::move(report)) {}
    bool OnInit() override;
    // A toolkit assertion is reported as a failure instead of opening a
    // dialog, and counted.
    void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                         const wxChar* msg) override;
    int assertions = 0;

private:
    std::function<void(const std::string&)> report_;
};

// Starts the toolkit with a TestToolkitApp that hands each assertion to
// report; nullptr (with a message on standard error) when it cannot start.
TestToolkitApp* startToolkit(int& argc, char** argv,
                             std::function<void(const std::string&)> report);
void stopToolkit();

// Runs the toolkit's event loop for ms milliseconds.
void pumpEvents(int ms);

// Shows the frame and waits until part of it has been painted: then the
// pointer and the keyboard reach it. False on time-out.
bool showUntilPainted(wxFrame* f, wxWindow* part, int timeoutMs);

// Sends the command of the menu item labelled label ("빠름 (&H)") the way
// choosing it does. False when no item has that label.
bool chooseMenuItem(wxFrame* f, const char* label);

// Starts a window manager (openbox) once for the process (GTK takes a second
// one badly), and says whether it runs: it gives a new window the keyboard
// focus, as on a desktop.
bool startWindowManager();

// Calls after() as soon as each refresh cycle has run to its end, before
// any other event: the filter sees the timer event on its way to the window,
// hands it on itself and then calls after(). (A call queued for later could
// come after the next cycle on a slow machine.)
class AfterEachCycle : public wxEventFilter {
public:
    AfterEachCycle(wxEvtHandler* window, std::function<void()> after);
    ~AfterEachCycle() override;
    int FilterEvent(wxEvent& event) override;

private:
    wxEvtHandler* window_;
    std::function<void()> after_;
    bool inside_ = false;
};

#endif
