#include "update/procedures.h"

int UpdateWinNT(const char*) { return 0; }  // not built yet
int UpdateWin2k(const char*) { return 0; }  // not built yet
