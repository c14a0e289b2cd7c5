// Reading the install package: short passes over its header, its installed size, the
// agreement text and the member table. Each locates the package afresh, reads forward and
// closes its handle (the agreement text keeps it until the text is released).
//
// Every pass comes twice: the installer's own, which reads the running program's file, and
// one named ...Of that reads the installer at `path` (the authoring tool reads installers, and
// the tests read files of their making, without either standing in for the running program).
//
// A package that the file cannot supply whole is treated as one that cannot be located:
// no pass ever reads past the end of the file or past a buffer.
#pragma once

#include "package/package_format.h"
#include "platform/file_api.h"

#include <cstdint>

// Reads the name, NeedsDirectX and the colours. Leaves every output as it was, and answers
// false, when the package cannot be located or its header is cut short. The name is always
// NUL-terminated.
bool ReadPackageHeader(PackageHeader* header);
bool ReadPackageHeaderOf(const char* path, PackageHeader* header);

// Adds up the installed size: UnpackedSize of compressed members, StoredSize of stored ones,
// in unsigned 32-bit arithmetic. False (and 0) when the package cannot be located or its
// header or member table is cut short.
bool SumMemberSizes(uint32_t* total);
bool SumMemberSizesOf(const char* path, uint32_t* total);

struct AgreementText {
    FileHandle package = kNoFile;
    MemoryHandle memory = nullptr;
    char* text = nullptr; // AgreementLength bytes and a terminating NUL
};

// Reads the agreement text. False when there is none: no package, no length, length 0, no
// memory, or fewer bytes than the length says. On true the caller shows the text and then
// calls ReleaseAgreementText.
bool ReadAgreementText(AgreementText* agreement);
bool ReadAgreementTextOf(const char* path, AgreementText* agreement);
void ReleaseAgreementText(AgreementText* agreement);

// First step of the member-table walk: locates the package, passes over the header and reads
// FirstMediaNumber. Returns the handle standing at the first entry, or kNoFile.
FileHandle OpenMemberTable(uint16_t* first_media_number);
FileHandle OpenMemberTableOf(const char* path, uint16_t* first_media_number);

// Reads the next 28-byte entry. False when the file cannot supply it whole.
bool ReadMemberEntry(FileHandle package, MemberEntry* entry);
