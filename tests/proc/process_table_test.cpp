// The process table on real children: merged by PID, swept of what a scan
// did not see, new rows busiest first, and the right-click's identity check.
#include "children.h"
#include "process_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

class ProcessTableTest : public ::testing::Test {
protected:
    void merge(pid_t pid, ProcessTable& t) {
        t.merge(pid, std::to_string(pid).c_str(), scratch.get());
    }
    void merge(pid_t pid) { merge(pid, table); }
    // What the window does for every record once a cycle is over.
    void closeAll(ProcessTable& t) {
        for (const PROC_t& r : t.records())
            close_interval(*t.find(r.pid), 100);
    }
    void closeAll() { closeAll(table); }
    // Two scans: a process holds files once it has lived through one.
    void scanTwice(std::initializer_list<pid_t> pids, ProcessTable& t) {
        for (int scan = 0; scan < 2; ++scan, closeAll(t))
            for (pid_t pid : pids)
                merge(pid, t);
    }
    void scanTwice(std::initializer_list<pid_t> pids) { scanTwice(pids, table); }
    // Runs body in a child whose limit on open files leaves the table room
    // for files beside the 256 it leaves to the rest of the program.
    std::string withRoomFor(int files, const std::function<std::string()>& body) {
        ChildOptions o;
        o.body = [&]() -> std::string {
            struct rlimit lim;
            getrlimit(RLIMIT_NOFILE, &lim);
            lim.rlim_cur = 256 + files;
            if (openFiles() > 200 || setrlimit(RLIMIT_NOFILE, &lim) != 0)
                return "cannot lower the limit";
            return body();
        };
        Child reader(o);
        return reader.report();
    }
    std::string heldFigures() {
        return std::to_string(table.records().size()) + " records, " +
               std::to_string(table.heldFiles()) + " files held";
    }
    ProcessTable table;
    std::unique_ptr<PROC_t> scratch{new PROC_t()};
};

TEST_F(ProcessTableTest, MergesByPidAndStartsNewcomersFromZero) {
    ChildOptions o;
    o.name = "orvel-merged";
    Child a(o), b;
    ASSERT_TRUE(a.ok() && b.ok());
    scratch->utime_sav = 999; // what the last newcomer left there
    merge(a.pid());
    merge(b.pid());
    merge(a.pid());
    ASSERT_EQ(table.records().size(), 2u) << "one record per PID";
    PROC_t* r = table.find(a.pid());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->pid, a.pid());
    EXPECT_STREQ(r->tcomm, "(orvel-merged)");
    EXPECT_EQ(r->utime_sav, 0) << "a newcomer does not inherit the scratch record's ticks";
    EXPECT_TRUE(table.seen(a.pid()));
    EXPECT_EQ(table.find(b.pid())->pid, b.pid());

    closeAll();
    merge(a.pid());
    EXPECT_FALSE(table.seen(b.pid())) << "closed and not merged since";
}

TEST_F(ProcessTableTest, TheHeldFileNotTheStartTimeTellsTheProcess) {
    // Within the budget of stat files, and past it, where the directory
    // alone is held.
    ProcessTable pastBudget(0);
    for (ProcessTable* t : {&table, &pastBudget}) {
        SCOPED_TRACE(t == &table ? "stat file held" : "directory held");
        ChildOptions o;
        o.name = "orvel-first";
        Child a(o);
        ASSERT_TRUE(a.ok());
        pid_t pid = a.pid();
        scanTwice({pid}, *t);
        ASSERT_EQ(t->heldFiles(), t == &table ? 2u : 1u);
        PROC_t* r = t->find(pid);
        r->start_time += 1;
        r->utime_sav = 12345;
        merge(pid, *t);
        EXPECT_EQ(r->utime_sav, 12345) << "its held file still answers: the same process";
        if (!isRoot())
            GTEST_SKIP() << "needs root to give the PID to another process";
        closeAll(*t);
        a.kill(SIGKILL);
        o.name = "orvel-second";
        o.wantPid = pid;
        Child b(o);
        if (!b.ok())
            GTEST_SKIP() << "another process took PID " << pid << " first";
        r->utime_sav = 12345;
        merge(pid, *t);
        EXPECT_STREQ(r->tcomm, "(orvel-second)");
        EXPECT_EQ(r->utime_sav, 0) << "another process under the PID starts from zero";
        EXPECT_EQ(t->heldFiles(), 0u) << "in its first scan it holds nothing";
    }
}

TEST_F(ProcessTableTest, HeldFilesCloseWithTheirRecords) {
    Child a, b;
    ASSERT_TRUE(a.ok() && b.ok());
    unsigned long long start;
    ASSERT_TRUE(read_start_time(getpid(), &start)); // the reader's own /proc is open
    const int before = openFiles();
    scanTwice({a.pid(), b.pid()});
    EXPECT_EQ(table.heldFiles(), 4u) << "a stat file and a directory per process";
    EXPECT_EQ(openFiles(), before + 4);
    a.kill(SIGKILL);
    merge(a.pid()); // gone: its files stay until the sweep
    merge(b.pid());
    table.sweep();
    EXPECT_EQ(table.heldFiles(), 2u);
    EXPECT_EQ(openFiles(), before + 2);
}

