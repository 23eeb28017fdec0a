// The refresh cycle on the real /proc with real children: the list's rows,
// their cells, the table and when the summary texts are written.
#include "children.h"
#include "frame_access.h"
#include "shown.h"
#include "toolkit.h"
#include "wait_for.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <pwd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <unistd.h>
#include <vector>

namespace {

class RefreshTest : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new orvelFrame(nullptr);
        // Cycles are run by the tests alone.
        orvelFrameAccess::timer(frame).Stop();
        list = orvelFrameAccess::list(frame);
    }
    void TearDown() override {
        frame->Destroy();
        pumpEvents(20);
    }
    long rowOf(pid_t pid) {
        for (long row = 0; row < list->GetItemCount(); ++row)
            if (cellText(list, row, idPID) == std::to_string(pid))
                return row;
        return -1;
    }
    const PROC_t* recordOf(pid_t pid) {
        for (const PROC_t& r : orvelFrameAccess::table(frame))
            if (r.pid == pid)
                return &r;
        return nullptr;
    }
    std::set<std::string> rowPids() {
        std::set<std::string> s;
        for (long row = 0; row < list->GetItemCount(); ++row)
            s.insert(cellText(list, row, idPID));
        return s;
    }
    int statusCount() {
        std::string s = utf8(orvelFrameAccess::status(frame)->GetStatusText(0));
        return atoi(s.c_str() + s.find(' ') + 1);
    }
    orvelFrame* frame = nullptr;
    wxListCtrl* list = nullptr;
};

TEST_F(RefreshTest, FirstFillIsInDescendingOrderOfLifetimeTicks) {
    ChildOptions o;
    o.name = "orvel-burner";
    o.busy = true;
    Child busy(o);
    ASSERT_TRUE(busy.ok());
    busy.burnUntil(60);
    runCycle(frame);
    ASSERT_GT(list->GetItemCount(), 2);
    std::map<std::string, long long> lifetime;
    for (const PROC_t& r : orvelFrameAccess::table(frame))
        lifetime[std::to_string(r.pid)] = r.utime + r.stimev;
    for (long row = 1; row < list->GetItemCount(); ++row)
        EXPECT_GE(lifetime[cellText(list, row - 1, idPID)], lifetime[cellText(list, row, idPID)])
            << "rows " << row - 1 << " and " << row;
    long row = rowOf(busy.pid());
    ASSERT_GE(row, 0);
    EXPECT_EQ(cellText(list, row, idCMD), "(orvel-burner)");
    // Only processes with more CPU time than the child stand above it.
    for (long above = 0; above < row; ++above)
        EXPECT_GE(lifetime[cellText(list, above, idPID)], lifetime[std::to_string(busy.pid())]);
}

TEST_F(RefreshTest, CellsOfBusyAndSleepingChildren) {
    ChildOptions b;
    b.name = "orvel-busy";
    b.busy = true;
    Child busy(b);
    ChildOptions s;
    s.name = "orvel-sleep";
    Child sleeper(s);
    ASSERT_TRUE(busy.ok() && sleeper.ok());
    ASSERT_TRUE(waitFor([&] { return procState(sleeper.pid()) == 'S'; }, kPatienceMs))
        << "the sleeper never settled into pause()";
    runCycle(frame);
    const PROC_t* rec = recordOf(busy.pid());
    ASSERT_NE(rec, nullptr);
    long long before = rec->utime + rec->stimev;
    usleep(600 * 1000);
    runCycle(frame);
    rec = recordOf(busy.pid());
    ASSERT_NE(rec, nullptr);
    long long delta = rec->utime + rec->stimev - before;
    int total = orvelFrameAccess::cpus(frame)->total_sav;
    ASSERT_GT(total, 0);
    EXPECT_GT(delta, 0);
    char expect[32];
    snprintf(expect, sizeof expect, "%.1f",
             static_cast<double>(static_cast<float>(delta * 100.0 / total)));
    long row = rowOf(busy.pid());
    ASSERT_GE(row, 0);
    EXPECT_EQ(cellText(list, row, idCPU), expect);

    long srow = rowOf(sleeper.pid());
    ASSERT_GE(srow, 0);
    EXPECT_EQ(cellText(list, srow, idCMD), "(orvel-sleep)");
    EXPECT_EQ(cellText(list, srow, idCPU), "0.0");
    // The stat file's rss is the kernel's per-CPU batched count; VmRSS is the
    // exact sum, so they may differ by a batch of pages per CPU.
    long long cellKb = atoll(cellText(list, srow, idMEM).c_str());
    EXPECT_EQ(cellText(list, srow, idMEM), std::to_string(cellKb) + "KB");
    long long slack = 2 * 32 * sysconf(_SC_NPROCESSORS_ONLN) * (sysconf(_SC_PAGESIZE) / 1024);
    EXPECT_NEAR(cellKb, vmRssKb(sleeper.pid()), slack);
    EXPECT_EQ(cellKb % (sysconf(_SC_PAGESIZE) / 1024), 0) << "whole pages";
    EXPECT_GT(cellKb, 0);
    EXPECT_EQ(cellText(list, srow, idUSR), getpwuid(geteuid())->pw_name);
    EXPECT_EQ(cellText(list, srow, idTME), " 0h:0m");
}

