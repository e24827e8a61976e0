// mervane.exe stand-in for tests and the demo: the stand-in of
// src/selftest/standin.h, which the self-test carries too, so that both
// behave alike. This copy also runs without a scenario file (a clean log).
#include "selftest/standin.h"

int main() { return StandInMain(false); }
