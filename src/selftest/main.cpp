// vorpkg-selftest: plays vorpkg's acceptance scenarios on the system it runs
// on, with a stand-in for the vendor's utility, and reports what it found.
// Started as mervane.exe (the copy it puts into each test package) it is
// that stand-in.
#include "selftest/report.h"
#include "selftest/scenarios.h"
#include "selftest/sha256.h"
#include "selftest/standin.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

const char kUsageText[] =
    "vorpkg-selftest plays vorpkg's acceptance scenarios on this system, with a\n"
    "stand-in for the vendor's update utility, and reports what it found.\n"
    "Run it as an administrator, on a lab server, not on a machine about to be\n"
    "captured as an image: it leaves its lines in the result log.\n"
    "\n"
    "  vorpkg-selftest [PATH\\vorpkg.exe]   (default: the vorpkg.exe beside it)\n"
    "\n"
    "It makes its test packages in a folder vorpkg-selftest.N in the root of the\n"
    "system drive and removes that folder and every staging area its runs made;\n"
    "its in-place runs add lines \"Update=vorpkg self-test\" to \\QVLOG\\QV.log.\n"
    "The report goes to the console and to vorpkg-selftest-report.txt beside it.\n"
    "Exit code 0: every scenario passed; 1: one failed, or it could not run.";  // Refuse ends the line

SelfTest g_test;
unsigned char g_file[4 * 1024 * 1024];

// The file name part of a path.
const char* BaseName(const char* path) {
    const char* slash = strrchr(path, '\\');
    return slash != nullptr ? slash + 1 : path;
}

// The report's line on the vorpkg.exe tested: its version, from the
// VS_FIXEDFILEINFO found by its signature, and its SHA-256.
void DescribeVorpkg(SelfTest* t) {
    FILE* f = fopen(t->vorpkg, "rb");
    size_t size = f != nullptr ? fread(g_file, 1, sizeof g_file, f) : sizeof g_file;
    if (f != nullptr) (void)fclose(f);
    if (size == sizeof g_file) {
        (void)snprintf(t->vorpkgVersion, sizeof t->vorpkgVersion, "unknown");
        ReportLinef("vorpkg.exe tested: %s cannot be read", t->vorpkg);
        return;
    }
    (void)snprintf(t->vorpkgVersion, sizeof t->vorpkgVersion, "not found");
    for (size_t i = 0; i + 16 <= size; i += 4) {
        DWORD words[4];
        memcpy(words, g_file + i, sizeof words);
        if (words[0] != 0xFEEF04BD || words[1] != 0x00010000) continue;
        (void)snprintf(t->vorpkgVersion, sizeof t->vorpkgVersion, "%lu.%lu.%lu.%lu", words[2] >> 16,
                       words[2] & 0xFFFF, words[3] >> 16, words[3] & 0xFFFF);
        break;
    }
    Sha256 sha;
    char hex[65];
    Sha256Start(&sha);
    Sha256Feed(&sha, g_file, size);
    Sha256Hex(&sha, hex);
    ReportLinef("vorpkg.exe tested: %s, version %s, SHA-256 %s", t->vorpkg, t->vorpkgVersion, hex);
}

void Header(const SelfTest& t) {
    const OSVERSIONINFOEXA& v = t.system.version;
    // The product type names by number: VER_NT_WORKSTATION (1), VER_NT_DOMAIN_CONTROLLER (2), VER_NT_SERVER (3).
    static const char* const kProductTypes[] = {"not given", "workstation", "domain controller", "server"};
    const char* const* types = kProductTypes;
    ReportLinef("vorpkg self-test %s (%d-bit)", VORPKG_SELFTEST_VERSION, static_cast<int>(sizeof(void*) * 8));
    ReportLinef("Windows %lu.%lu (build %lu), %s, product type %u (%s)", v.dwMajorVersion, v.dwMinorVersion,
                v.dwBuildNumber & 0xFFFF, v.szCSDVersion[0] != '\0' ? v.szCSDVersion : "no service pack",
                v.wProductType, v.wProductType <= VER_NT_SERVER ? types[v.wProductType] : "not given");
    ReportLinef("ANSI code page %u", t.system.codePage);
    ReportLinef("System drive %s, file system %s%s", t.system.root, t.system.fileSystem,
                t.system.keepsSecurity ? "" : " (no permissions)");
    const char* procedure = "none: this Windows is not supported, exit code 9";
    if (t.system.procedure == kProcedureNt) procedure = "the Windows NT 4.0 procedure";
    if (t.system.procedure == kProcedureWin2k) procedure = "the Windows 2000 and 2003 procedure";
    ReportLinef("Expected of vorpkg here: %s", procedure);
}

