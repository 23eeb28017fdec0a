// The texts the refresh cycle writes.
#include "texts.h"

#include <glib.h>

#include <cmath>
#include <cstdio>
#include <cstring>

wxString cpu_text(const CPU_t& c) {
    return wxString::Format(_T("CPU Usage(Total) : %.2f%%\nCPU Usage(User) : %.2f%%\n")
                            _T("CPU Usage(Kernel) : %.2f%%\n"),
                            static_cast<double>(c.usage_tot), static_cast<double>(c.usage_usr),
                            static_cast<double>(c.usage_krn));
}

wxString mem_text(const MEM_t& m) {
    // Printed unsigned: a figure past 2^31 kB must not show as negative, and
    // "used" cannot go below zero when free exceeds total in a broken file.
    unsigned used = m.memtotal > m.memfree ? m.memtotal - m.memfree : 0;
    unsigned swapused = m.swaptotal > m.swapfree ? m.swaptotal - m.swapfree : 0;
    return wxString::Format(_T("MemTotal : %u KB\nMemUsed : %u KB\nMemFree : %u KB\n\n")
                            _T("SwapTotal : %u KB\nSwapUsed : %u KB\nSwapFree : %u KB\n\n")
                            _T("Buffers : %u KB\nCached : %uKB"),
                            m.memtotal, used, m.memfree, m.swaptotal, swapused, m.swapfree,
                            m.buffers, m.cached);
}

wxString status_line(int numproc, const CPU_t& c, const MEM_t& m) {
    float tot = c.usage_tot;
    // Converting a non-finite or out-of-range float to int is undefined.
    int cpu = std::isfinite(tot) && tot > -1e6f && tot < 1e6f ? static_cast<int>(tot) : 0;
    unsigned long long used = m.memtotal > m.memfree ? m.memtotal - m.memfree : 0;
    int mem = m.memtotal ? static_cast<int>(used * 100 / m.memtotal) : 0;
    static const wxString fmt =
        wxString::FromUTF8("프로세스: %d\t  CPU 사용: %3d%%\t실제 메모리: %3d%%");
    return wxString::Format(fmt, numproc, cpu, mem);
}

wxString time_cell(long long sec) {
    if (sec < 0)
        sec = 0;
    long long hours = sec / 3600;
    long long minutes = sec / 60 - hours * 60;
    char buf[48];
    snprintf(buf, sizeof buf, "%2lldh:%lldm", hours, minutes);
    return wxString::FromAscii(buf);
}

void cpu_cell_text(float share, char (&buf)[48]) {
    snprintf(buf, sizeof buf, "%.1f", std::isfinite(share) ? static_cast<double>(share) : 0.0);
}

wxString cpu_cell(float share) {
    char buf[48];
    cpu_cell_text(share, buf);
    return wxString::FromAscii(buf);
}

wxString mem_cell(long long rss_pages, long pagesize) {
    char buf[48];
    snprintf(buf, sizeof buf, "%lldKB", rss_kb(rss_pages, pagesize));
    return wxString::FromAscii(buf);
}

wxString name_cell(const char* bytes) {
    bool ascii = true;
    bool control = false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes); *p; ++p) {
        ascii = ascii && *p < 0x80;
        control = control || *p < 0x20 || *p == 0x7F;
    }
    wxString out;
    if (ascii)
        out = wxString::FromAscii(bytes);
    // GTK hands every text to Pango, which draws only what GLib validates as
    // UTF-8; the toolkit's own decoder also takes surrogates and code points
    // past U+10FFFF that its encoder then refuses.
    else if (g_utf8_validate(bytes, -1, nullptr))
        out = wxString::FromUTF8(bytes);
    else
        out = wxString(bytes, wxConvISO8859_1); // byte for byte
    if (!ascii || control)
        for (wxString::iterator it = out.begin(); it != out.end(); ++it) {
            if (is_control((*it).GetValue()))
                *it = '?';
        }
    return out;
}

std::u32string fold_case(const wxString& text) {
    std::u32string folded;
    for (wxUniChar c : text)
        folded += static_cast<char32_t>(g_unichar_tolower(c.GetValue()));
    return folded;
}

bool shown_name_starts_with(const char* bytes, const std::u32string& folded) {
    const char* p = bytes;
    const char* end = bytes + strlen(bytes);
    if (p < end && *p == '(')
        ++p;
    if (end > p && end[-1] == ')')
        --end;
    // An ASCII byte shows as itself whatever the rest; how the others show
    // hangs on the whole name, as in name_cell, looked at once met.
    enum { unknown, utf8, bytewise } decoding = unknown;
    for (char32_t want : folded) {
        if (p >= end)
            return false;
        gunichar c = static_cast<unsigned char>(*p);
        if (c >= 0x80 && decoding == unknown)
            decoding = g_utf8_validate(bytes, -1, nullptr) ? utf8 : bytewise;
        if (c >= 0x80 && decoding == utf8) {
            c = g_utf8_get_char(p);
            p = g_utf8_next_char(p);
        } else {
            ++p;
        }
        if (is_control(c))
            c = '?';
        if (g_unichar_tolower(c) != want)
            return false;
    }
    return true;
}
