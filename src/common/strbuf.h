// Bounded string building on fixed-size buffers. Every helper refuses
// (returns false, leaves the buffer terminated) rather than write past the end.
#ifndef VORPKG_COMMON_STRBUF_H
#define VORPKG_COMMON_STRBUF_H

#include <stddef.h>

// Copies src into buf; false when it does not fit with its terminator.
bool StrCopy(char* buf, size_t size, const char* src);
// Appends src to the text already in buf; false when the whole does not fit.
bool StrAppend(char* buf, size_t size, const char* src);

// Writes the parts one after the other into buf; when the whole does not
// fit, buf is left empty and false returned, so no partial text survives.
bool StrJoin(char* buf, size_t size, const char* const* parts, size_t count);

#endif
