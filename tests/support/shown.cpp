// What the window shows after a refresh cycle, and its garbage.
#include "shown.h"

#include <wx/statusbr.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <unistd.h>
#include <unordered_map>

bool hasNanOrInf(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s.find("nan") != std::string::npos || s.find("inf") != std::string::npos;
}

namespace {

bool isPid(const std::string& s) {
    if (s.empty() || s[0] == '0' || s.size() > 10)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool hasControl(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

} // namespace

Shown readWindow(orvelFrame* f, std::vector<std::string>& problems) {
    Shown s;
    // The summary texts are written while their page is shown.
    int page = orvelFrameAccess::notebook(f)->GetSelection();
    showPage(f, performancePage);
    s.cpuText = utf8(orvelFrameAccess::cpuText(f)->GetLabel());
    s.memText = utf8(orvelFrameAccess::memText(f)->GetLabel());
    showPage(f, page);
    s.status = utf8(orvelFrameAccess::status(f)->GetStatusText(0));
    wxListCtrl* list = orvelFrameAccess::list(f);
    for (long r = 0; r < list->GetItemCount(); ++r) {
        std::array<std::string, 6> row;
        for (int c = 0; c < 6; ++c)
            row[size_t(c)] = cellText(list, r, c);
        s.rows.push_back(row);
    }
    const procVector& table = orvelFrameAccess::table(f);
    s.table = table.size();
    auto bad = [&problems](const std::string& what) { problems.push_back(what); };

    for (const std::string* t : {&s.cpuText, &s.memText, &s.status})
        if (hasNanOrInf(*t))
            bad("not a number in \"" + *t + "\"");

    // Each text is parsed and printed again: only a text of the exact form
    // comes back unchanged.
    double tot = 0, usr = 0, krn = 0;
    char again[512];
    if (sscanf(s.cpuText.c_str(),
               "CPU Usage(Total) : %lf%%\nCPU Usage(User) : %lf%%\nCPU Usage(Kernel) : %lf%%", &tot,
               &usr, &krn) != 3 ||
        (snprintf(
             again, sizeof again,
             "CPU Usage(Total) : %.2f%%\nCPU Usage(User) : %.2f%%\nCPU Usage(Kernel) : %.2f%%\n",
             tot, usr, krn),
         s.cpuText != again) ||
        tot < 0 || usr < 0 || krn < 0) {
        bad("CPU text \"" + s.cpuText + "\"");
    } else {
        s.cpuTotal = tot;
        if (tot > 100.0 || std::fabs(tot - usr - krn) > 0.021)
            bad("CPU figures out of line: \"" + s.cpuText + "\"");
    }

    static const char* const memFormat =
        "MemTotal : %llu KB\nMemUsed : %llu KB\nMemFree : %llu KB\n\nSwapTotal : %llu KB\nSwapUsed "
        ": %llu KB\nSwapFree : %llu KB\n\nBuffers : %llu KB\nCached : %lluKB";
    unsigned long long v[8] = {};
    if (sscanf(s.memText.c_str(), memFormat, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6],
               &v[7]) != 8 ||
        (snprintf(again, sizeof again, memFormat, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]),
         s.memText != again)) {
        bad("memory text \"" + s.memText + "\"");
    } else {
        for (unsigned long long x : v)
            if (x > 4294967295ull)
                bad("memory figure past 32 bits: \"" + s.memText + "\"");
        s.memtotal = v[0];
        s.memused = v[1];
        s.memfree = v[2];
        if (v[1] != (v[0] > v[2] ? v[0] - v[2] : 0) || v[4] != (v[3] > v[5] ? v[3] - v[5] : 0))
            bad("used is not total less free: \"" + s.memText + "\"");
    }

