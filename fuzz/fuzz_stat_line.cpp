// parse_stat_line and parse_uptime on arbitrary bytes.
#include "check.h"
#include "procstat.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    Guarded<PROC_t> g;
    memset(&g.rec, 0x5A, sizeof g.rec);
    g.rec.flag = true; // a bool must hold 0 or 1
    strcpy(g.rec.username, "someone");
    Guarded<PROC_t> before;
    memcpy(&before, &g, sizeof g);

    bool ok = parse_stat_line(text, size, &g.rec);
    g.check_bands();
    CHECK(memcmp(g.rec.username, before.rec.username, sizeof g.rec.username) == 0);
    CHECK(memcmp(&g.rec.utime_sav, &before.rec.utime_sav, sizeof g.rec.utime_sav) == 0);
    CHECK(memcmp(&g.rec.stimev_sav, &before.rec.stimev_sav, sizeof g.rec.stimev_sav) == 0);
    CHECK(memcmp(&g.rec.tickspersec, &before.rec.tickspersec,
                 offsetof(PROC_t, flag) + sizeof g.rec.flag - offsetof(PROC_t, tickspersec)) == 0);
    if (!ok) {
        CHECK(memcmp(&g, &before, sizeof g) == 0);
    } else {
        const void* nul = memchr(g.rec.tcomm, '\0', sizeof g.rec.tcomm);
        CHECK(nul != nullptr);
        CHECK(g.rec.tcomm[0] == '(');
        // tcomm is the text from the first '(' on, cut at its closing ')'.
        const char* open = static_cast<const char*>(memchr(text, '(', size));
        CHECK(open != nullptr);
        size_t n = size_t(static_cast<const char*>(nul) - g.rec.tcomm);
        CHECK(n <= size_t(text + size - open) && memcmp(g.rec.tcomm, open, n) == 0);

        // The cells' arithmetic on whatever the fields hold, other fields
        // standing in for the interval, the uptime and the page size:
        // UBSan stops at any overflow.
        const PROC_t& r = g.rec;
        CHECK(!std::isnan(cpu_share(r, static_cast<unsigned long long>(r.cstime), 0)));
        CHECK(running_seconds(r.cutime, r.start_time, long(r.priority)) >= 0);
        CHECK(rss_kb(r.rss, long(r.vsize)) >= 0);
    }

    std::string s(text, size);
    long long ticks = -7;
    if (parse_uptime(s.c_str(), 100, &ticks))
        CHECK(ticks >= 0);
    else
        CHECK(ticks == -7);
    return 0;
}
