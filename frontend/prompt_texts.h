// The texts of the installer's prompts and closing messages, built in fixed buffers with
// bounded copies only. Portable, so that every length limit is checked by the unit tests.
//
// Where a text would not fit its buffer, the variable part is shortened and the fixed words
// stay whole: a name too long for a caption or message is cut and ends in "...", a codec list
// too long for its notice is cut after a whole line and ends in a "..." line.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kMessageSize = 512;
constexpr size_t kInstallCaptionSize = 256;
constexpr size_t kThousandsSize = 14; // "4,294,967,295" and the terminator
constexpr size_t kTextPathSize = 260;

// Appends text to the NUL-terminated buffer, as much as fits. False when it was cut.
bool AppendText(char* buffer, size_t size, const char* text);

// The value in decimal with a comma between groups of three digits. buffer holds at least
// kThousandsSize bytes. Answers buffer.
char* FormatThousands(uint32_t value, char* buffer);

// Removes trailing blanks (character 32 only) in place.
void RemoveTrailingBlanks(char* text);

// Upper-cases a-z in place; every other byte stays.
void UpperCaseAscii(char* text);

// Trims ScreenSaverName, fills install_caption (kInstallCaptionSize bytes) with
// "<name> Screen Saver Installation" and ScreenSaverFile with "<name>.scr". False, with
// ScreenSaverFile left empty, when the name is not a plain file name or is too long to make
// one in ScreenSaverFile; the caption is filled all the same.
bool PrepareInstallNames(char* install_caption);

// directory + "\" (unless it ends in one) + file, into a kTextPathSize buffer. False, with
// path unchanged, when the result would not fit.
bool JoinPath(const char* directory, const char* file, char* path);

// The folder whose free space is asked for: the path up to and including its last "\" within
// its first 32 characters (C:\WINDOWS gives C:\). A path without "\" there is used whole, with
// a "\" added, so that the space of its own drive is still found. root holds kTextPathSize.
void FreeSpaceRoot(const char* path, char* root);

// Free bytes as the kilobytes the disk check compares: rounded down, and held at 0xFFFFFFFF
// (about 4 TiB) where the count would not fit, never wrapped round to a small number that
// would ask a full-disk question of a nearly empty drive.
uint32_t KilobytesFromBytes(uint64_t bytes);

// The drive root of the Windows directory, for the DirectX test: cut after the first "\".
// False when the path holds none.
bool DriveRootOf(const char* path, char* root);

// The message texts, each into a kMessageSize buffer.
void BuildReplaceMessage(const char* file_name, char* message);
void BuildDiskFullMessage(uint32_t needed_kilobytes, uint32_t free_kilobytes, char* message);
// windows_directory may be null when it cannot be read: the message then names
// "your Windows directory" instead.
void BuildConfirmMessage(const char* name, const char* windows_directory, uint32_t total_size,
                         char* message);
// An installation that could not install every member; the name gives way when long.
void BuildIncompleteMessage(const char* name, char* message);
void BuildCodecMessage(const char* unsupported_types, const char* page_address, char* message);
