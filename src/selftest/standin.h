// The stand-in for the vendor's update utility: it installs nothing. It
// checks its command line, records it, and writes the tool log a scenario
// asks for. Built into tools/mervane.exe (the tests' and the demo's copy) and
// into vorpkg-selftest.exe, which answers as the stand-in when started under
// the name mervane.exe.
//
// Accepted command lines (the first word with or without a path or quotes):
//   mervane.exe /l <log> /s /noreboot /i <file> /oisafe12     first run
//   mervane.exe /l <log> /s /noreboot /i <file> /oinowdp      re-run
// Words are separated by single blanks, nothing follows the last option, and
// <file> must exist. Anything else is refused: a message on stderr, exit 2.
//
// Trace: every invocation appends its raw command line (GetCommandLineA), after
// "REFUSED: " when refused, as one line to "mervane.trace" next to this program.
//
// Scenario: "mervane.scenario" next to this program, one entry a line:
//   first <kind>     the log written by the first run (/oisafe12)
//   rerun <kind>     the log written by the re-run (/oinowdp)
//   exit <n>         exit code of every accepted run (default 0)
// Blank lines and lines starting with # are skipped. A run without an entry
// writes a clean log; so does the tests' copy without a scenario file. An
// unreadable entry ends the run with exit code 3, no log. Logs are written
// byte for byte, lines ending in LF unless said otherwise. Kinds:
//   clean    no marker
//   driver   "Error Code 28:" (driver back-level)
//   bios     "Error Code 29:" (BIOS back-level)
//   both     both markers, on separate lines
//   none     writes no log and leaves any existing one alone
//   crlf     the driver marker, every line ending in CR LF
//   long     a first line of 300 characters with the driver marker from its
//            251st character, straddling the 255th
//   nul      a zero byte before the driver marker in the same line
//   file:<name>  the bytes of the named file next to this program
//
// The self-test's copy does nothing unless its scenario file begins with the
// line "kSelfTestMark <value>" and a self-test holding the mutex
// kLiveMutexPrefix<value> runs now: anywhere else (a copy left on a CD by
// mistake, a package an interrupted self-test left) it says what it is on
// standard output, its only output there, and ends with kNotAnUpdate, which
// vorpkg reads as no update (no new log).
#ifndef VORPKG_SELFTEST_STANDIN_H
#define VORPKG_SELFTEST_STANDIN_H

const char kSelfTestMark[] = "# vorpkg self-test scenario";
const char kLiveMutexPrefix[] = "vorpkg-selftest.live.";
const int kNotAnUpdate = 4;

// selfTest: the self-test's copy (scenario mark required).
int StandInMain(bool selfTest);

#endif
