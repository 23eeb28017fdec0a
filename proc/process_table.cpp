// The process table.
#include "process_table.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

void close_interval(PROC_t& r, unsigned long long interval_ticks) {
    r.cpu_usage = cpu_share(r, interval_ticks, r.cpu_usage);
    r.utime_sav = r.utime;
    r.stimev_sav = r.stimev;
    r.flag = false;
}

void ProcessTable::merge(const char* name, PROC_t* scratch) {
    num pid = atoll(name);
    std::unordered_map<num, size_t>::iterator it = index_.find(pid);
    if (it != index_.end()) {
        // Read straight into the table's record: the reader keeps its saved
        // counts, and leaves it untouched when the process is gone.
        PROC_t& r = ps_[it->second];
        unsigned long long start = r.start_time;
        if (!procstat(name, &r))
            return;
        if (r.start_time != start) {
            // A new process under a PID used before starts from zero.
            r.utime_sav = r.stimev_sav = 0;
            r.cpu_usage = 0;
        }
        r.flag = true;
        return;
    }
    scratch->utime_sav = scratch->stimev_sav = 0;
    scratch->cpu_usage = 0;
    if (!procstat(name, scratch))
        return;
    scratch->flag = true;
    index_[pid] = ps_.size();
    ps_.push_back(*scratch);
}

PROC_t* ProcessTable::find(num pid) {
    std::unordered_map<num, size_t>::const_iterator it = index_.find(pid);
    return it == index_.end() ? nullptr : &ps_[it->second];
}

bool ProcessTable::seen(num pid) const {
    std::unordered_map<num, size_t>::const_iterator it = index_.find(pid);
    return it != index_.end() && ps_[it->second].flag;
}

void ProcessTable::sweep() {
    for (size_t i = ps_.size(); i-- > 0;) {
        if (ps_[i].flag)
            continue;
        index_.erase(ps_[i].pid);
        if (i != ps_.size() - 1) {
            ps_[i] = ps_.back();
            index_[ps_[i].pid] = i;
        }
        ps_.pop_back();
    }
}

std::vector<PROC_t*> ProcessTable::orderNewRows() {
    // Sorted as (ticks, position) pairs: a record is 4 KB.
    std::vector<std::pair<num, size_t>> fresh;
    for (size_t i = 0; i < ps_.size(); ++i)
        if (ps_[i].flag)
            fresh.emplace_back(ps_[i].recent_ticks(), i);
    std::sort(fresh.begin(), fresh.end(),
              [](const std::pair<num, size_t>& a, const std::pair<num, size_t>& b) {
                  return a.first > b.first;
              });
    std::vector<PROC_t*> out;
    out.reserve(fresh.size());
    for (const std::pair<num, size_t>& f : fresh)
        out.push_back(&ps_[f.second]);
    return out;
}

bool ProcessTable::holdsProcessNow(num pid) const {
    std::unordered_map<num, size_t>::const_iterator it = index_.find(pid);
    unsigned long long start = 0;
    return it != index_.end() && read_start_time(pid, &start) &&
           start == ps_[it->second].start_time;
}
