#include "frontend/prompt_texts.h"

#include "platform/fixed_text.h"

#include <cstring>

namespace {

constexpr const char kEllipsis[] = "...";
constexpr size_t kEllipsisLength = sizeof kEllipsis - 1;

// Appends text, cut to at most max_length characters; a cut text ends in "...".
void AppendShortened(char* buffer, size_t size, const char* text, size_t max_length) {
    const size_t length = std::strlen(text);
    if (length <= max_length) {
        AppendText(buffer, size, text);
        return;
    }
    const size_t used = std::strlen(buffer);
    const size_t keep = max_length > kEllipsisLength ? max_length - kEllipsisLength : 0;
    if (used + keep < size) {
        std::memcpy(buffer + used, text, keep);
        buffer[used + keep] = '\0';
    }
    AppendText(buffer, size, kEllipsis);
}

// How many characters are left for a variable part when the other parts take `taken`.
size_t RoomFor(size_t size, size_t taken) {
    return taken + 1 < size ? size - 1 - taken : 0;
}

constexpr const char kCaptionSuffix[] = " Screen Saver Installation";
constexpr const char kConfirmStart[] = "This program will install ";
constexpr const char kConfirmAfterName[] = " Screen Saver to ";
constexpr const char kConfirmAfterFolder[] =
    " and will make it your default Screen Saver.  This installation will take ";
constexpr const char kConfirmEnd[] = " bytes.";
constexpr const char kUnknownWindowsDirectory[] = "your Windows directory";
constexpr const char kCodecStart[] =
    "The following file types are not currently supported by your Windows media player:\r\n\r\n";
constexpr const char kCodecAfterTypes[] =
    "\r\nThese file types must be supported before you can run this file.  Click on the OK "
    "button below to download a copy from ";
constexpr const char kCodecEnd[] = ".  If you wish to get this file at a later time, click Cancel.";
constexpr const char kCutListMarker[] = "...\r\n";

} // namespace

