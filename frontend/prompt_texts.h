// The texts of the installer's prompts, captions and closing messages, built in fixed buffers
// with bounded copies only. Portable, so that every length limit is checked by the unit tests.
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

// The value in decimal with a comma between groups of three digits. buffer holds at least
// kThousandsSize bytes. Answers buffer.
char* FormatThousands(uint32_t value, char* buffer);

// "<name> Screen Saver Installation" into install_caption (kInstallCaptionSize bytes); a name
// too long for it is cut and ends in "...".
void BuildInstallCaption(const char* name, char* install_caption);

// The message texts, each into a kMessageSize buffer.
void BuildReplaceMessage(const char* file_name, char* message);
void BuildDiskFullMessage(uint32_t needed_kilobytes, uint32_t free_kilobytes, char* message);
// windows_directory may be null when it cannot be read: the message then names
// "your Windows directory" instead.
void BuildConfirmMessage(const char* name, const char* windows_directory, uint32_t total_size,
                         char* message);
// An installation that could not install every member; the name gives way when long.
void BuildIncompleteMessage(const char* name, char* message);
// Another installer or uninstaller of the same screen saver is running.
void BuildAlreadyRunningMessage(const char* name, char* message);
void BuildCodecMessage(const char* unsupported_types, const char* page_address, char* message);
