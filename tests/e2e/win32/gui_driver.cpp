// GUI driver for the end-to-end tests: runs inside the same Wine prefix as the installer,
// starts it, watches its windows the way a user sees them, answers them by a script and
// writes everything it saw to a log (one JSON object per line) that the harness reads.
//
// Usage: gui_driver.exe SCRIPT LOG
// Script lines (tab-separated fields, '#' starts a comment):
//   run<TAB>C:\path\setup.exe           the program to start
//   args<TAB>/S                         its command-line arguments (may be empty)
//   answer<TAB>CAPTION<TAB>BUTTON       answer the next window with this caption by pressing
//                                       the button whose text (without '&') is BUTTON
//   cancel<TAB>C:\path\file<TAB>SIZE    press the install dialog's Cancel once the file has
//                                       reached SIZE bytes; cancels fire in script order
//   shot<TAB>CAPTION                    before answering a window with this caption, ask the
//                                       harness for a screenshot and wait until it is taken
//   timeout<TAB>SECONDS                 give up (and end the program) after this long
// Answers are consumed in script order per caption. A visible dialog that no answer matches
// is logged as unexpected and dismissed with Cancel, No, Decline or OK so the run ends.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr int kMaxRules = 64;
constexpr int kMaxWindows = 256;
constexpr int kTextMax = 2048;

struct Answer {
    char caption[260];
    char button[64];
    bool used;
};

struct CancelTrigger {
    char path[260];
    DWORD size;
    bool fired;
};

struct Seen {
    HWND hwnd;
    char signature[8192];
    bool everVisible;
    bool answered;
};

char g_program[260];
char g_args[1024];
char g_logPath[260];
char g_shotCaption[260];
Answer g_answers[kMaxRules];
int g_answerCount;
CancelTrigger g_cancels[kMaxRules];
int g_cancelCount;
DWORD g_timeoutMs = 60000;
Seen g_seen[kMaxWindows];
int g_seenCount;
DWORD g_pid;
FILE* g_log;
DWORD g_start;

void AppendJsonString(char* out, size_t cap, const char* text) {
    size_t n = strlen(out);
    auto put = [&](char c) {
        if (n + 1 < cap) {
            out[n++] = c;
            out[n] = 0;
        }
    };
    put('"');
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            put('\\');
            put(static_cast<char>(*p));
        } else if (*p < 0x20 || *p >= 0x7F) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", *p);
            for (char* e = esc; *e; ++e)
                put(*e);
        } else {
            put(static_cast<char>(*p));
        }
    }
    put('"');
}

void Append(char* out, size_t cap, const char* text) {
    size_t n = strlen(out);
    snprintf(out + n, cap - n, "%s", text);
}

void LogLine(const char* json) {
    fprintf(g_log, "{\"t\":%lu,%s}\n", static_cast<unsigned long>(GetTickCount() - g_start), json);
    fflush(g_log);
}

void LogEvent(const char* event, const char* key, const char* value) {
    char line[1024] = "";
    Append(line, sizeof line, "\"event\":");
    AppendJsonString(line, sizeof line, event);
    if (key) {
        Append(line, sizeof line, ",");
        AppendJsonString(line, sizeof line, key);
        Append(line, sizeof line, ":");
        AppendJsonString(line, sizeof line, value);
    }
    LogLine(line);
}

void StripAmpersands(const char* in, char* out, size_t cap) {
    size_t n = 0;
    for (; *in && n + 1 < cap; ++in)
        if (*in != '&') out[n++] = *in;
    out[n] = 0;
}

struct ChildList {
    char* json;
    size_t cap;
    bool first;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* list = reinterpret_cast<ChildList*>(param);
    char cls[64] = "";
    char text[kTextMax] = "";
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, text, sizeof text);
    char item[kTextMax + 256];
    snprintf(item, sizeof item, "%s{\"id\":%d,\"visible\":%s,\"class\":", list->first ? "" : ",",
             static_cast<int>(static_cast<short>(GetDlgCtrlID(child))),
             IsWindowVisible(child) ? "true" : "false");
    AppendJsonString(item, sizeof item, cls);
    Append(item, sizeof item, ",\"text\":");
    AppendJsonString(item, sizeof item, text);
    Append(item, sizeof item, "}");
    Append(list->json, list->cap, item);
    list->first = false;
    return TRUE;
}

// Everything the user could see of one top-level window, as a JSON fragment.
void Describe(HWND hwnd, char* out, size_t cap) {
    char cls[64] = "";
    char caption[kTextMax] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, caption, sizeof caption);
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    out[0] = 0;
    Append(out, cap, "\"class\":");
    AppendJsonString(out, cap, cls);
    Append(out, cap, ",\"caption\":");
    AppendJsonString(out, cap, caption);
    char misc[256];
    snprintf(misc, sizeof misc,
             ",\"visible\":%s,\"owned\":%s,\"style\":%lu,\"rect\":[%ld,%ld,%ld,%ld],\"children\":[",
             IsWindowVisible(hwnd) ? "true" : "false", GetWindow(hwnd, GW_OWNER) ? "true" : "false",
             static_cast<unsigned long>(GetWindowLongA(hwnd, GWL_STYLE)), rect.left, rect.top,
             rect.right, rect.bottom);
    Append(out, cap, misc);
    ChildList list{out, cap, true};
    EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&list));
    Append(out, cap, "]");
}

