// A held folder's owner, DACL and identity, read through the handle (that
// nobody renames it meanwhile: the staging and result-log tests). Wine reports a DACL of its own
// making (the folder's owner and SYSTEM for a private one; Everyone reads a
// folder made with the default), so the hostile descriptors come through the
// OS-call table.
#include "common/heldfolder.h"
#include "staging/privatearea.h"
#include "osoverride.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

namespace {

const char* g_fakeSddl = nullptr;

// The descriptor in g_fakeSddl, as the folder's own.
BOOL WINAPI FakeKernelObjectSecurity(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR sd, DWORD size,
                                     LPDWORD needed) {
    PSECURITY_DESCRIPTOR made = nullptr;
    ULONG length = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(g_fakeSddl, SDDL_REVISION_1, &made, &length))
        return FALSE;
    // Absolute form for the Get* calls: the self-relative one reads as well.
    *needed = length;
    BOOL fits = length <= size;
    if (fits) memcpy(sd, made, length);
    LocalFree(made);
    return fits;
}

BOOL WINAPI FatVolume(LPCSTR, LPSTR, DWORD, LPDWORD serial, LPDWORD maxName, LPDWORD flags, LPSTR, DWORD) {
    *serial = 0x1234;
    *maxName = 255;
    *flags = FS_CASE_IS_PRESERVED;  // no FS_PERSISTENT_ACLS
    return TRUE;
}

BOOL WINAPI NoIndex(HANDLE, LPBY_HANDLE_FILE_INFORMATION info) {
    memset(info, 0, sizeof *info);
    info->dwVolumeSerialNumber = 7;
    return TRUE;
}

}  // namespace

TEST(HeldFolder, OwnerDaclAndIdentity) {
    struct Row {
        const char* what;
        const char* sddl;  // null: the folder's real descriptor
        bool privateMade;  // made with the staging area's security
        bool fat;
        bool ownerTrusted, isPrivate;
    };
    const Row rows[] = {
        {"private, as Wine keeps it", nullptr, true, false, true, true},
        {"default security: others read", nullptr, false, false, true, false},
        {"owned by Administrators", "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true, false, true, true},
        {"owned by SYSTEM, a deny entry", "O:SYD:(D;;FA;;;WD)(A;;FA;;;SY)", true, false, true, true},
        {"owned by Users", "O:BUD:P(A;OICI;FA;;;SY)", true, false, false, true},
        {"Everyone may write", "O:BAD:(A;;FA;;;SY)(A;;FW;;;WD)", true, false, true, false},
        {"Users, for children only", "O:BAD:(A;;FA;;;SY)(A;OICIIO;FA;;;BU)", true, false, true, false},
        {"no DACL", "O:BA", true, false, true, false},
        {"FAT keeps none", "O:WDD:(A;;FA;;;WD)", false, true, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        std::string folder = dir / "area";
        SECURITY_ATTRIBUTES security;
        ASSERT_TRUE(BuildPrivateAreaSecurity(&security));
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), row.privateMade ? &security : nullptr));
        g_fakeSddl = row.sddl;
        OsOverride<decltype(OsCalls::GetKernelObjectSecurity)> fake(
            &OsCalls::GetKernelObjectSecurity, row.sddl ? FakeKernelObjectSecurity : g_os.GetKernelObjectSecurity);
        OsOverride<decltype(OsCalls::GetVolumeInformationA)> fat(
            &OsCalls::GetVolumeInformationA, row.fat ? FatVolume : g_os.GetVolumeInformationA);
        HANDLE held = HoldFolder(folder.c_str());
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(HeldFolderOwnerTrusted(held), row.ownerTrusted);
        EXPECT_EQ(HeldFolderPrivate(held), row.isPrivate);
        g_os.CloseHandle(held);
    }

    // A file system without an index gives no identity (the same folder
    // under two names, and another one: the staged runs from X:\ and E:\).
    TempDir dir;
    HANDLE held = HoldFolder(dir.path().c_str());
    FolderId id;
    EXPECT_TRUE(HeldFolderId(held, &id));
    {
        OsOverride<decltype(OsCalls::GetFileInformationByHandle)> none(&OsCalls::GetFileInformationByHandle, NoIndex);
        EXPECT_FALSE(HeldFolderId(held, &id));
    }
    g_os.CloseHandle(held);
}