TEST_F(RefreshTest, OwnerOfDaemonsAndAgentsIsTheirEffectiveUser) {
    ChildOptions a;
    a.name = "orvel-agent";
    a.nonDumpable = true;
    Child agent(a);
    ASSERT_TRUE(agent.ok());
    std::unique_ptr<Child> daemon;
    if (isRoot()) {
        ASSERT_EQ(getpwuid(54321), nullptr) << "uid 54321 must have no account here";
        ChildOptions d;
        d.name = "orvel-daemon";
        d.uid = 54321;
        daemon.reset(new Child(d));
        ASSERT_TRUE(daemon->ok());
    }
    runCycle(frame);
    long row = rowOf(agent.pid());
    ASSERT_GE(row, 0);
    EXPECT_EQ(cellText(list, row, idUSR), getpwuid(geteuid())->pw_name);
    if (!daemon)
        GTEST_SKIP() << "needs root to run a child that switches to uid 54321";
    row = rowOf(daemon->pid());
    ASSERT_GE(row, 0);
    EXPECT_EQ(cellText(list, row, idUSR), "54321") << "a uid without an account shows as a number";
}

TEST_F(RefreshTest, NewChildOnTopAndEndedChildLosesItsRow) {
    runCycle(frame);
    std::set<std::string> before = rowPids();
    const long state = wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED;
    list->SetItemState(rowOf(getpid()), state, state);
    ChildOptions o;
    o.name = "orvel-late";
    Child c(o);
    ASSERT_TRUE(c.ok());
    runCycle(frame);
    long row = rowOf(c.pid());
    ASSERT_GE(row, 0);
    // Only other newcomers may stand above it.
    for (long above = 0; above < row; ++above)
        EXPECT_EQ(before.count(cellText(list, above, idPID)), 0u) << "row " << above;
    // Selection and focus went down with their process.
    EXPECT_EQ(list->GetSelectedItemCount(), 1);
    EXPECT_EQ(list->GetItemState(rowOf(getpid()), state), state);
    c.kill(SIGKILL);
    runCycle(frame);
    EXPECT_EQ(rowOf(c.pid()), -1);
    EXPECT_EQ(recordOf(c.pid()), nullptr) << "the table keeps only live processes";
}

TEST_F(RefreshTest, RowsAreFoundByTheWholePid) {
    // PIDs 2 and 23, 3 and 33: one is the other's first digit.
    OwnProcessView own;
    if (!own.ok())
        GTEST_SKIP() << own.why();
    auto childWithPid = [](pid_t want) {
        ChildOptions o;
        o.wantPid = want;
        return std::unique_ptr<Child>(new Child(o));
    };
    std::unique_ptr<Child> shortA = childWithPid(2), shortB = childWithPid(3),
                           longA = childWithPid(23), longB = childWithPid(33);
    ASSERT_TRUE(shortA->ok() && longA->ok() && shortB->ok() && longB->ok());
    runCycle(frame);
    ASSERT_GE(rowOf(2), 0);
    ASSERT_GE(rowOf(23), 0);
    pid_t goneShort = 2, keptLong = 23, goneLong = 33, keptShort = 3;
    shortA->kill(SIGKILL);
    longB->kill(SIGKILL);
    runCycle(frame);
    EXPECT_EQ(rowOf(goneShort), -1);
    EXPECT_GE(rowOf(keptLong), 0);
    EXPECT_EQ(rowOf(goneLong), -1);
    EXPECT_GE(rowOf(keptShort), 0);
    EXPECT_EQ(rowPids().size(), static_cast<size_t>(list->GetItemCount())) << "one row per PID";
}

