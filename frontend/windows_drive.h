// The drive of the Windows directory: the folder whose free space the disk check asks for,
// and the root that the DirectX test runs from.
#pragma once

#include <cstdint>

// The folder whose free space is asked for: the path up to and including its last "\" within
// its first 32 characters (C:\WINDOWS gives C:\). A path without "\" there is used whole, with
// a "\" added, so that the space of its own drive is still found. root holds kPathSize.
void FreeSpaceRoot(const char* path, char* root);

// Free bytes as the kilobytes the disk check compares: rounded down, and held at 0xFFFFFFFF
// (about 4 TiB) where the count would not fit, never wrapped round to a small number that
// would ask a full-disk question of a nearly empty drive.
uint32_t KilobytesFromBytes(uint64_t bytes);

// The drive root of the Windows directory, for the DirectX test: cut after the first "\".
// False when the path holds none. root holds kPathSize.
bool DriveRootOf(const char* path, char* root);
