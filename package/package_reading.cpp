#include "package/package_reading.h"

#include "package/package_locator.h"

#include <cstring>

namespace {

bool ReadExactly(FileHandle file, void* buffer, uint32_t count) {
    return PlatRead(file, buffer, count) == count;
}

// Moves forward from the current position. Seeking beyond the end is allowed by the file
// calls, so the reads that follow are what detect a cut-short file.
bool SkipForward(FileHandle file, uint32_t count) {
    return PlatSeek(file, static_cast<int32_t>(count), kFromCurrent) != -1;
}

bool ReadAgreementLength(FileHandle file, uint16_t* length) {
    return ReadExactly(file, length, sizeof *length);
}

// Leaves the file at the member table and yields FirstMediaNumber. The size sum seeks over
// the reserved field; the installation run reads it and passes it by.
bool PassHeader(FileHandle file, bool read_reserved, uint16_t* first_media_number) {
    uint16_t agreement_length = 0, reserved = 0;
    if (!ReadAgreementLength(file, &agreement_length) || !SkipForward(file, agreement_length) ||
        !SkipForward(file, kScreenSaverNameSize))
        return false;
    const bool past_reserved = read_reserved
                                   ? SkipForward(file, 12) && ReadExactly(file, &reserved, 2)
                                   : SkipForward(file, 14);
    return past_reserved && ReadExactly(file, first_media_number, sizeof *first_media_number);
}

// Each pass below takes the handle that a locate gave (kNoFile when it found no package) and
// owns it from then on.

FileHandle PassToMemberTable(FileHandle file, bool read_reserved, uint16_t* first_media_number) {
    if (file == kNoFile) return kNoFile;
    if (!PassHeader(file, read_reserved, first_media_number)) {
        PlatClose(file);
        return kNoFile;
    }
    return file;
}

bool ReadHeaderFields(FileHandle file, PackageHeader* header) {
    if (file == kNoFile) return false;
    uint16_t agreement_length = 0;
    PackageHeader read{};
    const bool whole =
        ReadAgreementLength(file, &agreement_length) && SkipForward(file, agreement_length) &&
        ReadExactly(file, read.ScreenSaverName, kScreenSaverNameSize) &&
        ReadExactly(file, &read.NeedsDirectX, 4) && ReadExactly(file, &read.TopColor, 4) &&
        ReadExactly(file, &read.BottomColor, 4);
    PlatClose(file);
    if (!whole) return false;
    // A name field without its NUL keeps its first 259 characters.
    read.ScreenSaverName[kScreenSaverNameSize - 1] = '\0';
    *header = read;
    return true;
}

bool SumSizes(FileHandle package, uint32_t* total) {
    *total = 0;
    uint16_t first_media_number = 0; // read and ignored
    const FileHandle file = PassToMemberTable(package, false, &first_media_number);
    if (file == kNoFile) return false;
    uint32_t sum = 0;
    MemberEntry entry;
    bool whole = true;
    do {
        if (!ReadMemberEntry(file, &entry)) {
            whole = false;
            break;
        }
        sum += entry.UnpackedSize != 0 ? entry.UnpackedSize : entry.StoredSize;
    } while (entry.StoredSize != 0);
    PlatClose(file);
    if (whole) *total = sum;
    return whole;
}

bool ReadAgreement(FileHandle file, AgreementText* agreement) {
    *agreement = AgreementText{};
    if (file == kNoFile) return false;
    uint16_t length = 0;
    if (!ReadAgreementLength(file, &length) || length == 0) {
        PlatClose(file);
        return false;
    }
    const MemoryHandle memory = PlatGlobalAlloc(uint32_t{length} + 1);
    char* text = memory ? static_cast<char*>(PlatGlobalLock(memory)) : nullptr;
    if (!text) {
        if (memory) PlatGlobalFree(memory);
        PlatClose(file);
        return false;
    }
    if (!ReadExactly(file, text, length)) {
        PlatGlobalUnlock(memory);
        PlatGlobalFree(memory);
        PlatClose(file);
        return false;
    }
    agreement->package = file;
    agreement->memory = memory;
    agreement->text = text;
    return true;
}

} // namespace

bool ReadPackageHeader(PackageHeader* header) {
    return ReadHeaderFields(LocatePackage(), header);
}

bool ReadPackageHeaderOf(const char* path, PackageHeader* header) {
    return ReadHeaderFields(LocatePackageInFile(path), header);
}

bool SumMemberSizes(uint32_t* total) {
    return SumSizes(LocatePackage(), total);
}

bool SumMemberSizesOf(const char* path, uint32_t* total) {
    return SumSizes(LocatePackageInFile(path), total);
}

bool ReadAgreementText(AgreementText* agreement) {
    return ReadAgreement(LocatePackage(), agreement);
}

bool ReadAgreementTextOf(const char* path, AgreementText* agreement) {
    return ReadAgreement(LocatePackageInFile(path), agreement);
}

void ReleaseAgreementText(AgreementText* agreement) {
    if (agreement->memory) {
        PlatGlobalUnlock(agreement->memory);
        PlatGlobalFree(agreement->memory);
    }
    if (agreement->package != kNoFile) PlatClose(agreement->package);
    *agreement = AgreementText{};
}

FileHandle OpenMemberTable(uint16_t* first_media_number) {
    return PassToMemberTable(LocatePackage(), true, first_media_number);
}

FileHandle OpenMemberTableOf(const char* path, uint16_t* first_media_number) {
    return PassToMemberTable(LocatePackageInFile(path), true, first_media_number);
}

bool ReadMemberEntry(FileHandle package, MemberEntry* entry) {
    return ReadExactly(package, entry, sizeof *entry);
}
