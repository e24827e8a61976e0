// Reading ANSI text by character where the code page has double-byte
// characters (932, 936, 949, 950): their second byte may be 0x5C, the byte
// of a backslash. Free of any OS header.
#ifndef VORPKG_COMMON_DBCS_H
#define VORPKG_COMMON_DBCS_H

#include <stddef.h>

// True for the first byte of a double-byte character in the system's ANSI
// code page. Handed in, so that the code using it needs no OS; null means
// single bytes only.
typedef bool (*LeadByteTest)(unsigned char c);

// Bytes of the character at text: 2 for a lead byte followed by a trail
// byte, else 1 (0 at the terminator).
size_t CharBytes(const char* text, LeadByteTest isLeadByte);

// True when the last character of text is a backslash.
bool EndsInBackslash(const char* text, LeadByteTest isLeadByte);

#endif
