// cpu_parse_line and cpu_update over the lines of arbitrary texts.
#include "check.h"
#include "cpu_usage.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void check_percent(float p) {
    CHECK(std::isfinite(p));
    CHECK(p >= 0.0f && p <= 100.0f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Guarded<CPU_t> g;
    g.rec = CPU_t{};
    for (const std::string& line : lines_of(data, size)) {
        Guarded<uint64_t[7]> v;
        memset(v.rec, 0x77, sizeof v.rec);
        int count = cpu_parse_line(line.c_str(), v.rec);
        v.check_bands();
        CHECK(count >= 0 && count <= 7);
        for (int k = count; k < 7; ++k)
            CHECK(v.rec[k] == 0x7777777777777777ull);
        if (count > 0)
            CHECK(strncmp(line.c_str(), "cpu", 3) == 0 && is_blank(line[3]));

        // Values past count must not matter.
        CPU_t other = g.rec;
        uint64_t vals[7];
        memcpy(vals, v.rec, sizeof vals);
        for (int k = count; k < 7; ++k)
            vals[k] = 12345;
        cpu_update(&other, vals, count);

        CPU_t old = g.rec;
        cpu_update(&g.rec, v.rec, count);
        g.check_bands();
        CHECK(memcmp(&other, &g.rec, sizeof other) == 0);
        check_percent(g.rec.usage_tot);
        check_percent(g.rec.usage_usr);
        check_percent(g.rec.usage_krn);
        CHECK(fabsf(g.rec.usage_tot - g.rec.usage_usr - g.rec.usage_krn) < 1e-3f);
        CHECK(g.rec.total_sav >= 0);
        // The full total and the one held in 32 bits agree below INT_MAX.
        CHECK(g.rec.total_sav ==
              (g.rec.interval_ticks > INT_MAX ? INT_MAX : int(g.rec.interval_ticks)));
        CHECK(g.rec.id == 0);
        if (count < 4 || g.rec.total_sav == 0) {
            CHECK(g.rec.usage_tot == old.usage_tot && g.rec.usage_usr == old.usage_usr &&
                  g.rec.usage_krn == old.usage_krn);
        }
        if (count < 4) {
            CHECK(g.rec.total_sav == 0);
            CHECK(memcmp(&g.rec, &old, offsetof(CPU_t, id)) == 0);
        } else {
            const TIC_t* cur = &g.rec.u;
            for (int k = 0; k < count; ++k)
                CHECK(cur[k] == TIC_t(v.rec[k]));
            CHECK(g.rec.u_sav == g.rec.u && g.rec.s_sav == g.rec.s && g.rec.i_sav == g.rec.i &&
                  g.rec.y_sav == g.rec.y && g.rec.z == old.z);
        }
    }
    return 0;
}
