// What the sweep puts behind the tables: the update utility played in
// process, the platform, and a record of open handles so that a run that was
// ended early (or held a folder until its end) leaves nothing open behind it.
#ifndef VORPKG_SWEEP_STANDINS_H
#define VORPKG_SWEEP_STANDINS_H

#include <string>
#include <vector>

// What the utility's runs did in one whole run.
struct UtilityRuns {
    // One entry a run: its command line, the directory it ran in and whether
    // it was awaited to its end, work and staging folders named alike.
    std::vector<std::string> runs;
    std::string copy;  // the work directory as the first run found it
};

// Puts the stand-ins into g_passOs and g_passIo (after InstallHooks).
void InstallStandIns();

// For the next run: the Windows version reported ("nt40" or "win2k") and the
// logs the utility writes on its first run and its re-run ("clean",
// "driver", "bios", "both").
void SetStage(const char* winver, const char* firstLog, const char* rerunLog, const std::string& package);
void ResetUtility();
const UtilityRuns& Utility();

// Closes what the run left open (as the end of its process would) and
// says how many handles that was.
int CloseLeftHandles();

// Removes the staging areas (and temporary files) runs made, none other.
void RemoveStagingAreas();

// Staging folders (C:\QVTxxxx.tmp) named alike, for comparing.
std::string SameStagingName(std::string text);

#endif
