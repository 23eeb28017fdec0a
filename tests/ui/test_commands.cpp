// The menu commands, the timer's states, the About box, quitting, and
// terminating a process by right-clicking its row, all through real input.
#include "children.h"
#include "frame_access.h"
#include "toolkit.h"
#include "wait_for.h"

#include <gtest/gtest.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>
#include <wx/testing.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Counts refresh cycles and when each came: bound after the window's own
// connection, so it sees each timer event first and passes it on.
struct CycleCounter {
    explicit CycleCounter(orvelFrame* f) {
        f->Bind(
            wxEVT_TIMER,
            [this](wxTimerEvent& e) {
                ++count;
                at.push_back(Clock::now());
                e.Skip();
            },
            orvelFrameAccess::timerId());
    }
    // The ticks that came in [from, to).
    std::vector<Clock::time_point> between(Clock::time_point from, Clock::time_point to) const {
        std::vector<Clock::time_point> in;
        for (Clock::time_point t : at)
            if (t >= from && t < to)
                in.push_back(t);
        return in;
    }
    int count = 0;
    std::vector<Clock::time_point> at;
};

// How long after since t came, in milliseconds.
long long msAfter(Clock::time_point since, Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - since).count();
}

class CommandTest : public ::testing::Test {
public:
    void SetUp() override {
        // One window manager for every window of the process, from the
        // first on: openbox started after windows had come and gone (Alt+F4,
        // a right-click) never let the next one be drawn.
        ASSERT_TRUE(startWindowManager());
        frame = new orvelFrame(nullptr);
        id = frame->GetId();
        ASSERT_TRUE(showUntilPainted(
            frame, orvelFrameAccess::list(frame)->GetMainWindowOfCompositeControl(), kPatienceMs));
        counter.reset(new CycleCounter(frame));
    }
    void TearDown() override {
        if (wxWindow::FindWindowById(frameId()) == frame) {
            // No tick may reach the counter after the test, however long the
            // toolkit takes to delete the frame.
            timer().Stop();
            frame->Destroy();
            waitFor([this] { return gone(); }, kPatienceMs);
        }
    }
    // Kept apart: after the quit tests the frame is gone and must not be read.
    wxWindowID frameId() { return id; }
    // The toolkit deletes a closed frame when it is next idle.
    bool gone() { return wxWindow::FindWindowById(frameId()) == nullptr; }
    void choose(const char* label) { ASSERT_TRUE(chooseMenuItem(frame, label)) << label; }
    void fast() { choose("빠름 (&H)"); }
    void medium() { choose("중간 (&M)"); }
    void slow() { choose("느림 (&L)"); }
    void pause() { choose("일시 중지 (&S)"); }
    void refreshNow() { choose("지금 새로 고침 (&R)"); }
    wxTimer& timer() { return orvelFrameAccess::timer(frame); }
    void focusFrame() {
        wxUIActionSimulator sim;
        wxRect r = frame->GetScreenRect();
        sim.MouseMove(r.x + r.width / 2, r.y + r.height / 2);
        frame->Raise();
        frame->SetFocus();
        ASSERT_TRUE(waitFor([this] { return frame->IsActive(); }, kPatienceMs)) << "no focus";
    }

    orvelFrame* frame = nullptr;
    wxWindowID id = wxID_NONE;
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
    pumpEvents(2300); // longer than a medium period, and nothing must come
    EXPECT_EQ(counter->count, 0) << "no tick while paused";
    refreshNow();
    EXPECT_EQ(counter->count, 1);
    EXPECT_GT(orvelFrameAccess::list(frame)->GetItemCount(), 0)
        << "the cycle ran inside the command";
    pumpEvents(2300); // nor after a refresh
    EXPECT_EQ(counter->count, 1);
    EXPECT_FALSE(timer().IsRunning());
}

