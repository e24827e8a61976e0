#ifndef VORPKG_COMMON_CONSOLE_H
#define VORPKG_COMMON_CONSOLE_H

// One fixed line on standard output, flushed at once so that it stands
// before anything a child process writes to the same console.
void ConsoleMessage(const char* text);
// The same for a message followed by a value, such as a directory name.
void ConsoleMessage2(const char* text, const char* value);

#endif
