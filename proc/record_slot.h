// The record a sampler hands out and gets back on every call.
#ifndef ORVEL_RECORD_SLOT_H
#define ORVEL_RECORD_SLOT_H

#include <cstdio>
#include <cstdlib>

// A zero-filled record from the heap; when calloc fails a static one instead,
// so the caller always has a record to read, moved to the heap as soon as
// memory allows so that the caller's free() is safe.
template <class T> class RecordSlot {
public:
    // The record for this call: a new one on the first call or for a null
    // argument, else the one handed out before.
    T* take(T* current) {
        if (!handedOut_ || !current) {
            handedOut_ = true;
            if (T* r = static_cast<T*>(calloc(1, sizeof(T))))
                return r;
            fputs("failed momory allocate", stderr);
            fallback_ = T{};
            return &fallback_;
        }
        if (current == &fallback_)
            if (T* r = static_cast<T*>(calloc(1, sizeof(T)))) {
                *r = fallback_;
                return r;
            }
        return current;
    }
    void release(T* r) {
        if (r != &fallback_)
            free(r);
    }

private:
    T fallback_{};
    bool handedOut_ = false;
};

#endif
