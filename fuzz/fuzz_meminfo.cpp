// mem_parse_line over the lines of arbitrary texts.
#include "check.h"
#include "mem_usage.h"

#include <cstdint>

namespace {

const char* const kKeys[6] = {
    "MemTotal:", "MemFree:", "SwapTotal:", "SwapFree:", "Buffers:", "Cached:"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Guarded<MEM_t> g;
    g.rec = MEM_t{};
    Guarded<uint64_t> capacity;
    capacity.rec = 0;
    for (const std::string& line : lines_of(data, size)) {
        MEM_t old = g.rec;
        uint64_t old_capacity = capacity.rec;
        mem_parse_line(line.c_str(), &g.rec, &capacity.rec);
        g.check_bands();
        capacity.check_bands();

        // The first token, as far as the C string goes.
        const char* p = line.c_str();
        while (is_blank(*p))
            ++p;
        const char* key = p;
        while (*p && !is_blank(*p))
            ++p;
        std::string token(key, size_t(p - key));
        while (is_blank(*p))
            ++p;
        if (*p < '0' || *p > '9')
            CHECK(capacity.rec == old_capacity);

        const unsigned* now = &g.rec.memtotal;
        const unsigned* was = &old.memtotal;
        for (int k = 0; k < 6; ++k) {
            if (token == kKeys[k])
                CHECK(now[k] == (capacity.rec > UINT32_MAX ? UINT32_MAX : capacity.rec));
            else
                CHECK(now[k] == was[k]);
        }
    }
    return 0;
}