// <root>vorpkg-selftest.N, new, open to SYSTEM and Administrators only: no
// other account may change a test package vorpkg then runs, or swap a
// folder of it for a link.
bool MakeTop(SelfTest* t) {
    SECURITY_ATTRIBUTES security;
    if (!BuildFolderSecurity(false, &security)) return false;
    for (int n = 1; n < 100; ++n) {
        (void)snprintf(t->top, sizeof t->top, "%svorpkg-selftest.%d", t->system.root, n);
        if (CreateDirectoryA(t->top, &security)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

// Lists what an interrupted self-test left in the root, and removes it: its
// own top folders, and staging areas holding one of its packages (names
// matched as the system matches them, in any case).
void RemoveLeftovers(const SelfTest& t) {
    const char* root = t.system.root;
    const char* const patterns[] = {"vorpkg-selftest.*", "QVT*"};
    for (const char* pattern : patterns) {
        (void)ForEachEntry(root, pattern, [root, pattern](const WIN32_FIND_DATAA& found) {
            char path[kPath];
            const bool area = strcmp(pattern, "QVT*") == 0;  // ours only when it holds a package of ours
            bool left = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (!area || (Join(path, sizeof path, root, found.cFileName, "\\mervane.scenario") &&
                                   FileStartsWith(path, kSelfTestMark)));
            if (left && Join(path, sizeof path, root, found.cFileName)) {
                bool removed = RemoveTree(path);
                ReportLinef("Left by an interrupted self-test: %s (%s)", path,
                            removed ? "removed" : "cannot be removed");
            }
            return true;
        });
    }
}

// Both mutexes are held until the self-test ends.
HANDLE g_onlyOne = nullptr;
HANDLE g_live = nullptr;

// One self-test at a time on a system (on NT 4.0, which has no Global name
// space, the plain name), and this run's one-off value with the mutex named
// by it that the stand-in finds there while this self-test runs. False when
// another self-test holds either.
bool GoLive(SelfTest* t) {
    g_onlyOne = CreateMutexA(nullptr, FALSE, "Global\\vorpkg-selftest");
    if (g_onlyOne == nullptr && GetLastError() != ERROR_ACCESS_DENIED)
        g_onlyOne = CreateMutexA(nullptr, FALSE, "vorpkg-selftest");
    if (g_onlyOne == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return false;
    struct {
        DWORD tick;
        SYSTEMTIME now;
        const void* where;
    } seed;
    memset(&seed, 0, sizeof seed);
    seed.tick = GetTickCount();
    GetLocalTime(&seed.now);
    seed.where = &seed;
    Sha256 sha;
    char hex[65];
    Sha256Start(&sha);
    Sha256Feed(&sha, reinterpret_cast<const uint8_t*>(&seed), sizeof seed);
    Sha256Hex(&sha, hex);
    (void)snprintf(t->token, sizeof t->token, "%.16s", hex);
    char name[64];
    (void)snprintf(name, sizeof name, "%s%s", kLiveMutexPrefix, t->token);
    g_live = CreateMutexA(nullptr, FALSE, name);
    return g_live != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
}

// Says why the self-test cannot run, with the path concerned; exit code 1.
int Refuse(const char* message, const char* path = "") {
    (void)printf("%s%s\n", message, path);
    return 1;
}

int SelfTestMain(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (strcmp(argv[1], "/?") == 0 || strcmp(argv[1], "-?") == 0)))
        return Refuse(kUsageText);
    SelfTest* t = &g_test;
    DWORD n = GetModuleFileNameA(nullptr, t->self, sizeof t->self);
    if (n == 0 || n >= sizeof t->self || !ReadSystemInfo(&t->system))
        return Refuse("vorpkg-selftest: cannot read its own path or the system's version.");
    if (!IsAdministrator())
        return Refuse("vorpkg-selftest must be run by an administrator: vorpkg writes to the root of the system\n"
                      "drive and to \\QVLOG. Nothing was changed.");
    if (!GoLive(t))
        return Refuse("vorpkg-selftest: another vorpkg-selftest is running on this system. Nothing was changed.");
    char folder[kPath];
    (void)Join(folder, sizeof folder, t->self, "");
    const_cast<char*>(BaseName(folder))[0] = '\0';
    char* file = nullptr;
    if (argc == 2 ? GetFullPathNameA(argv[1], sizeof t->vorpkg, t->vorpkg, &file) - 1 >= sizeof t->vorpkg - 1
                  : !Join(t->vorpkg, sizeof t->vorpkg, folder, "vorpkg.exe"))
        return Refuse("vorpkg-selftest: path too long: ", argv[1]);
    DWORD a = GetFileAttributesA(t->vorpkg);
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Refuse("vorpkg-selftest: no vorpkg.exe at ", t->vorpkg);
    char report[kPath];
    if (!Join(report, sizeof report, folder, "vorpkg-selftest-report.txt") || !ReportOpen(report))
        return Refuse("vorpkg-selftest: cannot write the report ", report);
    Header(*t);
    DescribeVorpkg(t);
    (void)Join(t->qvlog, sizeof t->qvlog, t->system.root, "QVLOG");
    (void)Join(t->qvlogFile, sizeof t->qvlogFile, t->qvlog, "\\QV.log");
    t->qvlogWasThere = GetFileAttributesA(t->qvlog) != INVALID_FILE_ATTRIBUTES;
    RemoveLeftovers(*t);
    if (!MakeTop(t)) {
        ReportScenario("test-folder", "no folder vorpkg-selftest.N can be made in the root of the system drive");
        return ReportClose() ? 0 : 1;
    }
    ReportLinef("Test packages in %s (removed at the end); report in %s", t->top, report);
    char probe[kPath];
    (void)Join(probe, sizeof probe, t->top, "\\dacl-probe");
    LearnDaclFidelity(probe, &t->fidelity);
    t->cleanedUp = true;
    PlayScenarios(t);
    bool removed = RemoveTree(t->top);
    ReportScenario("cleanup", removed && t->cleanedUp ? nullptr
                                                      : "a test package or staging area could not be removed");
    return ReportClose() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    char self[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    if (n > 0 && n < sizeof self && _stricmp(BaseName(self), "mervane.exe") == 0) return StandInMain(true);
    return SelfTestMain(argc, argv);
}
