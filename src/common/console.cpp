#include "common/console.h"

#include <stdio.h>

void ConsoleMessage(const char* text) {
    fputs(text, stdout);
    fputs("\n", stdout);
    fflush(stdout);
}

void ConsoleMessage2(const char* text, const char* value) {
    fputs(text, stdout);
    fputs(value, stdout);
    fputs("\n", stdout);
    fflush(stdout);
}
