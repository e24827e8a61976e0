#ifndef VORPKG_RUN_UPDATERUN_H
#define VORPKG_RUN_UPDATERUN_H

// One whole run, from the command line to the exit code.
int UpdateRun(int argc, char** argv);

#endif