// A busy machine may deliver ticks late, never early: the k-th tick after a
// start comes k whole periods after it or later.
TEST_F(CommandTest, FastTicksEvery500msAfterPause) {
    pause();
    const Clock::time_point start = Clock::now();
    fast();
    ASSERT_TRUE(waitFor([this] { return counter->count >= 3; }, kPatienceMs)) << "no ticks";
    std::vector<Clock::time_point> ticks = counter->between(start, Clock::now());
    ASSERT_EQ(ticks.size(), static_cast<size_t>(counter->count));
    for (size_t k = 0; k < ticks.size(); ++k)
        EXPECT_GE(msAfter(start, ticks[k]), 500 * static_cast<long long>(k + 1))
            << "tick " << k + 1 << " came early";
    EXPECT_EQ(timer().GetInterval(), 500);
}

TEST_F(CommandTest, ChoosingTheCurrentSpeedRestartsThePeriod) {
    const Clock::time_point first = Clock::now();
    medium();
    pumpEvents(1500);
    const Clock::time_point second = Clock::now();
    medium();
    ASSERT_TRUE(
        waitFor([&] { return !counter->between(second, Clock::now()).empty(); }, kPatienceMs));
    for (Clock::time_point t : counter->between(first, second))
        EXPECT_GE(msAfter(first, t), 2000) << "a tick before the period was over";
    // A pending tick of the first start would come 2000 ms after it.
    EXPECT_GE(msAfter(second, counter->between(second, Clock::now()).front()), 2000)
        << "the pending tick was not discarded";
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
    wxTEST_DIALOG(choose("정보\tF1"), fromMenu);
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
            waitFor([&] { return !fromKey.message.empty(); }, kPatienceMs);
        },
        fromKey);
    EXPECT_EQ(utf8(fromKey.message), "Orvel System Manager v0.01 (101)");
}

TEST_F(CommandTest, QuitFromTheMenu) {
    choose("종료\tAlt-F4");
    EXPECT_TRUE(waitFor([this] { return gone(); }, kPatienceMs));
}

TEST_F(CommandTest, AltF4Quits) {
    focusFrame();
    wxUIActionSimulator sim;
    sim.Char(WXK_F4, wxMOD_ALT);
    EXPECT_TRUE(waitFor([this] { return gone(); }, kPatienceMs));
}

TEST_F(CommandTest, ClosedAfterManyCyclesReleasesCleanly) {
    fast();
    for (int i = 0; i < 30; ++i)
        refreshNow();
    EXPECT_TRUE(waitFor([this] { return counter->count >= 31; }, kPatienceMs));
    frame->Close(false);
    EXPECT_TRUE(waitFor([this] { return gone(); }, kPatienceMs));
}

// Cycles that outlast the interval (each tick held up in its dispatch, as on
// a loaded machine): the next tick comes an interval after a cycle ends (half
// of one, as the end is seen a little late), and a close asked for in a
// cycle ends the window, which the idle time between cycles deletes.
TEST_F(CommandTest, CyclesSlowerThanTheIntervalLeaveTheWindowItsTime) {
    const int interval = 100;
    std::vector<Clock::time_point> starts, ends;
    auto slow = [&](wxTimerEvent& e) {
        starts.push_back(Clock::now());
        std::this_thread::sleep_for(std::chrono::milliseconds(interval + 10));
        e.Skip();
    };
    frame->Bind(wxEVT_TIMER, slow, orvelFrameAccess::timerId());
    AfterEachCycle after(frame, [&] {
        ends.push_back(Clock::now());
        if (ends.size() == 4)
            frame->Close(false);
    });
    timer().Start(interval, false);
    waitFor([&] { return gone() || ends.size() > 8; }, kPatienceMs);
    EXPECT_TRUE(gone()) << ends.size() << " cycles and the window is still there";
    for (size_t k = 1; k < starts.size(); ++k)
        EXPECT_GE(msAfter(ends[k - 1], starts[k]), interval / 2) << "tick " << k + 1;
}

