#include "common/console.h"

#include <stdio.h>

// A console that cannot be written to leaves nobody to tell: the results of
// the writes are not examined.

void ConsoleMessage(const char* text) {
    (void)fputs(text, stdout);
    (void)fputs("\n", stdout);
    (void)fflush(stdout);
}

void ConsoleMessage2(const char* text, const char* value) {
    (void)fputs(text, stdout);
    (void)fputs(value, stdout);
    (void)fputs("\n", stdout);
    (void)fflush(stdout);
}
