// The menu commands, the timer's states, the About box, quitting, and
// terminating a process by right-clicking its row, all through real input.
#include "children.h"
#include "frame_access.h"

#include <gtest/gtest.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>
#include <wx/uiaction.h>

#include <atomic>
#include <memory>

namespace {

// Counts refresh cycles: bound after the window's own connection, so it sees
// each timer event first and passes it on.
struct CycleCounter {
    explicit CycleCounter(orvelFrame* f) {
        f->Bind(
            wxEVT_TIMER,
            [this](wxTimerEvent& e) {
                ++count;
                e.Skip();
            },
            orvelFrameAccess::timerId());
    }
    int count = 0;
};

class CommandTest : public ::testing::Test {
public:
    void SetUp() override {
        frame = new orvelFrame(nullptr);
        id = frame->GetId();
        frame->Show(true);
        frame->Raise();
        pumpEvents(150);
        bar = frame->GetMenuBar();
        counter.reset(new CycleCounter(frame));
    }
    void TearDown() override {
        if (wxWindow::FindWindowById(frameId()) == frame) {
            frame->Destroy();
            pumpEvents(30);
        }
    }
    // Kept apart: after the quit tests the frame is gone and must not be read.
    wxWindowID frameId() { return id; }
    // The item's ID as the real menu bar holds it, found by its label.
    int idOf(int menu, const char* label) {
        int id = bar->FindMenuItem(bar->GetMenuLabelText(menu),
                                   wxMenuItem::GetLabelText(wxString::FromUTF8(label)));
        EXPECT_NE(id, wxNOT_FOUND) << label;
        return id;
    }
    // Sends the command the way the toolkit does when the item is chosen.
    void choose(int menu, const char* label) {
        int id = idOf(menu, label);
        wxMenu* owner = nullptr;
        ASSERT_NE(bar->FindItem(id, &owner), nullptr);
        owner->SendEvent(id);
    }
    void fast() { choose(1, "빠름 (&H)"); }
    void medium() { choose(1, "중간 (&M)"); }
    void slow() { choose(1, "느림 (&L)"); }
    void pause() { choose(1, "일시 중지 (&S)"); }
    void refreshNow() { choose(1, "지금 새로 고침 (&R)"); }
    wxTimer& timer() { return orvelFrameAccess::timer(frame); }
    void focusFrame() {
        wxUIActionSimulator sim;
        wxRect r = frame->GetScreenRect();
        sim.MouseMove(r.x + r.width / 2, r.y + r.height / 2);
        frame->Raise();
        frame->SetFocus();
        pumpEvents(200);
    }