    // "프로세스: %d\t  CPU 사용: %3d%%\t실제 메모리: %3d%%"
    static const char* const statusFormat =
        "\xED\x94\x84\xEB\xA1\x9C\xEC\x84\xB8\xEC\x8A\xA4: %ld\t  CPU "
        "\xEC\x82\xAC\xEC\x9A\xA9: %3d%%\t\xEC\x8B\xA4\xEC\xA0\x9C "
        "\xEB\xA9\x94\xEB\xAA\xA8\xEB\xA6\xAC: %3d%%";
    long numproc = -1;
    int cpuPct = -1, memPct = -1;
    if (sscanf(s.status.c_str(), statusFormat, &numproc, &cpuPct, &memPct) != 3 ||
        (snprintf(again, sizeof again, statusFormat, numproc, cpuPct, memPct), s.status != again) ||
        numproc < 0 || cpuPct < 0 || memPct < 0) {
        bad("status line \"" + s.status + "\"");
    } else {
        s.numproc = numproc;
        if (cpuPct > 100 || memPct > 100)
            bad("status percentages past 100: \"" + s.status + "\"");
    }

    std::unordered_map<num, const PROC_t*> byPid;
    for (const PROC_t& r : table)
        if (!byPid.emplace(r.pid, &r).second)
            bad("two records of PID " + std::to_string(r.pid));
    // A failed scan (no process at all) leaves the table for the next one.
    if (s.numproc > 0 && long(s.table) > s.numproc)
        bad("the table holds " + std::to_string(s.table) + " records, the scan saw " +
            std::to_string(s.numproc) + " processes");
    if (s.numproc == 0 && !s.rows.empty())
        bad("rows are left after a scan that saw no process");
    if (s.numproc > 0 && s.rows.size() != s.table)
        bad(std::to_string(s.rows.size()) + " rows for " + std::to_string(s.table) + " records");

    static const long pagesize = sysconf(_SC_PAGESIZE);
    std::set<std::string> pids;
    for (const std::array<std::string, 6>& row : s.rows) {
        std::string where = "row of PID \"" + row[0] + "\" (" + row[1] + "): ";
        if (!isPid(row[0]) || !pids.insert(row[0]).second) {
            bad(where + "bad or repeated PID");
            continue;
        }
        for (int c : {0, 3, 4, 5})
            if (hasNanOrInf(row[size_t(c)]))
                bad(where + "not a number: \"" + row[size_t(c)] + "\"");
        if (row[1].size() < 2 || row[1].front() != '(' || row[1].back() != ')' ||
            hasControl(row[1]))
            bad(where + "command \"" + row[1] + "\"");
        if (row[2].empty() || hasControl(row[2]))
            bad(where + "user \"" + row[2] + "\"");
        double share = -1;
        if (sscanf(row[3].c_str(), "%lf", &share) != 1 || share < 0 ||
            (snprintf(again, sizeof again, "%.1f", share), row[3] != again))
            bad(where + "CPU \"" + row[3] + "\"");
        unsigned long long kb = 0;
        if (sscanf(row[4].c_str(), "%lluKB", &kb) != 1 ||
            (snprintf(again, sizeof again, "%lluKB", kb), row[4] != again))
            bad(where + "memory \"" + row[4] + "\"");
        long long hours = -1, minutes = -1;
        if (sscanf(row[5].c_str(), "%lldh:%lldm", &hours, &minutes) != 2 || hours < 0 ||
            minutes < 0 || minutes > 59 ||
            (snprintf(again, sizeof again, "%2lldh:%lldm", hours, minutes), row[5] != again))
            bad(where + "time \"" + row[5] + "\"");
        auto it = byPid.find(atoll(row[0].c_str()));
        if (it == byPid.end()) {
            bad(where + "no record of that PID");
            continue;
        }
        const PROC_t& r = *it->second;
        if (row[1] != utf8(name_cell(r.tcomm)) || row[2] != utf8(name_cell(r.username)) ||
            row[3] != utf8(cpu_cell(r.cpu_usage)) || row[4] != utf8(mem_cell(r.rss, pagesize)))
            bad(where + "does not show its record " + utf8(name_cell(r.tcomm)));
        if (!std::isfinite(r.cpu_usage) || r.cpu_usage < 0)
            bad(where + "CPU share " + std::to_string(r.cpu_usage));
    }
    return s;
}
