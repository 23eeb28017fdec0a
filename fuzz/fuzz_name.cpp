// The name cell on arbitrary bytes, as any user may name a process.
#include "check.h"
#include "texts.h"

#include <glib.h>
#include <wx/debug.h>

#include <cstddef>
#include <cstdint>

namespace {

void abort_on_assert(const wxString&, int, const wxString&, const wxString& cond,
                     const wxString& msg) {
    fprintf(stderr, "toolkit assertion: %s: %s\n", static_cast<const char*>(cond.utf8_str()),
            static_cast<const char*>(msg.utf8_str()));
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = (wxSetAssertHandler(abort_on_assert), true);
    (void)once;
    // The kernel's names end at the first NUL.
    std::string bytes(reinterpret_cast<const char*>(data),
                      strnlen(reinterpret_cast<const char*>(data), size));
    wxString shown = name_cell(bytes.c_str());
    CHECK(bytes.empty() == shown.empty());
    if (!g_utf8_validate(bytes.c_str(), -1, nullptr))
        CHECK(shown.length() == bytes.size()); // byte for byte
    for (wxUniChar c : shown)
        CHECK(!(c < 0x20 || (c >= 0x7F && c <= 0x9F)));
    // What GTK gets: UTF-8 that GLib takes, and that reads back the same.
    wxScopedCharBuffer utf8 = shown.utf8_str();
    CHECK(g_utf8_validate(utf8.data(), -1, nullptr));
    CHECK(wxString::FromUTF8(utf8.data()) == shown);
    return 0;
}