    orvelFrame* frame = nullptr;
    wxWindowID id = wxID_NONE;
    wxMenuBar* bar = nullptr;
    std::unique_ptr<CycleCounter> counter;
};

TEST_F(CommandTest, TimerStatesFollowEachCommand) {
    struct {
        void (CommandTest::*cmd)();
        bool running;
        int interval;
    } const results[] = {
        {&CommandTest::fast, true, 500},
        {&CommandTest::medium, true, 2000},
        {&CommandTest::slow, true, 4000},
        {&CommandTest::pause, false, 0},
    };
    // From every state, every command.
    for (const auto& from : results) {
        for (const auto& to : results) {
            (this->*from.cmd)();
            ASSERT_EQ(timer().IsRunning(), from.running);
            (this->*to.cmd)();
            EXPECT_EQ(timer().IsRunning(), to.running);
            if (to.running) {
                EXPECT_EQ(timer().GetInterval(), to.interval);
                EXPECT_FALSE(timer().IsOneShot());
            }
            int before = counter->count;
            bool wasRunning = timer().IsRunning();
            int interval = timer().GetInterval();
            refreshNow();
            EXPECT_EQ(counter->count, before + 1) << "Refresh now runs one cycle at once";
            EXPECT_EQ(timer().IsRunning(), wasRunning) << "and leaves the timer alone";
            if (wasRunning) {
                EXPECT_EQ(timer().GetInterval(), interval);
            }
        }
    }
    pause();
    pause();
    EXPECT_FALSE(timer().IsRunning()) << "a second pause changes nothing";
}

TEST_F(CommandTest, PauseThenRefreshNowRunsExactlyOneCycle) {
    pause();
    pumpEvents(2300);
    EXPECT_EQ(counter->count, 0) << "no tick while paused";
    refreshNow();
    EXPECT_EQ(counter->count, 1);
    EXPECT_GT(orvelFrameAccess::list(frame)->GetItemCount(), 0)
        << "the cycle ran inside the command";
    pumpEvents(2300);
    EXPECT_EQ(counter->count, 1);
    EXPECT_FALSE(timer().IsRunning());
}

TEST_F(CommandTest, FastTicksEvery500msAfterPause) {
    pause();
    fast();
    pumpEvents(380);
    EXPECT_EQ(counter->count, 0) << "the first tick comes a whole period after the command";
    pumpEvents(1900);
    EXPECT_GE(counter->count, 3);
    EXPECT_LE(counter->count, 5);
}

TEST_F(CommandTest, ChoosingTheCurrentSpeedRestartsThePeriod) {
    medium();
    pumpEvents(1500);
    ASSERT_EQ(counter->count, 0);
    medium();
    pumpEvents(1200); // 2700 ms after the first start, 1200 after the second
    EXPECT_EQ(counter->count, 0) << "the pending tick was discarded";
    pumpEvents(1300);
    EXPECT_EQ(counter->count, 1);
}

class ExpectAbout : public wxExpectModal<wxMessageDialog> {
public:
    ExpectAbout() : wxExpectModal<wxMessageDialog>(wxID_OK) {}
    mutable wxString message, caption;
    mutable long style = 0;

protected:
    int OnInvoked(wxMessageDialog* dlg) const override {
        message = dlg->GetMessage();
        caption = dlg->GetTitle();
        style = dlg->GetMessageDialogStyle();
        return wxID_OK;
    }
};

TEST_F(CommandTest, AboutBoxFromTheMenuAndFromF1) {
    ExpectAbout fromMenu;
    wxTEST_DIALOG(choose(2, "정보\tF1"), fromMenu);
    EXPECT_EQ(utf8(fromMenu.message), "Orvel System Manager v0.01 (101)");
    EXPECT_EQ(utf8(fromMenu.caption), "About");
    EXPECT_TRUE(fromMenu.style & wxOK);
    EXPECT_TRUE(fromMenu.style & wxCENTRE);
    EXPECT_FALSE(fromMenu.style & (wxCANCEL | wxYES_NO));
    EXPECT_TRUE(timer().IsRunning()) << "the box leaves the timer running";

    focusFrame();
    ExpectAbout fromKey;
    wxUIActionSimulator sim;
    wxTEST_DIALOG(
        {
            sim.Char(WXK_F1);
            pumpEvents(400);
        },
        fromKey);
    EXPECT_EQ(utf8(fromKey.message), "Orvel System Manager v0.01 (101)");
}

TEST_F(CommandTest, QuitFromTheMenu) {
    wxWindowID id = frameId();
    choose(0, "종료\tAlt-F4");
    pumpEvents(300);
    EXPECT_EQ(wxWindow::FindWindowById(id), nullptr);
}

TEST_F(CommandTest, AltF4Quits) {
    wxWindowID id = frameId();
    focusFrame();
    wxUIActionSimulator sim;
    sim.Char(WXK_F4, wxMOD_ALT);
    pumpEvents(500);
    EXPECT_EQ(wxWindow::FindWindowById(id), nullptr);
}

TEST_F(CommandTest, ClosedAfterManyCyclesReleasesCleanly) {
    fast();
    for (int i = 0; i < 30; ++i)
        refreshNow();
    pumpEvents(1200);
    EXPECT_GE(counter->count, 31);
    wxWindowID id = frameId();
    frame->Close(false);
    pumpEvents(300);
    EXPECT_EQ(wxWindow::FindWindowById(id), nullptr);
}

// Right-clicks the row whose PID cell reads text, with the real mouse.
class RightClickTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        pause();
        list = orvelFrameAccess::list(frame);
        // A stray kill(0, ...) must reach no one but this test.
        setpgid(0, 0);
    }
    long rowOf(const std::string& text) {
        for (long row = 0; row < list->GetItemCount(); ++row)
            if (cellText(list, row, idPID) == text)
                return row;
        return -1;
    }
    bool rightClick(const std::string& text) {
        long row = rowOf(text);
        if (row < 0)
            return false;
        list->EnsureVisible(row);
        pumpEvents(150);
        wxRect r;
        if (!list->GetItemRect(row, r))
            return false;
        wxPoint p = list->ClientToScreen(wxPoint(r.x + 20, r.y + r.height / 2));
        wxUIActionSimulator sim;
        sim.MouseMove(p);
        pumpEvents(100);
        sim.MouseClick(wxMOUSE_BTN_RIGHT);
        pumpEvents(300);
        return true;
    }
    wxListCtrl* list = nullptr;
};

