// The staging area's security. The descriptor handed to CreateDirectoryA
// is checked as it is; Wine then keeps only what its file modes can hold
// (SYSTEM and the owner, an administrator, may use the folder; Everyone's
// entry is gone) and gives copied files its own default DACL. Windows
// keeps the DACL as given and lets what is copied in inherit it.
#include "staging/staging.h"
#include "treefs.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

namespace {

const BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
// Any right that changes a file, its attributes or its security.
const DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                           FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

struct Sids {
    BYTE system[SECURITY_MAX_SID_SIZE];
    BYTE admins[SECURITY_MAX_SID_SIZE];
    BYTE self[SECURITY_MAX_SID_SIZE];  // the account running this, as owner
    Sids() {
        DWORD n = sizeof system;
        EXPECT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &n));
        n = sizeof admins;
        EXPECT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &n));
        HANDLE token = nullptr;
        BYTE user[256];
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
        EXPECT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &n));
        CloseHandle(token);
        EXPECT_TRUE(CopySid(sizeof self, self, reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
        BOOL admin = FALSE;
        EXPECT_TRUE(CheckTokenMembership(nullptr, admins, &admin) && admin) << "vorpkg runs as an administrator";
    }
    bool Privileged(PSID sid) { return EqualSid(sid, system) || EqualSid(sid, admins) || EqualSid(sid, self); }
};

// The descriptor the staging directory was created with.
std::string g_areaPath;
PSECURITY_DESCRIPTOR g_areaSd;
decltype(OsCalls::CreateDirectoryA) g_realCreateDirectory;

BOOL WINAPI NotingCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
    if (g_areaPath == path) g_areaSd = sa ? sa->lpSecurityDescriptor : nullptr;
    return g_realCreateDirectory(path, sa);
}

struct Dacl {
    std::vector<BYTE> sd;
    ACL* acl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
};

Dacl DaclOf(PSECURITY_DESCRIPTOR sd, const std::string& what) {
    Dacl d;
    BOOL present = FALSE, defaulted = FALSE;
    DWORD revision = 0;
    EXPECT_TRUE(GetSecurityDescriptorDacl(sd, &present, &d.acl, &defaulted));
    EXPECT_TRUE(present && d.acl) << what << ": no DACL gives everyone full control";
    GetSecurityDescriptorControl(sd, &d.control, &revision);
    return d;
}

Dacl ReadDacl(const std::string& path) {
    std::vector<BYTE> sd;
    DWORD need = 0;
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &need);
    sd.resize(need ? need : 1);
    EXPECT_TRUE(GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd.data(), need, &need)) << path;
    Dacl d = DaclOf(sd.data(), path);
    d.sd.swap(sd);  // the ACL points into it; a vector's buffer moves with the swap
    return d;
}

// No entry lets an account other than SYSTEM, Administrators or the owner
// (an administrator) have any of mask.
void OnlyPrivileged(const Dacl& d, DWORD mask, const std::string& what) {
    if (!d.acl) return;
    Sids sids;
    for (DWORD i = 0; i < d.acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(d.acl, i, reinterpret_cast<void**>(&ace)));
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || !(ace->Mask & mask)) continue;
        EXPECT_TRUE(sids.Privileged(&ace->SidStart)) << what << ": entry " << i << " opens it to another account";
    }
}

// The Wine side of the NT 4.0 case: advapi32 without the call that
// protects a DACL.
FARPROC WINAPI Nt4GetProcAddress(HMODULE module, LPCSTR name) {
    if (strcmp(name, "SetSecurityDescriptorControl") == 0) return nullptr;
    return GetProcAddress(module, name);
}

BOOL WINAPI FailingInitializeAcl(PACL, DWORD, DWORD) { return FALSE; }

struct SecurityRow {
    const char* name;
    bool nt4;         // no SetSecurityDescriptorControl
    bool cannotBuild;
};

void PrintTo(const SecurityRow& r, std::ostream* os) { *os << r.name; }

class StagingAreaSecurity : public testing::TestWithParam<SecurityRow> {};

TEST_P(StagingAreaSecurity, OnlySystemAndAdministratorsMayWrite) {
    const SecurityRow& row = GetParam();
    TempDir pkg, root;
    MakeTree(pkg.path(), {"zorvad.sys", "sub\\", "sub\\deep.txt"});
    std::string area = root / "QVTSTAGE.tmp";
    char staging[MAX_PATH];
    strcpy(staging, (area + "\\").c_str());
    OsOverride<decltype(OsCalls::GetProcAddress)> proc(&OsCalls::GetProcAddress,
                                                       row.nt4 ? Nt4GetProcAddress : g_os.GetProcAddress);
    OsOverride<decltype(OsCalls::InitializeAcl)> acl(&OsCalls::InitializeAcl,
                                                     row.cannotBuild ? FailingInitializeAcl : g_os.InitializeAcl);
    OsOverride<decltype(OsCalls::CreateDirectoryA)> mkdir(&OsCalls::CreateDirectoryA, NotingCreateDirectoryA);
    g_realCreateDirectory = mkdir.saved();
    g_areaPath = staging;
    g_areaSd = nullptr;
    testing::internal::CaptureStdout();
    int rc = StagePackage("C:\\", pkg.path().c_str(), staging);
    std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
    if (row.cannotBuild) {
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(lines, std::vector<std::string>{"Unable to make the temporary directory private."});
        EXPECT_TRUE(ListDir(root.path()).empty()) << "never stage into an open folder";
        return;
    }
    ASSERT_EQ(rc, 0) << testing::PrintToString(lines);
    Sids sids;
    // As built: exactly the two entries, inherited by files and folders.
    ASSERT_TRUE(g_areaSd) << "the staging directory was made with default security";
    Dacl built = DaclOf(g_areaSd, "built");
    ASSERT_TRUE(built.acl);
    ASSERT_EQ(built.acl->AceCount, 2);
    PSID expected[] = {sids.system, sids.admins};
    for (DWORD i = 0; i < 2; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(built.acl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, kInherit);
        EXPECT_EQ(ace->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
        EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i])) << "entry " << i;
    }
    EXPECT_EQ((built.control & SE_DACL_PROTECTED) != 0, !row.nt4);
    // As kept: nobody else may even read the folder, and nobody else may
    // write to what was copied into it.
    OnlyPrivileged(ReadDacl(area), ~0u, area);
    for (const std::string& e : ListTree(area)) OnlyPrivileged(ReadDacl(area + "\\" + e), kWriteRights, e);
}

INSTANTIATE_TEST_SUITE_P(Wine, StagingAreaSecurity,
                         testing::Values(SecurityRow{"protected", false, false}, SecurityRow{"nt4", true, false},
                                         SecurityRow{"cannot_build", false, true}),
                         [](const testing::TestParamInfo<SecurityRow>& i) { return std::string(i.param.name); });

}  // namespace