TEST_F(RefreshTest, ReusedPidStartsAsANewProcess) {
    // In a namespace of its own nobody else takes the PID between the two.
    OwnProcessView own;
    if (!own.ok())
        GTEST_SKIP() << own.why();
    const pid_t x = 300;
    ChildOptions o;
    o.name = "orvel-first";
    o.busy = true;
    o.wantPid = x;
    std::unique_ptr<Child> first(new Child(o));
    ASSERT_TRUE(first->ok());
    first->burnUntil(40);
    runCycle(frame);
    long row = rowOf(x);
    ASSERT_GE(row, 0);
    first->kill(SIGKILL);
    o.name = "orvel-second";
    o.busy = false;
    Child second(o);
    ASSERT_TRUE(second.ok());
    std::set<std::string> listed = rowPids(), above;
    for (long r = 0; r < row; ++r)
        above.insert(cellText(list, r, idPID));
    runCycle(frame);
    // The newcomer takes over the row, with nothing of its predecessor's
    // ticks: only newcomers of this cycle move in above it.
    row = rowOf(x);
    ASSERT_GE(row, 0);
    for (long r = 0; r < row; ++r) {
        std::string pid = cellText(list, r, idPID);
        EXPECT_TRUE(above.count(pid) || !listed.count(pid)) << pid << " moved above";
    }
    EXPECT_EQ(cellText(list, row, idCMD), "(orvel-second)");
    EXPECT_EQ(cellText(list, row, idCPU), "0.0");
    const PROC_t* rec = recordOf(x);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->utime_sav, rec->utime);
}

TEST_F(RefreshTest, NewProcessDoesNotInheritAnotherProcessesTicks) {
    ChildOptions b;
    b.name = "orvel-hog";
    b.busy = true;
    Child hog(b);
    ASSERT_TRUE(hog.ok());
    hog.burnUntil(50);
    runCycle(frame);
    runCycle(frame); // the scratch record last carried the hog's saved ticks
    ChildOptions s;
    s.name = "orvel-fresh";
    Child fresh(s);
    ASSERT_TRUE(fresh.ok());
    usleep(50 * 1000);
    runCycle(frame);
    long row = rowOf(fresh.pid());
    ASSERT_GE(row, 0);
    EXPECT_EQ(cellText(list, row, idCPU), "0.0");
}

// In a PID namespace of the test's own every process is one the test made:
// the status counts what the scan saw, and the table and the list hold the
// live processes alone, through churn.
TEST_F(RefreshTest, StatusCountAndTableAreTheLiveProcesses) {
    OwnProcessView own;
    if (!own.ok())
        GTEST_SKIP() << own.why();
    auto made = [](int n) {
        std::vector<std::unique_ptr<Child>> batch;
        for (int i = 0; i < n; ++i) {
            ChildOptions o;
            o.name = "orvel-churn";
            batch.emplace_back(new Child(o));
            EXPECT_TRUE(batch.back()->ok());
        }
        return batch;
    };
    auto expectLive = [this](size_t live, const char* when) {
        runCycle(frame);
        EXPECT_EQ(statusCount(), static_cast<int>(live)) << when;
        EXPECT_EQ(orvelFrameAccess::table(frame).size(), live) << when;
        EXPECT_EQ(list->GetItemCount(), static_cast<long>(live)) << when;
    };
    std::vector<std::unique_ptr<Child>> kept = made(3);
    expectLive(1 + kept.size(), "at first"); // the namespace's first process too
    for (int round = 0; round < 10; ++round) {
        std::vector<std::unique_ptr<Child>> batch = made(20);
        expectLive(1 + kept.size() + batch.size(), "with a batch");
        for (auto& c : batch)
            c->kill(SIGKILL);
    }
    expectLive(1 + kept.size(), "after the churn");
}

