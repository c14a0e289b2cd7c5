#include "tools/lmvpack/support/temporary_files.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

using PathChar = fs::path::value_type;

struct TemporaryEntry {
    enum State : int { kFree, kFilling, kNamed };
    enum Kind : int { kFile, kFolder, kChild };
    std::atomic<int> state{kFilling};
    TemporaryEntry* next = nullptr; // set once, before the entry is reachable
    Kind kind = kFile;
    pid_t pid = 0;
    // Never freed: the handler may read it while another thread hands the entry back. A
    // longer name gets a new buffer; every buffer the entry has had stays with it.
    PathChar* path = nullptr;
    size_t capacity = 0;
    std::vector<std::unique_ptr<PathChar[]>> buffers;
};

namespace {

std::atomic<TemporaryEntry*> g_entries{nullptr};

// A free entry taken for the caller (state kFilling), or a new one put at the list's head.
TemporaryEntry* TakeEntry() {
    for (TemporaryEntry* entry = g_entries.load(); entry; entry = entry->next) {
        int expected = TemporaryEntry::kFree;
        if (entry->state.compare_exchange_strong(expected, TemporaryEntry::kFilling)) return entry;
    }
    auto* entry = new TemporaryEntry;
    entry->next = g_entries.load();
    while (!g_entries.compare_exchange_weak(entry->next, entry)) {
    }
    return entry;
}

TemporaryEntry* NamePath(const fs::path& path, TemporaryEntry::Kind kind) {
    TemporaryEntry* entry = TakeEntry();
    const fs::path::string_type& text = path.native();
    if (entry->capacity < text.size() + 1) {
        entry->capacity = std::max<size_t>(text.size() + 1, 256);
        entry->buffers.emplace_back(new PathChar[entry->capacity]);
        entry->path = entry->buffers.back().get();
    }
    std::memcpy(entry->path, text.c_str(), (text.size() + 1) * sizeof(PathChar));
    entry->kind = kind;
    entry->state.store(TemporaryEntry::kNamed, std::memory_order_release);
    return entry;
}

void Forget(TemporaryEntry*& entry) {
    if (entry) entry->state.store(TemporaryEntry::kFree, std::memory_order_release);
    entry = nullptr;
}

bool IsNamed(const TemporaryEntry* entry, TemporaryEntry::Kind kind) {
    return entry->state.load(std::memory_order_acquire) == TemporaryEntry::kNamed &&
           entry->kind == kind;
}

#ifdef _WIN32
// lmvpack opens its files with delete sharing (file_streams.h): those that a thread is
// writing go when the process ends and closes them, the others at once.
BOOL WINAPI OnConsoleStop(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    for (TemporaryEntry* entry = g_entries.load(); entry; entry = entry->next)
        if (IsNamed(entry, TemporaryEntry::kFile)) DeleteFileW(entry->path);
    for (TemporaryEntry* entry = g_entries.load(); entry; entry = entry->next)
        if (IsNamed(entry, TemporaryEntry::kFolder)) RemoveDirectoryW(entry->path);
    return FALSE; // the default handler ends the process
}
#else
// Everything directly inside a folder, then the folder: a private folder holds files only,
// some of them made by a child under names of its choosing.
void RemoveFolderInHandler(const char* path) {
    const int folder = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (folder >= 0) {
        alignas(8) char buffer[4096];
        for (;;) {
            const long got = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer);
            if (got <= 0) break;
            for (long at = 0; at < got;) {
                const auto* entry = reinterpret_cast<const dirent*>(buffer + at);
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
                    ::unlinkat(folder, name, 0);
                at += entry->d_reclen;
            }
        }
        ::close(folder);
    }
    ::rmdir(path);
}

void OnStopSignal(int signal) {
    const int saved = errno;
    for (TemporaryEntry* entry = g_entries.load(); entry; entry = entry->next) {
        if (!IsNamed(entry, TemporaryEntry::kChild)) continue;
        ::kill(-entry->pid, SIGKILL);
        while (::waitpid(entry->pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (TemporaryEntry* entry = g_entries.load(); entry; entry = entry->next)
        if (IsNamed(entry, TemporaryEntry::kFile)) ::unlink(entry->path);
    for (TemporaryEntry* entry = g_entries.load(); entry; entry = entry->next)
        if (IsNamed(entry, TemporaryEntry::kFolder)) RemoveFolderInHandler(entry->path);
    errno = saved;
    // The handler was reset on entry, so the signal, blocked until it returns, then ends the
    // tool as it would have without it (the shell sees 128 + its number).
    ::raise(signal);
}
#endif

} // namespace

TemporaryPath::TemporaryPath(fs::path path, Kind kind) : path_(std::move(path)), kind_(kind) {
    entry_ = NamePath(path_, kind == Kind::File ? TemporaryEntry::kFile : TemporaryEntry::kFolder);
}

TemporaryPath::~TemporaryPath() {
    Remove();
}

TemporaryPath::TemporaryPath(TemporaryPath&& other) noexcept
    : path_(std::move(other.path_)), kind_(other.kind_), entry_(std::exchange(other.entry_, {})) {}

TemporaryPath& TemporaryPath::operator=(TemporaryPath&& other) noexcept {
    if (this != &other) {
        Remove();
        path_ = std::move(other.path_);
        kind_ = other.kind_;
        entry_ = std::exchange(other.entry_, nullptr);
    }
    return *this;
}

void TemporaryPath::Release() {
    Forget(entry_);
}

void TemporaryPath::Remove() {
    if (!entry_) return;
    std::error_code ignored;
    if (kind_ == Kind::Folder)
        fs::remove_all(path_, ignored);
    else
        fs::remove(path_, ignored);
    Forget(entry_);
}

ChildRegistration::ChildRegistration(pid_t pid) {
    entry_ = TakeEntry();
    entry_->kind = TemporaryEntry::kChild;
    entry_->pid = pid;
    entry_->state.store(TemporaryEntry::kNamed, std::memory_order_release);
}

ChildRegistration::~ChildRegistration() {
    Forget(entry_);
}

void RemoveTemporariesOnSignals() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleStop, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
#endif
}