// Right-clicks the row whose PID cell reads text, with the real mouse.
class RightClickTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        pause();
        list = orvelFrameAccess::list(frame);
        // Seen before the window's own handler, which runs in the same dispatch.
        list->Bind(wxEVT_LIST_ITEM_RIGHT_CLICK, [this](wxListEvent& e) {
            ++rightClicks;
            e.Skip();
        });
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
        wxRect r;
        if (!waitFor(
                [&] {
                    return list->GetItemRect(row, r) && r.y >= 0 &&
                           r.GetBottom() < list->GetClientSize().y;
                },
                kPatienceMs))
            return false;
        wxPoint p = list->ClientToScreen(wxPoint(r.x + 20, r.y + r.height / 2));
        wxUIActionSimulator sim;
        sim.MouseMove(p);
        if (!waitFor([&] { return wxGetMousePosition() == p; }, kPatienceMs))
            return false;
        // Two clicks within the double-click time make a double click, which
        // the list does not take as a right-click: let that time pass.
        wxLongLong since = wxGetLocalTimeMillis() - lastClick;
        if (since < doubleClickMs)
            pumpEvents(int((doubleClickMs - since).GetValue()));
        int before = rightClicks;
        sim.MouseClick(wxMOUSE_BTN_RIGHT);
        lastClick = wxGetLocalTimeMillis();
        return waitFor([&] { return rightClicks > before; }, kPatienceMs);
    }
    wxListCtrl* list = nullptr;
    int rightClicks = 0;
    wxLongLong lastClick = 0;
    const int doubleClickMs = wxSystemSettings::GetMetric(wxSYS_DCLICK_MSEC) + 50;
};

TEST_F(RightClickTest, TerminatesTheChildOfTheRow) {
    ChildOptions o;
    o.name = "orvel-victim";
    Child c(o);
    ASSERT_TRUE(c.ok());
    refreshNow();
    std::string pid = std::to_string(c.pid());
    ASSERT_GE(rowOf(pid), 0);
    // On the top row, where new rows come, anyone's: the child's is put there.
    std::vector<num>& rows = orvelFrameAccess::rows(frame);
    std::swap(rows[0], rows[rowOf(pid)]);
    ASSERT_TRUE(rightClick(pid));
    int status = 0;
    ASSERT_TRUE(c.waitEnd(kPatienceMs, &status)) << "the child is still running";
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
    EXPECT_FALSE(c.waitEnd(500, nullptr)); // a while in which it must not end
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
    c.kill(SIGKILL);
    ASSERT_TRUE(rightClick(pid)) << "the row stays until the next cycle";
    refreshNow();
    EXPECT_EQ(rowOf(pid), -1);
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
        // A while in which it must not end.
        EXPECT_FALSE(bystander.waitEnd(500, nullptr)) << "an unrelated process was terminated";
        // Once the list shows the newcomer, its own row terminates it.
        refreshNow();
        ASSERT_TRUE(rightClick(std::to_string(pid)));
        int status = 0;
        EXPECT_TRUE(bystander.waitEnd(kPatienceMs, &status));
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
    // Rows the cycle never makes, put there to see what their click does:
    // PID 0, and one past the PID cell's range that shows as 0.
    std::vector<num>& rows = orvelFrameAccess::rows(frame);
    for (num pid : {0LL, 1LL << 32}) {
        rows.insert(rows.begin(), pid);
        list->SetItemCount(long(rows.size()));
        ASSERT_TRUE(rightClick("0")) << pid;
        EXPECT_EQ(termsReceived.load(), 0) << pid << " reached our process group";
        rows.erase(rows.begin());
        list->SetItemCount(long(rows.size()));
    }
    sigaction(SIGTERM, &old, nullptr);
    refreshNow(); // the window copes with rows it did not make
    EXPECT_GT(list->GetItemCount(), 0);
}

// The keyboard alone, on a desktop: a window manager gives the focus.
class KeyTest : public RightClickTest {
protected:
    void SetUp() override {
        RightClickTest::SetUp();
        list->Bind(wxEVT_KEY_UP, [this](wxKeyEvent& e) {
            ++keyUps;
            e.Skip();
        });
        // Active: the list has had the window's focus-in, not just the promise.
        ASSERT_TRUE(waitFor([this] { return frame->IsActive() && list->HasFocus(); }, 5000));
    }
    long focusedRow() { return list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED); }
    // Presses the key and waits until the list has seen it released.
    bool press(int key, int modifiers = wxMOD_NONE) {
        const int before = keyUps;
        wxUIActionSimulator().Char(key, modifiers);
        return waitFor([&] { return keyUps > before; }, 2000);
    }
    int keyUps = 0;
};

