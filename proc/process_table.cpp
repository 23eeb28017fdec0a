// The process table.
#include "process_table.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

void close_interval(PROC_t& r, unsigned long long interval_ticks) {
    r.cpu_usage = cpu_share(r, interval_ticks, r.cpu_usage);
    r.utime_sav = r.utime;
    r.stimev_sav = r.stimev;
    r.flag = false;
}

void raise_open_file_limit() {
    struct rlimit lim;
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
}

ProcessTable::~ProcessTable() {
    for (Held& h : held_files_)
        release(h);
}

void ProcessTable::release(Held& h) {
    heldDirs_ -= h.dir >= 0;
    heldStats_ -= h.stat >= 0;
    h.text_hash = 0;
    for (int* fd : {&h.stat, &h.dir})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
}

namespace {

// The files the table may hold: room is left for the toolkit, the display
// connection and the other readers, and for opening a file the old way.
size_t fileBudget() {
    const size_t kSpare = 256;
    struct rlimit lim;
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY)
        return SIZE_MAX;
    return lim.rlim_cur > kSpare ? lim.rlim_cur - kSpare : 0;
}

} // namespace

size_t ProcessTable::roomToHold() const {
    size_t budget = fileBudget();
    return budget > heldFiles() ? budget - heldFiles() : 0;
}

void ProcessTable::expect(size_t processes) {
    // Past the budget each process holds its directory.
    twoEach_ = std::min(processes, statBudget_) + processes <= fileBudget();
    holdsThisScan_ = 0;
    index_.reserve(processes);
}

// Closes one held directory, so that one more process can hold its stat
// file: a held stat file spares far more than a held directory does.
bool ProcessTable::giveUpADirectory() {
    for (size_t n = 0; heldDirs_ > 0 && n < held_files_.size(); ++n, ++dirCursor_) {
        if (dirCursor_ >= held_files_.size())
            dirCursor_ = 0;
        Held& h = held_files_[dirCursor_];
        if (h.dir >= 0) {
            close(h.dir);
            h.dir = -1;
            --heldDirs_;
            return true;
        }
    }
    return false;
}

// Reads the process of entry name into rec through the files held in h,
// opening them to hold when there are none, the process has lived through a
// scan (lived) and there is room: its stat file within the budget, else its
// directory alone, which pins no buffer and spares the owner's lookup. Held
// files whose process has ended are closed and the entry read anew: another
// is set then.
bool ProcessTable::readInto(const char* name, Held& h, PROC_t* rec, bool lived, bool& another) {
    another = false;
    if (h.stat >= 0 || h.dir >= 0) {
        if (h.stat >= 0 ? procstat_held(h.stat, h.dir, name, rec, false, &h.text_hash)
                        : procstat_in(h.dir, name, rec, &h.text_hash))
            return true;
        if (errno != ESRCH)
            return false;
        release(h);
        // Another process under the PID: in its first scan.
        another = true;
        lived = false;
    }
    lived = lived && holdsThisScan_ < holdsPerScan_;
    const bool statToo = heldStats_ < statBudget_;
    size_t room = lived ? roomToHold() : 0;
    if (lived && statToo && room == 0 && giveUpADirectory())
        room = 1;
    if (room == 0)
        return procstat(name, rec, &h.text_hash) != nullptr;
    ++holdsThisScan_;
    if (!statToo) {
        h.dir = procstat_open_dir(name);
        if (h.dir < 0)
            return procstat(name, rec, &h.text_hash) != nullptr;
        ++heldDirs_;
        return procstat_in(h.dir, name, rec, &h.text_hash) != nullptr;
    }
    h.stat = procstat_open(name, room >= 2 && twoEach_ ? &h.dir : nullptr);
    if (h.stat < 0)
        return false;
    ++heldStats_;
    heldDirs_ += h.dir >= 0;
    return procstat_held(h.stat, h.dir, name, rec, true, &h.text_hash) != nullptr;
}

void ProcessTable::merge(num pid, const char* name, PROC_t* scratch) {
    std::unordered_map<num, size_t>::iterator it = index_.find(pid);
    bool another;
    if (it != index_.end()) {
        // Read straight into the table's record: the reader keeps its saved
        // counts, and leaves it untouched when the process is gone.
        PROC_t& r = ps_[it->second];
        unsigned long long start = r.start_time;
        bool held = held_files_[it->second].stat >= 0 || held_files_[it->second].dir >= 0;
        if (!readInto(name, held_files_[it->second], &r, true, another))
            return;
        // A file read the old way tells a new process only by its start.
        if (another || (!held && r.start_time != start)) {
            r.utime_sav = r.stimev_sav = 0;
            r.cpu_usage = 0;
        }
        r.flag = true;
        return;
    }
    scratch->utime_sav = scratch->stimev_sav = 0;
    scratch->cpu_usage = 0;
    Held h;
    if (!readInto(name, h, scratch, false, another)) {
        release(h);
        return;
    }
    scratch->flag = true;
    index_[pid] = ps_.size();
    ps_.push_back(*scratch);
    held_files_.push_back(h);
}

PROC_t* ProcessTable::find(num pid) {
    std::unordered_map<num, size_t>::const_iterator it = index_.find(pid);
    return it == index_.end() ? nullptr : &ps_[it->second];
}

const PROC_t* ProcessTable::find(num pid) const {
    return const_cast<ProcessTable*>(this)->find(pid);
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
        release(held_files_[i]);
        if (i != ps_.size() - 1) {
            ps_[i] = ps_.back();
            held_files_[i] = held_files_.back();
            index_[ps_[i].pid] = i;
        }
        ps_.pop_back();
        held_files_.pop_back();
    }
}

std::vector<PROC_t*> ProcessTable::orderNewRows() {
    // Sorted as (ticks, position) pairs, smaller than records.
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