TEST_F(ProcessTableTest, PastTheOpenFileLimitProcessesAreReadAsBefore) {
    Child a, b, c;
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    std::string report = withRoomFor(2, [&]() -> std::string {
        scanTwice({a.pid(), b.pid(), c.pid()});
        std::string seen = heldFigures();
        for (pid_t pid : {a.pid(), b.pid(), c.pid()})
            if (!table.find(pid) || table.find(pid)->pid != pid)
                seen += ", " + std::to_string(pid) + " not read";
        // Read the old way, a process is told by its start time.
        PROC_t* r = table.find(c.pid());
        r->start_time += 1;
        r->utime_sav = 12345;
        merge(c.pid());
        return seen + (r->utime_sav == 0 ? ", new start from zero" : ", new start kept counts");
    });
    EXPECT_EQ(report, "3 records, 2 files held, new start from zero");
    // Short of two files each, every process still holds its stat file.
    report = withRoomFor(3, [&]() -> std::string {
        scanTwice({a.pid(), b.pid(), c.pid()});
        return heldFigures();
    });
    EXPECT_EQ(report, "3 records, 3 files held");
    // Told that three come, none opens a directory it would have to give up.
    report = withRoomFor(4, [&]() -> std::string {
        table.expect(3);
        scanTwice({a.pid(), b.pid(), c.pid()});
        return heldFigures();
    });
    EXPECT_EQ(report, "3 records, 3 files held");
}

TEST_F(ProcessTableTest, FilesAreHeldFromTheSecondScanWithinTheBudgets) {
    Child a, b, c;
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    ProcessTable oneStatFile(1);
    for (pid_t pid : {a.pid(), b.pid()})
        merge(pid, oneStatFile);
    EXPECT_EQ(oneStatFile.heldFiles(), 0u) << "a process in its first scan holds nothing";
    scanTwice({a.pid(), b.pid()}, oneStatFile);
    EXPECT_EQ(oneStatFile.heldFiles(), 3u) << "past the budget the directory alone";

    ProcessTable onePerScan(kHeldStatFiles, 1);
    std::string held;
    for (int scan = 0; scan < 4; ++scan, closeAll(onePerScan)) {
        onePerScan.expect(3);
        for (pid_t pid : {a.pid(), b.pid(), c.pid()})
            merge(pid, onePerScan);
        held += std::to_string(onePerScan.heldFiles()) + " ";
    }
    EXPECT_EQ(held, "0 2 4 6 ") << "a scan opens one process's files to hold, from the second";
}

TEST_F(ProcessTableTest, SweepDropsWhatTheScanDidNotSee) {
    Child kept, unseen, ended;
    ASSERT_TRUE(kept.ok() && unseen.ok() && ended.ok());
    for (pid_t pid : {kept.pid(), unseen.pid(), ended.pid()})
        merge(pid);
    closeAll();
    ended.kill(SIGKILL);
    merge(kept.pid());
    merge(ended.pid()); // gone: nothing changes
    table.sweep();
    ASSERT_EQ(table.records().size(), 1u);
    ASSERT_NE(table.find(kept.pid()), nullptr);
    EXPECT_EQ(table.find(kept.pid())->pid, kept.pid()) << "the index follows the moved record";
    EXPECT_EQ(table.find(unseen.pid()), nullptr);
    EXPECT_EQ(table.find(ended.pid()), nullptr);
}

TEST_F(ProcessTableTest, NewRowsAreOrderedBusiestFirst) {
    ChildOptions o;
    o.busy = true;
    Child listed, idle, busy(o);
    ASSERT_TRUE(listed.ok() && idle.ok() && busy.ok());
    merge(listed.pid());
    closeAll();
    busy.burnUntil(30);
    merge(idle.pid());
    merge(busy.pid());
    std::vector<PROC_t*> fresh = table.orderNewRows();
    ASSERT_EQ(fresh.size(), 2u) << "only the records without a row yet";
    EXPECT_EQ(fresh[0]->pid, busy.pid());
    EXPECT_EQ(fresh[1]->pid, idle.pid());
}

TEST_F(ProcessTableTest, HoldsProcessNowOnlyForTheListedProcess) {
    Child c;
    ASSERT_TRUE(c.ok());
    merge(c.pid());
    EXPECT_TRUE(table.holdsProcessNow(c.pid()));
    EXPECT_FALSE(table.holdsProcessNow(getpid())) << "not listed";
    table.find(c.pid())->start_time += 1;
    EXPECT_FALSE(table.holdsProcessNow(c.pid())) << "the PID was reused";
    table.find(c.pid())->start_time -= 1;
    c.kill(SIGKILL);
    EXPECT_FALSE(table.holdsProcessNow(c.pid())) << "the process ended";
}

} // namespace