// One process starts and one ends, the count unchanged: of the list, the
// rows whose texts changed are drawn again, all of them, and no other. What
// GDK is left to draw is taken off it once the cycle and the idle handlers
// are done, before anything else can add to it.
TEST_F(RefreshTest, AChurningCycleDrawsTheChangedRowsAlone) {
    OwnProcessView own;
    if (!own.ok())
        GTEST_SKIP() << own.why();
    std::vector<Child> kids(8);
    wxWindow* rows = list->GetMainWindowOfCompositeControl();
    runCycle(frame);
    ASSERT_TRUE(showUntilPainted(frame, rows, kPatienceMs));
    auto toDraw = [rows] {
        wxTheApp->ProcessIdle();
        wxRegion r;
        GtkWidget* w = static_cast<GtkWidget*>(rows->GetHandle());
        if (cairo_region_t* area = gdk_window_get_update_area(gtk_widget_get_window(w))) {
            cairo_rectangle_int_t c;
            for (int i = 0; i < cairo_region_num_rectangles(area); ++i)
                cairo_region_get_rectangle(area, i, &c), r.Union(c.x, c.y, c.width, c.height);
            cairo_region_destroy(area);
        }
        return r;
    };
    toDraw();
    std::vector<std::string> problems;
    const Shown before = readWindow(frame, problems);
    for (Child& c : kids) // one in the middle ends, a new one comes on top
        if (std::to_string(c.shownPid()) == before.rows[3][idPID])
            c.kill(SIGKILL);
    Child newcomer;
    runCycle(frame);
    const wxRegion drawn = toDraw();
    const Shown after = readWindow(frame, problems);
    ASSERT_EQ(after.rows.size(), before.rows.size());
    for (size_t row = 0; row < after.rows.size(); ++row) {
        wxRect r; // less a pixel at each edge, where the list rounds otherwise
        ASSERT_TRUE(list->GetItemRect(long(row), r));
        r.SetPosition(rows->ScreenToClient(list->ClientToScreen(r.GetPosition())));
        r.Intersect(wxRect(rows->GetClientSize())).Deflate(0, 1);
        const bool changed = after.rows[row] != before.rows[row];
        EXPECT_EQ(drawn.Contains(r), changed ? wxInRegion : wxOutRegion)
            << "row " << row << (changed ? " changed" : " did not change");
    }
}

TEST_F(RefreshTest, SummaryTextsAreCurrentWheneverTheirPageShows) {
    auto expectCurrent = [this](const char* when) {
        EXPECT_EQ(utf8(orvelFrameAccess::cpuText(frame)->GetLabel()),
                  utf8(cpu_text(*orvelFrameAccess::cpus(frame))))
            << when;
        EXPECT_EQ(utf8(orvelFrameAccess::memText(frame)->GetLabel()),
                  utf8(mem_text(*orvelFrameAccess::mems(frame))))
            << when;
    };
    // Samples taken while the process list shows; the timer stays stopped,
    // as after Pause, so nothing but the page change can bring them up.
    runCycle(frame);
    pumpEvents(300);
    runCycle(frame);
    showPage(frame, performancePage);
    expectCurrent("on showing the page");
    EXPECT_NE(utf8(orvelFrameAccess::cpuText(frame)->GetLabel()), "Label");
    pumpEvents(300);
    runCycle(frame);
    expectCurrent("after a cycle with the page shown");
    for (int page : {processPage, infoPage}) {
        showPage(frame, page);
        pumpEvents(300);
        runCycle(frame);
        showPage(frame, performancePage);
        expectCurrent(page == processPage ? "back from the process list"
                                          : "back from the about page");
    }
}

