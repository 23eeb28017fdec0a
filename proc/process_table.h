// The process table: one record per live process, merged by PID from every
// scan of /proc, and what the window asks of it.
#ifndef ORVEL_PROCESS_TABLE_H
#define ORVEL_PROCESS_TABLE_H

#include "procstat.h"

#include <cstddef>
#include <deque>
#include <unordered_map>
#include <vector>

// Records stay where they are while the table grows: a vector would copy
// every record, and hold the old and the new copy at once, each time
// it doubles in a storm of new processes.
typedef std::deque<PROC_t> procVector;
typedef procVector::iterator procVectItor;

// Ends a record's interval: its share of the interval's ticks, and the
// counts the next interval starts from. It is no longer marked as seen.
void close_interval(PROC_t& r, unsigned long long interval_ticks);

// Raises the soft limit on open files to the hard one: the table holds a
// descriptor per process.
void raise_open_file_limit();

// How many stat files the table may hold: each pins about 4.3 KB of kernel
// memory (the page its text is made in, and its file objects) for as long as
// it stays open. 96 MB, some 23,000 processes' worth; past it processes hold
// their directory alone, which pins no page.
constexpr size_t kHeldStatFiles = (size_t(96) << 20) / (4096 + 256);
// How many processes a scan may open files to hold for: the kernel's pages
// for them are the costly part of holding, so a storm's are spread over a
// few scans and none of them costs much more than reading every file anew.
constexpr size_t kHoldsPerScan = 2048;

class ProcessTable {
public:
    explicit ProcessTable(size_t heldStatFiles = kHeldStatFiles,
                          size_t holdsPerScan = kHoldsPerScan)
        : statBudget_(heldStatFiles), holdsPerScan_(holdsPerScan) {}
    ~ProcessTable();
    ProcessTable(const ProcessTable&) = delete;
    ProcessTable& operator=(const ProcessTable&) = delete;

    // Reads the process of the /proc entry name, the decimal text of pid,
    // into its record and marks it as seen; a PID new to the table is read
    // into scratch first and added. A PID now held by another process than
    // the record's starts from zero counts. Nothing changes when the process
    // is gone.
    //
    // A process that has lived through one scan keeps its stat file open
    // from then on, read again in place, which saves its lookup, open and
    // close; it stops answering once its process has ended, even if the PID
    // is another's now. Its directory stays open too, for the owner without
    // a lookup, while the limit on open files leaves room for it; else the
    // owner is looked up by name. Past the budget of held stat files a
    // process holds its directory alone and opens its stat file in it each
    // time, which binds the file to the process as well. A process in its
    // first scan, any past the limit on open files, and any past the holds
    // a scan may open, is read by opening and closing the file by name, and
    // told apart by its start time: a burst of short-lived processes holds
    // nothing.
    void merge(num pid, const char* name, PROC_t* scratch);
    // How many processes the scan about to be merged holds: processes hold
    // a directory beside their stat file only when every process has room
    // for its files, so that none opens a directory another must then give
    // up. A new scan may open holds anew.
    void expect(size_t processes);

    PROC_t* find(num pid);
    const PROC_t* find(num pid) const;
    // Whether this scan saw pid and its interval is still open.
    bool seen(num pid) const;
    // Drops every record the last scan did not see.
    void sweep();
    // The records still marked as seen (those without a row yet), the
    // busiest first.
    std::vector<PROC_t*> orderNewRows();
    // Whether the process holding pid now is the very one the table lists:
    // the same PID, started at the same tick.
    bool holdsProcessNow(num pid) const;

    const procVector& records() const { return ps_; }
    // How many files the table holds open: two per process it holds while
    // there is room for two.
    size_t heldFiles() const { return heldStats_ + heldDirs_; }

private:
    // A process's stat file and its directory, or -1s, and the hash of the
    // line its record was last parsed from.
    struct Held {
        int stat = -1;
        int dir = -1;
        size_t text_hash = 0;
    };
    bool readInto(const char* name, Held& h, PROC_t* rec, bool lived, bool& another);
    void release(Held& h);
    size_t roomToHold() const;
    bool giveUpADirectory();

    procVector ps_;
    std::vector<Held> held_files_;          // those of ps_[i]
    std::unordered_map<num, size_t> index_; // pid -> position in ps_
    size_t statBudget_;
    size_t holdsPerScan_;
    size_t holdsThisScan_ = 0;
    size_t heldStats_ = 0;
    size_t heldDirs_ = 0;
    size_t dirCursor_ = 0; // where the search for a directory to give up goes on
    bool twoEach_ = true;
};

#endif
