// The process table: one record per live process, merged by PID from every
// scan of /proc, and what the window asks of it.
#ifndef ORVEL_PROCESS_TABLE_H
#define ORVEL_PROCESS_TABLE_H

#include "procstat.h"

#include <cstddef>
#include <unordered_map>
#include <vector>

typedef std::vector<PROC_t> procVector;
typedef procVector::iterator procVectItor;

// Ends a record's interval: its share of the interval's ticks, and the
// counts the next interval starts from. It is no longer marked as seen.
void close_interval(PROC_t& r, unsigned long long interval_ticks);

class ProcessTable {
public:
    // Reads the process of the /proc entry name into its record and marks
    // it as seen; a PID new to the table is read into scratch first and
    // added. A PID now held by a process that started at another tick starts
    // from zero counts. Nothing changes when the process is gone.
    void merge(const char* name, PROC_t* scratch);

    PROC_t* find(num pid);
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

private:
    procVector ps_;
    std::unordered_map<num, size_t> index_; // pid -> position in ps_
};

#endif
