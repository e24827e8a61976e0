// SHA-256 (FIPS 180-4), for the report's line on the vorpkg.exe tested: the
// self-test brings its own, as NT 4.0's CryptoAPI has none.
#ifndef VORPKG_SELFTEST_SHA256_H
#define VORPKG_SELFTEST_SHA256_H

#include <stddef.h>
#include <stdint.h>

struct Sha256 {
    uint32_t state[8];
    uint8_t block[64];
    size_t used;      // bytes waiting in block
    uint64_t length;  // bytes fed in all
};

void Sha256Start(Sha256* s);
void Sha256Feed(Sha256* s, const uint8_t* data, size_t size);
// The digest as 64 lower-case hex digits and a terminator.
void Sha256Hex(Sha256* s, char hex[65]);

#endif
