// Replaces one entry of the OS-call table for the life of the guard:
//   OsOverride guard(&OsCalls::GetVersionExA, FakeGetVersionEx);
// Fakes are free functions declared WINAPI, like the real entries.
#ifndef VORPKG_TESTS_OSOVERRIDE_H
#define VORPKG_TESTS_OSOVERRIDE_H

#include "os/oscalls.h"

template <typename Fn>
class OsOverride {
public:
    OsOverride(Fn OsCalls::*slot, Fn fake) : slot_(slot), saved_(g_os.*slot) { g_os.*slot = fake; }
    ~OsOverride() { g_os.*slot_ = saved_; }
    OsOverride(const OsOverride&) = delete;
    OsOverride& operator=(const OsOverride&) = delete;

    // The entry that was in place before, for fakes that pass calls through.
    Fn saved() const { return saved_; }

private:
    Fn OsCalls::*slot_;
    Fn saved_;
};

#endif