TEST_F(KeyTest, ArrowsFromStartUpThenMenuKeyAndShiftF10TerminateTheFocusedRowsChild) {
    Child byMenu, byShiftF10;
    ASSERT_TRUE(byMenu.ok() && byShiftF10.ok());
    refreshNow(); // the first rows come after the keyboard focus
    ASSERT_TRUE(press(WXK_DOWN) && press(WXK_DOWN));
    EXPECT_EQ(focusedRow(), 1);
    for (Child* c : {&byMenu, &byShiftF10}) {
        const long row = rowOf(std::to_string(c->pid()));
        ASSERT_GE(row, 0);
        list->SetItemState(row, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
        ASSERT_EQ(focusedRow(), row) << "the key would end another process";
        ASSERT_TRUE(c == &byMenu ? press(WXK_MENU) : press(WXK_F10, wxMOD_SHIFT));
        EXPECT_TRUE(c->waitEnd(2000, nullptr)) << (c == &byMenu ? "Menu" : "Shift+F10");
    }
    // No row has the focus: nothing happens.
    list->SetItemState(focusedRow(), 0, wxLIST_STATE_FOCUSED);
    const int clicks = rightClicks;
    ASSERT_TRUE(press(WXK_MENU) && press(WXK_F10, wxMOD_SHIFT));
    EXPECT_EQ(rightClicks, clicks);
    // Ctrl+Page Down turns to the next page, from a focused row too.
    list->SetItemState(0, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    wxUIActionSimulator().Char(WXK_PAGEDOWN, wxMOD_CONTROL);
    EXPECT_TRUE(
        waitFor([this] { return orvelFrameAccess::notebook(frame)->GetSelection(); }, 2000));
}

TEST_F(KeyTest, TypingFindsARowByItsNameOrPidAndTheRowKeepsItsFocus) {
    const char* const names[] = {"qzfind-two", "qzfind-one", "qz\xed\x95\x9c\xea\xb8\x80"};
    std::vector<std::unique_ptr<Child>> kids;
    for (const char* name : names) {
        ChildOptions o;
        o.name = name;
        kids.emplace_back(new Child(o));
    }
    refreshNow();
    // Their rows on top in that order, the focus on the last row: a search wraps.
    std::vector<num>& rows = orvelFrameAccess::rows(frame);
    for (int i = 2; i >= 0; --i) {
        auto at = std::find(rows.begin(), rows.end(), kids[i]->pid());
        ASSERT_NE(at, rows.end());
        std::rotate(rows.begin(), at, at + 1);
    }
    auto found = [&](long row) {
        return focusedRow() == row && list->GetSelectedItemCount() == 1 &&
               list->GetItemState(row, wxLIST_STATE_SELECTED);
    };
    // Typed anew from row from: a key held up a second (a loaded machine)
    // begins a new text, so a text is typed up to three times.
    auto typed = [&](const std::string& text, long from, long row) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            list->SetItemState(from, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
            const int before = keyUps;
            if (!press(WXK_ESCAPE))
                continue;
            wxUIActionSimulator().Text(text.c_str());
            if (waitFor([&] { return keyUps > before + int(text.size()); }, 5000) && found(row))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(typed("qzfind-one", list->GetItemCount() - 1, 1)) << focusedRow();
    EXPECT_TRUE(typed("qq", 1, 2)) << "the next row with the same letter";
    ASSERT_TRUE(press(WXK_HOME)); // Korean an input method composes, handed on as GTK does
    list->GetMainWindowOfCompositeControl()->GTKDoInsertTextFromIM(names[2]);
    EXPECT_TRUE(found(2)) << focusedRow();
    // From the row above: a sibling PID as long cannot start with it; others
    // could. A PID that starts with a doubled digit cannot be typed whole: the
    // second moves on to the next row starting with the first.
    const std::string pid = std::to_string(kids[1]->pid());
    if (pid[0] != pid[1]) {
        EXPECT_TRUE(typed(pid, 0, 1)) << focusedRow();
    }
    // No match moves nothing; new rows on top, and the focus stays on its process.
    EXPECT_TRUE(typed("qzfind-twx", 1, 0)) << focusedRow();
    Child newcomer;
    refreshNow();
    EXPECT_TRUE(found(rowOf(std::to_string(kids[0]->pid()))) && focusedRow() > 0);
}

} // namespace