TEST_F(RightClickTest, TerminatesTheChildOfTheRow) {
    ChildOptions o;
    o.name = "orvel-victim";
    Child c(o);
    ASSERT_TRUE(c.ok());
    refreshNow();
    std::string pid = std::to_string(c.pid());
    ASSERT_TRUE(rightClick(pid));
    int status = 0;
    ASSERT_TRUE(c.waitEnd(2000, &status)) << "the child is still running";
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_GE(rowOf(pid), 0) << "nothing changes until the next cycle";
    refreshNow();
    EXPECT_EQ(rowOf(pid), -1);
}

TEST_F(RightClickTest, ChildIgnoringTermKeepsRunningAndItsRow) {
    ChildOptions o;
    o.name = "orvel-stubborn";
    o.ignoreTerm = true;
    Child c(o);
    ASSERT_TRUE(c.ok());
    refreshNow();
    std::string pid = std::to_string(c.pid());
    ASSERT_TRUE(rightClick(pid));
    EXPECT_FALSE(c.waitEnd(500, nullptr));
    refreshNow();
    EXPECT_GE(rowOf(pid), 0);
}

TEST_F(RightClickTest, StaleRowSignalsNothing) {
    ChildOptions o;
    o.name = "orvel-gone";
    Child c(o);
    ASSERT_TRUE(c.ok());
    refreshNow();
    std::string pid = std::to_string(c.pid());
    pid_t old = c.pid();
    c.kill(SIGKILL);
    ASSERT_TRUE(rightClick(pid)) << "the row stays until the next cycle";
    refreshNow();
    EXPECT_EQ(rowOf(pid), -1);
    (void)old;
}

TEST_F(RightClickTest, PidReusedSinceTheRowWasMadeIsNotSignalled) {
    if (!isRoot())
        GTEST_SKIP() << "needs root to choose PIDs through ns_last_pid";
    for (int attempt = 0; attempt < 10; ++attempt) {
        ChildOptions o;
        o.name = "orvel-listed";
        std::unique_ptr<Child> listed(new Child(o));
        ASSERT_TRUE(listed->ok());
        pid_t pid = listed->pid();
        refreshNow();
        listed->kill(SIGKILL);
        // Another process now holds the listed PID.
        o.name = "orvel-bystander";
        o.wantPid = pid;
        Child bystander(o);
        if (!bystander.ok())
            continue;
        ASSERT_TRUE(rightClick(std::to_string(pid)));
        EXPECT_FALSE(bystander.waitEnd(500, nullptr)) << "an unrelated process was terminated";
        // Once the list shows the newcomer, its own row terminates it.
        refreshNow();
        ASSERT_TRUE(rightClick(std::to_string(pid)));
        int status = 0;
        EXPECT_TRUE(bystander.waitEnd(2000, &status));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
        return;
    }
    ADD_FAILURE() << "could not reuse a PID";
}

std::atomic<int> termsReceived{0};
void onTerm(int) {
    ++termsReceived;
}

TEST_F(RightClickTest, RowsWithoutAPositivePidSignalNothing) {
    refreshNow();
    struct sigaction sa = {}, old = {};
    sa.sa_handler = onTerm;
    sigaction(SIGTERM, &sa, &old);
    termsReceived = 0;
    // Rows the cycle never makes, put there to see what their click does.
    for (const char* text : {"0", "abc", "", "00"}) {
        list->InsertItem(0, wxString::FromAscii(text));
        ASSERT_TRUE(rightClick(text)) << "'" << text << "'";
        EXPECT_EQ(termsReceived.load(), 0) << "'" << text << "' reached our process group";
        list->DeleteItem(0);
    }
    sigaction(SIGTERM, &old, nullptr);
    refreshNow(); // the window copes with rows it did not make
    EXPECT_GT(list->GetItemCount(), 0);
}

} // namespace
