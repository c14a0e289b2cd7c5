// The locator and the three short passes over an arbitrary file standing for the installer:
// whatever the file holds, they must end (with a result or a refusal) without reading past
// a buffer, and the results they give must keep their promises.
#include "fuzz_support.h"
#include "package/package_locator.h"
#include "package/package_reading.h"
#include "support/file_api_test_hooks.h"

#include <cstring>

namespace {

// The table walk, as the installation run starts it; the entries of a file of a few KB end
// long before this bound unless the file is cut, so the bound only guards against a loop
// that does not advance.
constexpr int kMaxEntries = 1 << 16;

void CheckLocator() {
    const FileHandle first = LocatePackage();
    const FileHandle second = LocatePackage();
    // Each pass must get a handle of its own at the same place.
    if ((first == kNoFile) != (second == kNoFile)) std::abort();
    if (first != kNoFile) {
        if (first == second ||
            PlatSeek(first, 0, kFromCurrent) != PlatSeek(second, 0, kFromCurrent))
            std::abort();
        PlatClose(first);
        PlatClose(second);
    }
}

void CheckHeader() {
    PackageHeader header;
    std::memset(&header, 0x5A, sizeof header);
    ReadPackageHeader(&header);
    // Either untouched or a name that ends inside its field.
    if (std::memchr(header.ScreenSaverName, '\0', sizeof header.ScreenSaverName) == nullptr) {
        for (uint8_t byte : header.ScreenSaverName)
            if (byte != 0x5A) std::abort();
    }
}

void CheckAgreement() {
    AgreementText agreement;
    if (ReadAgreementText(&agreement)) {
        if (agreement.text == nullptr || agreement.package == kNoFile) std::abort();
        // The text is NUL-terminated within what was allocated; strlen walks it under ASan.
        volatile size_t length = std::strlen(agreement.text);
        (void)length;
        ReleaseAgreementText(&agreement);
    }
}

void CheckTableWalk() {
    uint32_t total = 0;
    const bool located = SumMemberSizes(&total);
    if (!located && total != 0) std::abort();

    uint16_t first_media_number = 0;
    const FileHandle table = OpenMemberTable(&first_media_number);
    if (table == kNoFile) return;
    MemberEntry entry;
    uint32_t walked = 0;
    bool whole = false;
    for (int i = 0; i < kMaxEntries && ReadMemberEntry(table, &entry); ++i) {
        walked += entry.UnpackedSize != 0 ? entry.UnpackedSize : entry.StoredSize;
        if (entry.StoredSize == 0) {
            whole = true;
            break;
        }
    }
    PlatClose(table);
    // The size sum and the run's walk read the same table and must agree on it.
    if (located != whole || (whole && walked != total)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::ScratchFolder() + "/installer.exe";
    if (!fuzz::WriteWholeFile(path, data, size)) return 0;
    PlatSetModuleFileName(path.c_str());
    CheckLocator();
    CheckHeader();
    CheckAgreement();
    CheckTableWalk();
    return 0;
}
