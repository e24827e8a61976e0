// A folder we may trust, judged through the handle that holds it (that
// nobody renames it meanwhile: the staging and result-log tests), and its
// identity. Wine reports a DACL of its own making (the folder's owner and
// SYSTEM for a private one; Everyone reads a folder made with the default),
// so the hostile descriptors come through the OS-call table; links are
// played by the name's attributes.
#include "common/heldfolder.h"
#include "common/privatearea.h"
#include "common/trustedfolder.h"
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

DWORD WINAPI LinkAttributes(LPCSTR) { return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT; }

// The handle itself a reparse point: a junction held as itself, its name
// replaced by a plain folder meanwhile.
BOOL WINAPI ReparseHandle(HANDLE h, LPBY_HANDLE_FILE_INFORMATION info) {
    BOOL ok = GetFileInformationByHandle(h, info);
    info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return ok;
}

BOOL WINAPI NoIndex(HANDLE, LPBY_HANDLE_FILE_INFORMATION info) {
    memset(info, 0, sizeof *info);
    info->dwVolumeSerialNumber = 7;
    return TRUE;
}

}  // namespace

TEST(TrustedFolder, OnePredicateTwoPolicies) {
    const Trust kOk = kTrusted, kNo = kNotOurs, kOpen = kOpenToOthers;
    struct Row {
        const char* what;
        const char* sddl;  // null: the folder's real descriptor
        bool privateMade;  // made with the staging area's security
        bool fat, link;
        Trust area, log;   // judged as the staging area, as the result log's folder
        bool handleLink = false;
    };
    const Row rows[] = {
        {"private, as Wine keeps it", nullptr, true, false, false, kOk, kOk},
        {"default security: others read", nullptr, false, false, false, kOpen, kOk},
        {"a link to a private folder", nullptr, true, false, true, kNo, kNo},
        {"owned by Administrators", "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true, false, false, kOk, kOk},
        {"owned by SYSTEM, a deny entry", "O:SYD:(D;;FA;;;WD)(A;;FA;;;SY)", true, false, false, kOk, kOk},
        {"owned by Users", "O:BUD:P(A;OICI;FA;;;SY)", true, false, false, kNo, kNo},
        {"Users read and list", "O:BAD:(A;;FA;;;SY)(A;OICI;0x1200a9;;;BU)", true, false, false, kOpen, kOk},
        {"Users generic read", "O:BAD:(A;;FA;;;SY)(A;OICIIO;GR;;;BU)", true, false, false, kOpen, kOk},
        {"Everyone may write", "O:BAD:(A;;FA;;;SY)(A;;FW;;;WD)", true, false, false, kOpen, kOpen},
        // What Server 2003's root hands to every folder made in it.
        {"Users create files and folders",
         "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;CI;0x6;;;BU)", true, false, false, kOpen, kOpen},
        {"the handle a reparse point", nullptr, true, false, false, kNo, kNo, true},
        {"Users, for children only", "O:BAD:(A;;FA;;;SY)(A;OICIIO;FA;;;BU)", true, false, false, kOpen, kOpen},
        {"no DACL: everyone", "O:BA", true, false, false, kOpen, kOpen},
        {"FAT keeps none", "O:WDD:(A;;FA;;;WD)", false, true, false, kOk, kOk},
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
        OsOverride<decltype(OsCalls::GetFileAttributesA)> link(
            &OsCalls::GetFileAttributesA, row.link ? LinkAttributes : g_os.GetFileAttributesA);
        OsOverride<decltype(OsCalls::GetFileInformationByHandle)> handle(
            &OsCalls::GetFileInformationByHandle, row.handleLink ? ReparseHandle : g_os.GetFileInformationByHandle);
        HeldFolder held;
        ASSERT_TRUE(HoldFolder(folder.c_str(), 0, &held));
        EXPECT_EQ(JudgeHeldFolder(folder.c_str(), held, kOthersNothing), row.area);
        EXPECT_EQ(JudgeHeldFolder(folder.c_str(), held, kOthersRead), row.log);
        LetGo(&held);
    }
    // A file system without an index gives no identity (the same folder
    // under two names, and another one: the staged runs from X:\ and E:\).
    TempDir dir;
    HeldFolder held;
    ASSERT_TRUE(HoldFolder(dir.path().c_str(), 0, &held));
    FolderId id;
    EXPECT_TRUE(HeldFolderId(held.handle, &id));
    {
        OsOverride<decltype(OsCalls::GetFileInformationByHandle)> none(&OsCalls::GetFileInformationByHandle, NoIndex);
        EXPECT_FALSE(HeldFolderId(held.handle, &id));
    }
    LetGo(&held);
}
