// The texts the refresh cycle writes: the summary texts and the list's cells.
// Only wxBase is needed, so they can be checked, and fuzzed, on any figures.
#ifndef ORVEL_TEXTS_H
#define ORVEL_TEXTS_H

#include <wx/string.h>

#include <string>

#include "cpu_usage.h"
#include "mem_usage.h"
#include "procstat.h"

wxString cpu_text(const CPU_t& cpus);
wxString mem_text(const MEM_t& mems);
wxString status_line(int numproc, const CPU_t& cpus, const MEM_t& mems);
wxString time_cell(long long sec);
wxString cpu_cell(float share);
// The %CPU cell's text as bytes, for comparing with what a row shows.
void cpu_cell_text(float share, char (&buf)[48]);
wxString mem_cell(long long rss_pages, long pagesize);
// Process and user names are bytes anyone may choose: UTF-8 when GTK takes
// them as UTF-8, else byte for byte; C0 and C1 control characters show as '?'.
wxString name_cell(const char* bytes);
// The characters a name cell shows as '?'.
inline bool is_control(unsigned c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}
// A typed text to look for, letters in lower case.
std::u32string fold_case(const wxString& text);
// Whether the name of a stat file's "(name)", as name_cell shows it without
// the parentheses and with letters in lower case, starts with folded. Makes
// no text.
bool shown_name_starts_with(const char* bytes, const std::u32string& folded);

#endif
