// What "vorpkg /?" prints; the self-test expects it word for word.
#ifndef VORPKG_RUN_USAGE_H
#define VORPKG_RUN_USAGE_H

extern const char kUsage[];

#endif
