#include "run/usage.h"

const char kUsage[] =
    "vorpkg applies the driver update of an update CD with the vendor's update\n"
    "utility mervane.exe, on Windows NT 4.0, Windows 2000 and Windows Server 2003.\n"
    "\n"
    "  vorpkg          in place: start it in the package folder, which must be\n"
    "                  writable\n"
    "  vorpkg FOLDER   staged: copies the package folder FOLDER (for example E:\\)\n"
    "                  to a new QVTxxxx.tmp in the root of the system drive and\n"
    "                  runs the update there\n"
    "\n"
    "Exit codes: 0 nothing back-level; 28 the driver was back-level and the utility\n"
    "ran again; 29 the BIOS is back-level; 30 both; 1 failed, the console says why;\n"
    "9 this Windows version is not supported.\n"
    "An in-place run adds a line to \\QVLOG\\QV.log on the system drive; a staged\n"
    "run writes none.\n";