bool IsInstallDialog(HWND hwnd) {
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    return strcmp(cls, "#32770") == 0 && GetDlgItem(hwnd, 1001) != nullptr;
}

HWND FindButton(HWND dialog, const char* name) {
    HWND found = nullptr;
    for (HWND child = GetWindow(dialog, GW_CHILD); child && !found;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = "";
        char text[256] = "";
        char plain[256];
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Button") != 0) continue;
        GetWindowTextA(child, text, sizeof text);
        StripAmpersands(text, plain, sizeof plain);
        if (lstrcmpiA(plain, name) == 0) found = child;
    }
    return found;
}

void Press(HWND dialog, const char* caption, const char* button, bool expected) {
    HWND target = FindButton(dialog, button);
    char line[1024] = "\"event\":\"press\",\"caption\":";
    AppendJsonString(line, sizeof line, caption);
    Append(line, sizeof line, ",\"button\":");
    AppendJsonString(line, sizeof line, button);
    Append(line, sizeof line, expected ? ",\"scripted\":true" : ",\"scripted\":false");
    Append(line, sizeof line, target ? ",\"found\":true" : ",\"found\":false");
    LogLine(line);
    // Posted, not sent: the click opens nested modal loops in the installer (the abort
    // question), and a sent message would block us until the user we play answers it.
    if (target) PostMessageA(target, BM_CLICK, 0, 0);
}

void ToWinUnixPath(const char* logPath, const char* suffix, char* out, size_t cap) {
    snprintf(out, cap, "%s%s", logPath, suffix);
}

void RequestScreenshot() {
    char request[300];
    char done[300];
    ToWinUnixPath(g_logPath, ".shot-request", request, sizeof request);
    ToWinUnixPath(g_logPath, ".shot-done", done, sizeof done);
    HANDLE file = CreateFileA(request, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    LogEvent("shot-request", nullptr, nullptr);
    DWORD until = GetTickCount() + 30000;
    while (GetFileAttributesA(done) == INVALID_FILE_ATTRIBUTES && GetTickCount() < until)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    LogEvent(GetFileAttributesA(done) == INVALID_FILE_ATTRIBUTES ? "shot-timeout" : "shot-done",
             nullptr, nullptr);
}

void AnswerWindow(HWND hwnd) {
    char caption[kTextMax] = "";
    GetWindowTextA(hwnd, caption, sizeof caption);
    for (int i = 0; i < g_answerCount; ++i) {
        Answer& a = g_answers[i];
        if (!a.used && strcmp(a.caption, caption) == 0) {
            a.used = true;
            if (g_shotCaption[0] && strcmp(g_shotCaption, caption) == 0) {
                g_shotCaption[0] = 0;
                RequestScreenshot();
            }
            Press(hwnd, caption, a.button, true);
            return;
        }
    }
    static const char* const fallbacks[] = {"Cancel", "No", "Decline", "OK"};
    for (const char* name : fallbacks) {
        if (FindButton(hwnd, name)) {
            Press(hwnd, caption, name, false);
            return;
        }
    }
    LogEvent("unanswerable", "caption", caption);
}

Seen* Track(HWND hwnd) {
    for (int i = 0; i < g_seenCount; ++i)
        if (g_seen[i].hwnd == hwnd) return &g_seen[i];
    if (g_seenCount == kMaxWindows) return nullptr;
    Seen* s = &g_seen[g_seenCount++];
    *s = Seen{};
    s->hwnd = hwnd;
    return s;
}

BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId()) return TRUE;
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    // The installer's own windows, and any dialog of another program (the helpers it starts
    // have none, so one showing up is worth seeing in the log).
    if (pid != g_pid && strcmp(cls, "#32770") != 0) return TRUE;
    Seen* s = Track(hwnd);
    if (!s) return TRUE;
    char description[sizeof s->signature];
    Describe(hwnd, description, sizeof description);
    if (strcmp(description, s->signature) != 0) {
        strcpy(s->signature, description);
        char line[sizeof description + 128];
        snprintf(line, sizeof line, "\"event\":\"window\",\"hwnd\":%lu,\"pid\":%lu,%s",
                 static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd)),
                 static_cast<unsigned long>(pid), description);
        LogLine(line);
    }
    bool visible = IsWindowVisible(hwnd) != FALSE;
    s->everVisible = s->everVisible || visible;
    if (visible && !s->answered && strcmp(cls, "#32770") == 0 && !IsInstallDialog(hwnd)) {
        s->answered = true;
        AnswerWindow(hwnd);
    }
    return TRUE;
}

