// The security of the staging area and of the result log's folder: the
// descriptor handed to CreateDirectoryA, and what Wine keeps of it. Wine holds no DACL of its own for a file: it
// keeps what its file modes can (SYSTEM and the owner, an administrator;
// Everyone's entry is gone) and gives copied files its default DACL, with
// Everyone reading. Windows keeps the DACL as given, and copies inherit it.
#include "resultlog/resultrecord.h"
#include "staging/staging.h"
#include "treefs.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <cstdlib>
#include <cstring>

namespace {

std::string g_areaPath, g_areaDacl;
decltype(OsCalls::CreateDirectoryA) g_realMkdir;

std::string Sddl(PSECURITY_DESCRIPTOR sd, SECURITY_INFORMATION what) {
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, what, &text, nullptr)) return "?";
    std::string s = text;
    LocalFree(text);
    return s;
}

BOOL WINAPI NotingCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
    if (g_areaPath == path) g_areaDacl = sa ? Sddl(sa->lpSecurityDescriptor, DACL_SECURITY_INFORMATION) : "none";
    return g_realMkdir(path, sa);
}

FARPROC WINAPI Nt4GetProcAddress(HMODULE module, LPCSTR name) {
    return strcmp(name, "SetSecurityDescriptorControl") == 0 ? nullptr : GetProcAddress(module, name);
}

BOOL WINAPI FailingInitializeAcl(PACL, DWORD, DWORD) { return FALSE; }

BOOL WINAPI Nt4Version(LPOSVERSIONINFOA info) {
    BOOL ok = GetVersionExA(info);
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 0;
    return ok;
}

// Accounts other than SYSTEM, Administrators and the owner that path's
// DACL grants any of mask.
std::vector<std::string> OthersWith(const std::string& path, DWORD mask) {
    BYTE sd[4096];
    DWORD need = 0;
    BOOL present = FALSE, defaulted = FALSE;
    ACL* acl = nullptr;
    PSID owner = nullptr;
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION, sd, sizeof sd,
                          &need) ||
        !GetSecurityDescriptorDacl(sd, &present, &acl, &defaulted) || !acl ||
        !GetSecurityDescriptorOwner(sd, &owner, &defaulted))
        return {"no DACL: everyone"};
    std::vector<std::string> found;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        char* sid = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&ace)) || !ConvertSidToStringSidA(&ace->SidStart, &sid)) continue;
        std::string s = sid;
        LocalFree(sid);
        bool privileged = s == "S-1-5-18" || s == "S-1-5-32-544" || (owner && EqualSid(owner, &ace->SidStart));
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (ace->Mask & mask) && !privileged) found.push_back(s);
    }
    return found;
}

// Makes the log folder below drive through a whole record write.
void WriteRecordOn(const std::string& drive) {
    _putenv(("SYSTEMDRIVE=" + drive).c_str());
    WriteResultRecord("03-07-2004", "09:05:07", "u", "n", 0);
}

TEST(PrivateFolderSecurity, OnlyTheirEntries) {
    // The system: as Wine reports it (5.0 or later); NT 4.0, which has no
    // SetSecurityDescriptorControl; 2000 or later with its lookup failing,
    // where an unprotected DACL would take the root's entries too.
    enum System { kLater, kNt4, kLookupFails };
    struct Row {
        bool logFolder;  // the result log's folder, else the staging area
        System system;
        bool cannotBuild;
        bool existing;   // the log folder is there already
        const char* dacl;
    };
    const Row rows[] = {{false, kLater, false, false, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
                        {false, kNt4, false, false, "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
                        {false, kLater, true, false, ""},
                        {false, kLookupFails, true, false, ""},
                        {true, kLater, false, false, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"},
                        {true, kNt4, false, false, "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"},
                        {true, kLater, false, true, ""}};
    const DWORD kWrite = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | DELETE |
                         WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.logFolder ? "log folder" : "staging area") << " system " << row.system
                                        << (row.cannotBuild ? " cannot build" : "")
                                        << (row.existing ? " existing" : ""));
        TempDir pkg, root;
        MakeTree(pkg.path(), {"zorvad.sys", "sub\\", "sub\\deep.txt"});
        std::string area = root / (row.logFolder ? "QVLOG" : "QVTSTAGE.tmp");
        char staging[MAX_PATH];
        strcpy(staging, (area + "\\").c_str());
        g_areaPath = row.logFolder ? area : staging;
        g_areaDacl.clear();
        if (row.existing) MakeDirs(area);
        OsOverride<decltype(OsCalls::CreateDirectoryA)> mkdir(&OsCalls::CreateDirectoryA, NotingCreateDirectoryA);
        OsOverride<decltype(OsCalls::GetProcAddress)> proc(
            &OsCalls::GetProcAddress, row.system != kLater ? Nt4GetProcAddress : g_os.GetProcAddress);
        OsOverride<decltype(OsCalls::GetVersionExA)> version(&OsCalls::GetVersionExA,
                                                             row.system == kNt4 ? Nt4Version : g_os.GetVersionExA);
        // Built or not as the system says, else InitializeAcl fails.
        bool aclFails = row.cannotBuild && row.system == kLater;
        OsOverride<decltype(OsCalls::InitializeAcl)> acl(&OsCalls::InitializeAcl,
                                                         aclFails ? FailingInitializeAcl : g_os.InitializeAcl);
        g_realMkdir = mkdir.saved();
        testing::internal::CaptureStdout();
        int rc = 0;
        if (row.logFolder) {
            WriteRecordOn(root.path());
            _putenv("SYSTEMDRIVE=C:");
        } else {
            rc = StagePackage("C:\\", pkg.path().c_str(), staging);
        }
        std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
        EXPECT_EQ(g_areaDacl, row.dacl);
        EXPECT_EQ(rc, row.cannotBuild ? 1 : 0);
        if (row.cannotBuild) {
            EXPECT_EQ(lines, std::vector<std::string>{"Unable to make the temporary directory private."});
            EXPECT_TRUE(ListDir(root.path()).empty()) << "never stage into an open folder";
            continue;
        }
        if (row.logFolder) {
            EXPECT_EQ(ListDir(area), std::vector<std::string>{"QV.log"});
            if (row.existing) continue;  // made by the test: not ours to judge
            EXPECT_EQ(OthersWith(area, kWrite), std::vector<std::string>{}) << "nobody else may write there";
        } else {
            EXPECT_EQ(OthersWith(area, ~0u), std::vector<std::string>{}) << "nobody else may even read the folder";
        }
        for (const std::string& e : ListTree(area))
            EXPECT_EQ(OthersWith(area + "\\" + e, kWrite), std::vector<std::string>{}) << e;
    }
}

}  // namespace