char* FormatThousands(uint32_t value, char* buffer) {
    char reversed[kThousandsSize];
    size_t digits = 0;
    do {
        reversed[digits++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    size_t length = 0;
    for (size_t i = 0; i < digits; ++i) {
        buffer[length++] = reversed[i];
        if (i % 3 == 2 && i + 1 < digits) buffer[length++] = ',';
    }
    buffer[length] = '\0';
    for (size_t low = 0, high = length - 1; low < high; ++low, --high) {
        const char swap = buffer[low];
        buffer[low] = buffer[high];
        buffer[high] = swap;
    }
    return buffer;
}

void BuildInstallCaption(const char* name, char* install_caption) {
    install_caption[0] = '\0';
    AppendShortened(install_caption, kInstallCaptionSize, name,
                    kInstallCaptionSize - 1 - (sizeof kCaptionSuffix - 1));
    AppendText(install_caption, kInstallCaptionSize, kCaptionSuffix);
}

void BuildReplaceMessage(const char* file_name, char* message) {
    // A name of 259 characters with ".SCR" still fits: nothing is ever cut here.
    message[0] = '\0';
    AppendText(message, kMessageSize, "There is already a screen saver by the same name (");
    AppendText(message, kMessageSize, file_name);
    AppendText(message, kMessageSize, ") installed on your system.  Would you like to replace it?");
}

void BuildDiskFullMessage(uint32_t needed_kilobytes, uint32_t free_kilobytes, char* message) {
    char needed[kThousandsSize], available[kThousandsSize];
    message[0] = '\0';
    AppendText(message, kMessageSize, "You will need ");
    AppendText(message, kMessageSize, FormatThousands(needed_kilobytes, needed));
    AppendText(message, kMessageSize,
               " kilobytes free in your Windows directory to install this screen saver.  It "
               "appears that you only have ");
    AppendText(message, kMessageSize, FormatThousands(free_kilobytes, available));
    AppendText(message, kMessageSize,
               " kilobytes free on this drive.  Would you like to continue the installation?");
}

void BuildConfirmMessage(const char* name, const char* windows_directory, uint32_t total_size,
                         char* message) {
    char size_text[kThousandsSize];
    FormatThousands(total_size, size_text);
    const char* folder =
        windows_directory != nullptr ? windows_directory : kUnknownWindowsDirectory;
    // The folder is at most a path; the name gives way when both are long.
    const size_t taken = (sizeof kConfirmStart - 1) + (sizeof kConfirmAfterName - 1) +
                         std::strlen(folder) + (sizeof kConfirmAfterFolder - 1) +
                         std::strlen(size_text) + (sizeof kConfirmEnd - 1);
    message[0] = '\0';
    AppendText(message, kMessageSize, kConfirmStart);
    AppendShortened(message, kMessageSize, name, RoomFor(kMessageSize, taken));
    AppendText(message, kMessageSize, kConfirmAfterName);
    AppendText(message, kMessageSize, folder);
    AppendText(message, kMessageSize, kConfirmAfterFolder);
    AppendText(message, kMessageSize, size_text);
    AppendText(message, kMessageSize, kConfirmEnd);
}

void BuildCodecMessage(const char* unsupported_types, const char* page_address, char* message) {
    const size_t taken = (sizeof kCodecStart - 1) + (sizeof kCodecAfterTypes - 1) +
                         std::strlen(page_address) + (sizeof kCodecEnd - 1);
    const size_t room = RoomFor(kMessageSize, taken);
    message[0] = '\0';
    AppendText(message, kMessageSize, kCodecStart);
    const size_t types_length = std::strlen(unsupported_types);
    if (types_length <= room) {
        AppendText(message, kMessageSize, unsupported_types);
    } else {
        // Whole lines only, as many as leave room for the marker line.
        const size_t lines_room =
            room > sizeof kCutListMarker - 1 ? room - (sizeof kCutListMarker - 1) : 0;
        size_t keep = 0;
        for (size_t i = 0; i + 1 < types_length && i + 2 <= lines_room; ++i)
            if (unsupported_types[i] == '\r' && unsupported_types[i + 1] == '\n') keep = i + 2;
        const size_t used = std::strlen(message);
        if (used + keep < kMessageSize) {
            std::memcpy(message + used, unsupported_types, keep);
            message[used + keep] = '\0';
        }
        AppendText(message, kMessageSize, kCutListMarker);
    }
    AppendText(message, kMessageSize, kCodecAfterTypes);
    AppendText(message, kMessageSize, page_address);
    AppendText(message, kMessageSize, kCodecEnd);
}

namespace {

// `start`, the name (shortened to leave room) and `end`: the end's words always whole.
template <size_t StartSize, size_t EndSize>
void BuildNameMessage(const char (&start)[StartSize], const char* name, const char (&end)[EndSize],
                      char* message) {
    message[0] = '\0';
    AppendText(message, kMessageSize, start);
    AppendShortened(message, kMessageSize, name,
                    RoomFor(kMessageSize, (StartSize - 1) + (EndSize - 1)));
    AppendText(message, kMessageSize, end);
}

} // namespace

void BuildIncompleteMessage(const char* name, char* message) {
    static constexpr char kEnd[] =
        " Screen Saver could not be completed: the installer file is damaged, or a file could "
        "not be created.  The screen saver has not been made your default Screen Saver.  "
        "Please download the installer again.";
    BuildNameMessage("The installation of ", name, kEnd, message);
}

void BuildAlreadyRunningMessage(const char* name, char* message) {
    // Asked before the installer trims the name for its files.
    char trimmed[kPathSize] = "";
    AppendText(trimmed, sizeof trimmed, name);
    RemoveTrailingBlanks(trimmed);
    BuildNameMessage("Another installation or removal of ", trimmed,
                     " Screen Saver is running.  Wait until it has finished, and then run this "
                     "installation again.",
                     message);
}