// Polling can miss a window that is shown only briefly (the install dialog of a small
// package); the show event cannot.
void CALLBACK OnShow(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG, DWORD, DWORD) {
    if (object != OBJID_WINDOW || !hwnd || GetAncestor(hwnd, GA_PARENT) != GetDesktopWindow())
        return;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != g_pid) return;
    Seen* s = Track(hwnd);
    if (s) s->everVisible = true;
    char description[8192];
    Describe(hwnd, description, sizeof description);
    char line[sizeof description + 128];
    snprintf(line, sizeof line, "\"event\":\"shown\",\"hwnd\":%lu,%s",
             static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd)), description);
    LogLine(line);
}

BOOL CALLBACK FindInstallDialog(HWND hwnd, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == g_pid && IsInstallDialog(hwnd)) {
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CheckCancelTriggers() {
    for (int i = 0; i < g_cancelCount; ++i) {
        CancelTrigger& c = g_cancels[i];
        if (c.fired) continue;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExA(c.path, GetFileExInfoStandard, &data) ||
            data.nFileSizeLow < c.size)
            return;
        HWND dialog = nullptr;
        EnumWindows(FindInstallDialog, reinterpret_cast<LPARAM>(&dialog));
        if (!dialog) return;
        c.fired = true;
        char line[600] = "\"event\":\"cancel\",\"path\":";
        AppendJsonString(line, sizeof line, c.path);
        char size[64];
        snprintf(size, sizeof size, ",\"size_seen\":%lu",
                 static_cast<unsigned long>(data.nFileSizeLow));
        Append(line, sizeof line, size);
        LogLine(line);
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (cancel) PostMessageA(cancel, BM_CLICK, 0, 0);
        return; // one trigger per pass, so the next one sees the answer to this one first
    }
}

char* NextField(char** cursor) {
    char* start = *cursor;
    if (!start) return nullptr;
    char* tab = strchr(start, '\t');
    if (tab) {
        *tab = 0;
        *cursor = tab + 1;
    } else {
        *cursor = nullptr;
    }
    return start;
}

bool ReadScript(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    char line[1024];
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = 0;
        if (!line[0] || line[0] == '#') continue;
        char* cursor = line;
        char* verb = NextField(&cursor);
        char* a = NextField(&cursor);
        char* b = NextField(&cursor);
        if (strcmp(verb, "run") == 0 && a) {
            snprintf(g_program, sizeof g_program, "%s", a);
        } else if (strcmp(verb, "args") == 0) {
            snprintf(g_args, sizeof g_args, "%s", a ? a : "");
        } else if (strcmp(verb, "answer") == 0 && a && b && g_answerCount < kMaxRules) {
            Answer& r = g_answers[g_answerCount++];
            snprintf(r.caption, sizeof r.caption, "%s", a);
            snprintf(r.button, sizeof r.button, "%s", b);
        } else if (strcmp(verb, "cancel") == 0 && a && b && g_cancelCount < kMaxRules) {
            CancelTrigger& c = g_cancels[g_cancelCount++];
            snprintf(c.path, sizeof c.path, "%s", a);
            c.size = strtoul(b, nullptr, 10);
        } else if (strcmp(verb, "shot") == 0 && a) {
            snprintf(g_shotCaption, sizeof g_shotCaption, "%s", a);
        } else if (strcmp(verb, "timeout") == 0 && a) {
            g_timeoutMs = strtoul(a, nullptr, 10) * 1000;
        }
    }
    fclose(f);
    return g_program[0] != 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 3) return 2;
    snprintf(g_logPath, sizeof g_logPath, "%s", __argv[2]);
    g_log = fopen(g_logPath, "wb");
    if (!g_log) return 2;
    g_start = GetTickCount();
    if (!ReadScript(__argv[1])) {
        LogEvent("error", "message", "script unreadable or without run line");
        return 2;
    }
    char commandLine[1400];
    snprintf(commandLine, sizeof commandLine, "\"%s\"%s%s", g_program, g_args[0] ? " " : "",
             g_args);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LogEvent("start", "command", commandLine);
    if (!CreateProcessA(g_program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        char err[32];
        snprintf(err, sizeof err, "%lu", static_cast<unsigned long>(GetLastError()));
        LogEvent("error", "create_process", err);
        return 2;
    }
    g_pid = process.dwProcessId;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, OnShow,
                                         process.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
    LogEvent("show-hook", "installed", hook ? "yes" : "no");
    int result = 0;
    for (;;) {
        EnumWindows(VisitWindow, 0);
        CheckCancelTriggers();
        DWORD wait = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 5, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (wait == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            char line[64];
            snprintf(line, sizeof line, "\"event\":\"exit\",\"code\":%lu",
                     static_cast<unsigned long>(code));
            LogLine(line);
            break;
        }
        if (GetTickCount() - g_start > g_timeoutMs) {
            LogEvent("timeout", nullptr, nullptr);
            TerminateProcess(process.hProcess, 255);
            result = 3;
            break;
        }
    }
    for (int i = 0; i < g_seenCount; ++i) {
        char line[128];
        snprintf(line, sizeof line, "\"event\":\"summary\",\"hwnd\":%lu,\"ever_visible\":%s",
                 static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(g_seen[i].hwnd)),
                 g_seen[i].everVisible ? "true" : "false");
        LogLine(line);
    }
    if (hook) UnhookWinEvent(hook);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    fclose(g_log);
    return result;
}
