// Standard error of a monitor run, taken apart into the messages the /proc
// readers are meant to write; anything else is left over.
#ifndef ORVEL_TEST_READER_MESSAGES_H
#define ORVEL_TEST_READER_MESSAGES_H

#include <map>
#include <string>

// The readers' fixed messages carry no line end, so they may run together
// with each other and with perror lines.
inline const char* const* readerMessageList() {
    static const char* const list[] = {"failed /proc/stat open",
                                       "failed /proc/stat read",
                                       "failed momory allocate",
                                       "failed /proc/meminfo open",
                                       "open: No such file or directory\n",
                                       nullptr};
    return list;
}

struct ReaderMessages {
    std::map<std::string, int> counts; // message -> times written
    std::string unexpected;            // everything else, in order
    int count(const std::string& m) const {
        auto it = counts.find(m);
        return it == counts.end() ? 0 : it->second;
    }
};

inline ReaderMessages splitReaderMessages(const std::string& err) {
    ReaderMessages r;
    size_t p = 0;
    while (p < err.size()) {
        bool known = false;
        for (const char* const* m = readerMessageList(); *m; ++m) {
            size_t n = std::char_traits<char>::length(*m);
            if (err.compare(p, n, *m) == 0) {
                ++r.counts[*m];
                p += n;
                known = true;
                break;
            }
        }
        if (!known)
            r.unexpected += err[p++];
    }
    return r;
}

#endif
