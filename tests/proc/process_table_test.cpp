// The process table on real children: merged by PID, swept of what a scan
// did not see, new rows busiest first, and the right-click's identity check.
#include "children.h"
#include "process_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class ProcessTableTest : public ::testing::Test {
protected:
    void merge(pid_t pid) { table.merge(std::to_string(pid).c_str(), scratch.get()); }
    // What the window does for every record once a cycle is over.
    void closeAll() {
        for (const PROC_t& r : table.records())
            close_interval(*table.find(r.pid), 100);
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

    // Another process under a listed PID, to the table: another start tick.
    closeAll();
    r->start_time += 1;
    r->utime_sav = 12345;
    r->cpu_usage = 50;
    merge(a.pid());
    EXPECT_EQ(r->utime_sav, 0);
    EXPECT_EQ(r->cpu_usage, 0);
    EXPECT_FALSE(table.seen(b.pid())) << "closed and not merged since";
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