TEST_F(RefreshTest, TwoCyclesInOneTickShowNoGarbage) {
    runCycle(frame);
    for (int i = 0; i < 5; ++i)
        runCycle(frame); // most of these fall within one clock tick
    showPage(frame, performancePage);
    std::string cpu = utf8(orvelFrameAccess::cpuText(frame)->GetLabel());
    EXPECT_FALSE(hasNanOrInf(cpu)) << cpu;
    EXPECT_FALSE(hasNanOrInf(utf8(orvelFrameAccess::status(frame)->GetStatusText(0))));
    EXPECT_FALSE(hasNanOrInf(utf8(orvelFrameAccess::memText(frame)->GetLabel())));
    for (long row = 0; row < list->GetItemCount(); ++row) {
        std::string c = cellText(list, row, idCPU);
        ASSERT_FALSE(hasNanOrInf(c)) << "row " << row;
        ASSERT_NE(c[0], '-') << "row " << row;
    }
}

// Rows of ended processes above, in and below the window go; the others
// keep their order and their selection, the focus goes to the next row, the
// list keeps its scroll position, and no repaint rectangle of negative
// height reaches GDK (pixman reports one on standard error).
TEST_F(RefreshTest, EndedRowsGoAboveInAndBelowTheWindow) {
    // Where it can, the test lists its own children alone: others' processes
    // would stand between theirs.
    OwnProcessView own;
    if (!own.ok())
        std::cout << "the list holds every process of the machine: " << own.why() << "\n";
    std::map<std::string, std::unique_ptr<Child>> kids; // by the PID the list shows
    for (int i = 0; i < 60; ++i) {
        std::unique_ptr<Child> c(new Child());
        ASSERT_TRUE(c->ok());
        kids[std::to_string(c->shownPid())] = std::move(c);
    }
    frame->Show();
    runCycle(frame);
    pumpEvents(200);
    std::vector<long> kidRows;
    for (long row = 0; row < list->GetItemCount(); ++row)
        if (kids.count(cellText(list, row, idPID)))
            kidRows.push_back(row);
    ASSERT_EQ(kidRows.size(), kids.size());
    const long page = list->GetCountPerPage();
    list->EnsureVisible(kidRows[3] + page);
    pumpEvents(100);
    const long top = list->GetTopItem();
    std::vector<long> above, in, below;
    for (long row : kidRows)
        (row < top ? above : row < top + page ? in : below).push_back(row);
    ASSERT_TRUE(above.size() >= 3 && in.size() >= 3 && below.size() >= 3)
        << above.size() << " " << in.size() << " " << below.size();
    // Two of each end, the focused row and a selected one among them; one of
    // each stays selected.
    const std::set<long> ending = {above[0], above[1], in[0], in[1], below[0], below[1]};
    const std::set<long> picked = {above[2], in[0], in[2], below[2]};
    for (long row : picked)
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    list->SetItemState(in[1], wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    std::vector<std::string> expected;
    std::set<std::string> selected;
    for (long row = 0; row < list->GetItemCount(); ++row) {
        std::string pid = cellText(list, row, idPID);
        if (ending.count(row))
            kids[pid]->kill(SIGKILL);
        else if (pidInUse(atoi(pid.c_str())))
            expected.push_back(pid);
        if (picked.count(row))
            selected.insert(pid);
    }
    const std::string focus = cellText(list, in[1] + 1, idPID);

    testing::internal::CaptureStderr();
    runCycle(frame);
    pumpEvents(200);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("Invalid rectangle"), std::string::npos) << said;
    EXPECT_EQ(list->GetTopItem(), top);
    std::vector<std::string> shown;
    for (long row = 0; row < list->GetItemCount(); ++row) {
        std::string pid = cellText(list, row, idPID);
        if (std::find(expected.begin(), expected.end(), pid) == expected.end())
            continue; // a process that came or went meanwhile
        shown.push_back(pid);
        EXPECT_EQ(list->GetItemState(row, wxLIST_STATE_SELECTED) != 0, selected.count(pid) > 0)
            << "row " << row;
    }
    EXPECT_EQ(shown, expected);
    long focused = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
    ASSERT_GE(focused, 0);
    EXPECT_EQ(cellText(list, focused, idPID), focus) << "the next row takes the focus";
}

} // namespace
