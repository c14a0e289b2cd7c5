// GUI driver: runs inside the same Wine prefix as the installer, starts it, watches its
// windows the way a user sees them, answers them by a script and writes everything it saw to
// a log (one JSON object per line). `lmvpack try` ships it beside the stub and reads the log;
// the end-to-end tests' harness does the same.
//
// Usage: gui_driver.exe SCRIPT LOG
// Script lines (tab-separated fields, '#' starts a comment); each run line starts a run, and
// the lines after it until the next run line belong to it. Runs follow one another.
//   run<TAB>C:\path\setup.exe           the program to start
//   args<TAB>/S                         its command-line arguments (may be empty)
//   command<TAB>"C:\path\x.exe" /a       instead of run and args: a whole command line, started
//                                       as Add/Remove Programs starts an UninstallString (the
//                                       system finds the program in it)
//   answer<TAB>CAPTION<TAB>BUTTON       answer the next window with this caption by pressing
//                                       the button whose text (without '&') is BUTTON; a
//                                       CAPTION ending in '*' matches every caption that
//                                       begins with the text before it
//   cancel<TAB>C:\path\file<TAB>SIZE    press the install dialog's Cancel once the file has
//                                       reached SIZE bytes; cancels fire in script order
//   shot<TAB>CAPTION                    before answering a window with this caption, wait until
//                                       it is painted, ask the harness for a screenshot and
//                                       wait until it is taken
//   hook<TAB>CAPTION[<TAB>N]            before answering the Nth window with this caption (the
//                                       first unless N is given), ask the harness to do what
//                                       the test does at that moment (from outside Wine) and
//                                       wait until it is done; hooks are asked for in the
//                                       order they come
//   timeout<TAB>SECONDS                 give up on a run (and end its program) after this long
//   fallback<TAB>BUTTON[<TAB>BUTTON...]  the buttons tried, in order, on a dialog no answer
//                                       matches (default: Cancel, No, Decline, OK)
// Answers are consumed in script order per caption. A visible dialog that no answer matches
// is logged as unscripted and dismissed with the first fallback button it has, so the run
// ends; an answer still unused when its run ends is logged too. The harness fails a scenario
// on both.
//
// Before each run the driver asks the harness to take stock of the prefix's files (LOG.mark-
// request, answered by LOG.mark-done), so that every run's writes can be told apart.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr int kMaxRules = 64;
constexpr int kMaxRuns = 16;
constexpr int kMaxHooks = 4;
constexpr int kMaxWindows = 256;
constexpr int kTextMax = 2048;
constexpr int kMaxFallbacks = 8;

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

struct Hook {
    char caption[260];
    int skip; // windows of that caption to answer before the hook's
    bool done;
};

struct RunScript {
    char program[260];
    char args[1024];
    bool wholeCommand; // `args` is the whole command line, `program` unused
    char fallbacks[kMaxFallbacks][64];
    int fallbackCount;
    char shotCaption[260];
    Hook hooks[kMaxHooks];
    int hookCount;
    Answer answers[kMaxRules];
    int answerCount;
    CancelTrigger cancels[kMaxRules];
    int cancelCount;
};

// A window as long as it exists: handles are reused after a window is destroyed, so every
// window we see gets an id of its own.
struct Seen {
    HWND hwnd;
    int id;
    unsigned pass;
    char signature[8192];
    bool everVisible;
    bool answered;
};

RunScript g_runs[kMaxRuns];
int g_runCount;
RunScript* g_run;
int g_runIndex;
char g_logPath[260];
DWORD g_timeoutMs = 60000;
Seen g_seen[kMaxWindows];
int g_seenCount;
int g_nextId = 1;
unsigned g_pass;
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

// While a look at the screen is being logged, every line of it carries the time the look
// began: what one look saw was on screen together, whatever order the windows came in.
DWORD g_lookStart = 0;
bool g_inLook = false;

void LogLine(const char* json) {
    const DWORD now = g_inLook ? g_lookStart : GetTickCount();
    fprintf(g_log, "{\"t\":%lu,\"run\":%d,%s}\n", static_cast<unsigned long>(now - g_start),
            g_runIndex, json);
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

// The text a user reads in a control. An edit control keeps its text inside its own
// process, where only WM_GETTEXT reaches it; the other controls' texts are known to Wine's
// server and come without disturbing the installer.
void ReadControlText(HWND child, const char* cls, char* text, size_t cap) {
    text[0] = 0;
    if (lstrcmpiA(cls, "Edit") == 0) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(child, WM_GETTEXT, cap, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, 1000, &ignored);
        text[cap - 1] = 0;
    } else {
        GetWindowTextA(child, text, static_cast<int>(cap));
    }
}

struct ChildList {
    char* json;
    size_t cap;
    bool first;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* list = reinterpret_cast<ChildList*>(param);
    char cls[64] = "";
    char text[kTextMax];
    GetClassNameA(child, cls, sizeof cls);
    ReadControlText(child, cls, text, sizeof text);
    // The control's own visibility flag: a control of a hidden dialog is "visible" when it
    // would show with its dialog.
    bool visible = (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE) != 0;
    char item[kTextMax + 256];
    snprintf(item, sizeof item, "%s{\"id\":%d,\"visible\":%s,\"class\":", list->first ? "" : ",",
             static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), visible ? "true" : "false");
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
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = "";
        char text[256] = "";
        char plain[256];
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Button") != 0 || !(GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE))
            continue;
        GetWindowTextA(child, text, sizeof text);
        StripAmpersands(text, plain, sizeof plain);
        if (lstrcmpiA(plain, name) == 0) return child;
    }
    return nullptr;
}

void Press(const Seen& s, const char* caption, const char* button, bool scripted) {
    HWND target = FindButton(s.hwnd, button);
    char line[1024];
    snprintf(line, sizeof line, "\"event\":\"press\",\"id\":%d,\"caption\":", s.id);
    AppendJsonString(line, sizeof line, caption);
    Append(line, sizeof line, ",\"button\":");
    AppendJsonString(line, sizeof line, button);
    Append(line, sizeof line, scripted ? ",\"scripted\":true" : ",\"scripted\":false");
    Append(line, sizeof line, target ? ",\"found\":true" : ",\"found\":false");
    LogLine(line);
    // Posted, not sent: the click opens nested modal loops in the installer (the abort
    // question), and a sent message would block us until the user we play answers it.
    if (target) PostMessageA(target, BM_CLICK, 0, 0);
}

// Asks the harness for something it does from outside Wine (a screenshot, a look at the
// prefix's files) and waits until it is done. `what` names the request files and events.
void RequestFromHarness(const char* what, DWORD timeout_ms) {
    char request[300];
    char done[300];
    snprintf(request, sizeof request, "%s.%s-request", g_logPath, what);
    snprintf(done, sizeof done, "%s.%s-done", g_logPath, what);
    DeleteFileA(done);
    // Every request carries a number of its own, so the harness never answers one twice.
    static unsigned long requests = 0;
    char number[32];
    const int length = snprintf(number, sizeof number, "%lu", ++requests);
    HANDLE file = CreateFileA(request, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, number, static_cast<DWORD>(length), &written, nullptr);
        CloseHandle(file);
    }
    char event[64];
    snprintf(event, sizeof event, "%s-request", what);
    LogEvent(event, nullptr, nullptr);
    DWORD until = GetTickCount() + timeout_ms;
    while (GetFileAttributesA(done) == INVALID_FILE_ATTRIBUTES && GetTickCount() < until)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    bool taken = GetFileAttributesA(done) != INVALID_FILE_ATTRIBUTES;
    DeleteFileA(request);
    DeleteFileA(done);
    snprintf(event, sizeof event, "%s-%s", what, taken ? "done" : "timeout");
    LogEvent(event, nullptr, nullptr);
}

void RequestScreenshot() {
    RequestFromHarness("shot", 30000);
}

bool CaptionMatches(const char* wanted, const char* caption) {
    const size_t length = strlen(wanted);
    if (length > 0 && wanted[length - 1] == '*') return strncmp(wanted, caption, length - 1) == 0;
    return strcmp(wanted, caption) == 0;
}

BOOL CALLBACK NoteUnpainted(HWND child, LPARAM unpainted) {
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE))
        *reinterpret_cast<bool*>(unpainted) = true;
    return TRUE;
}

// Waits until a window that has just shown is on the screen as the user sees it: it and its
// controls have no part left to paint, its thread is back in its message loop (where the
// painting reaches the display), and three points of it read the same in two looks in a row.
// A few seconds at most: the picture is taken in any case.
void AwaitPainted(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const POINT points[] = {{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2},
                            {rect.left + 8, rect.top + 8},
                            {rect.right - 8, rect.bottom - 8}};
    COLORREF last[3] = {CLR_INVALID, CLR_INVALID, CLR_INVALID};
    HDC screen = GetDC(nullptr);
    const DWORD until = GetTickCount() + 5000;
    for (;;) {
        bool unpainted = GetUpdateRect(window, nullptr, FALSE) != FALSE;
        EnumChildWindows(window, NoteUnpainted, reinterpret_cast<LPARAM>(&unpainted));
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
        bool steady = true;
        for (int i = 0; i < 3; ++i) {
            const COLORREF now = GetPixel(screen, points[i].x, points[i].y);
            steady = steady && now == last[i];
            last[i] = now;
        }
        if (!unpainted && steady) break;
        if (GetTickCount() > until) {
            LogEvent("paint-timeout", nullptr, nullptr);
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    ReleaseDC(nullptr, screen);
}

void AnswerWindow(const Seen& s) {
    char caption[kTextMax] = "";
    GetWindowTextA(s.hwnd, caption, sizeof caption);
    for (int i = 0; i < g_run->answerCount; ++i) {
        Answer& a = g_run->answers[i];
        if (!a.used && CaptionMatches(a.caption, caption)) {
            a.used = true;
            if (g_run->shotCaption[0] && strcmp(g_run->shotCaption, caption) == 0) {
                g_run->shotCaption[0] = 0;
                AwaitPainted(s.hwnd);
                RequestScreenshot();
            }
            for (int h = 0; h < g_run->hookCount; ++h) {
                Hook& hook = g_run->hooks[h];
                if (!hook.done && strcmp(hook.caption, caption) == 0 && hook.skip-- == 0) {
                    hook.done = true;
                    RequestFromHarness("hook", 120000);
                }
            }
            Press(s, caption, a.button, true);
            return;
        }
    }
    // A window being destroyed is hidden first and then loses its controls: one that went
    // away while it was looked at was never a dialog left for the user to answer.
    if (!IsWindow(s.hwnd) || !IsWindowVisible(s.hwnd)) {
        LogEvent("vanished", "caption", caption);
        return;
    }
    static const char* const defaults[] = {"Cancel", "No", "Decline", "OK"};
    const int count = g_run->fallbackCount > 0 ? g_run->fallbackCount : 4;
    for (int i = 0; i < count; ++i) {
        const char* name = g_run->fallbackCount > 0 ? g_run->fallbacks[i] : defaults[i];
        if (FindButton(s.hwnd, name)) {
            Press(s, caption, name, false);
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
    s->id = g_nextId++;
    return s;
}

void LogSummary(const Seen& s) {
    char line[128];
    snprintf(line, sizeof line, "\"event\":\"gone\",\"id\":%d,\"ever_visible\":%s", s.id,
             s.everVisible ? "true" : "false");
    LogLine(line);
}

void LogIfChanged(Seen& s, DWORD pid, const char* description) {
    if (strcmp(description, s.signature) == 0) return;
    strcpy(s.signature, description);
    static char line[sizeof s.signature + 128];
    snprintf(line, sizeof line, "\"event\":\"window\",\"id\":%d,\"hwnd\":%lu,\"pid\":%lu,%s", s.id,
             static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(s.hwnd)),
             static_cast<unsigned long>(pid), description);
    LogLine(line);
}

HWND g_toAnswer[kMaxWindows];
int g_toAnswerCount = 0;

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
    s->pass = g_pass;
    char description[sizeof s->signature];
    Describe(hwnd, description, sizeof description);
    LogIfChanged(*s, pid, description);
    bool visible = IsWindowVisible(hwnd) != FALSE;
    s->everVisible = s->everVisible || visible;
    if (visible && !s->answered && strcmp(cls, "#32770") == 0 && !IsInstallDialog(hwnd) &&
        g_toAnswerCount < kMaxWindows) {
        s->answered = true;
        g_toAnswer[g_toAnswerCount++] = hwnd;
    }
    return TRUE;
}

// Windows are visited from the top of the screen down, so a message box comes before the
// title window under it. Every window of a look is logged before any is answered, so the log
// shows what was on screen together.
void AnswerPending() {
    for (int i = 0; i < g_toAnswerCount; ++i) {
        Seen* s = Track(g_toAnswer[i]);
        if (!s) continue;
        DWORD pid = 0;
        GetWindowThreadProcessId(s->hwnd, &pid);
        // Log the window as it is now, on screen: it may have been described a moment
        // before it showed, and it is gone once answered.
        char description[sizeof s->signature];
        Describe(s->hwnd, description, sizeof description);
        LogIfChanged(*s, pid, description);
        AnswerWindow(*s);
    }
    g_toAnswerCount = 0;
}

// One look at the screen: every window seen, every window gone since the last look.
void Look() {
    ++g_pass;
    g_lookStart = GetTickCount();
    g_inLook = true;
    EnumWindows(VisitWindow, 0);
    g_inLook = false;
    AnswerPending();
    for (int i = 0; i < g_seenCount;) {
        if (g_seen[i].pass != g_pass) {
            LogSummary(g_seen[i]);
            g_seen[i] = g_seen[--g_seenCount];
        } else {
            ++i;
        }
    }
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
    for (int i = 0; i < g_run->cancelCount; ++i) {
        CancelTrigger& c = g_run->cancels[i];
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
        return; // one trigger per look, so the next one sees the answer to this one first
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
    RunScript* run = nullptr;
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = 0;
        if (!line[0] || line[0] == '#') continue;
        char* cursor = line;
        char* verb = NextField(&cursor);
        char* a = NextField(&cursor);
        char* b = NextField(&cursor);
        if (strcmp(verb, "timeout") == 0 && a) {
            g_timeoutMs = strtoul(a, nullptr, 10) * 1000;
        } else if (strcmp(verb, "run") == 0 && a && g_runCount < kMaxRuns) {
            run = &g_runs[g_runCount++];
            snprintf(run->program, sizeof run->program, "%s", a);
        } else if (strcmp(verb, "command") == 0 && a && g_runCount < kMaxRuns) {
            run = &g_runs[g_runCount++];
            run->wholeCommand = true;
            snprintf(run->args, sizeof run->args, "%s", a);
        } else if (!run) {
            continue;
        } else if (strcmp(verb, "args") == 0) {
            snprintf(run->args, sizeof run->args, "%s", a ? a : "");
        } else if (strcmp(verb, "answer") == 0 && a && b && run->answerCount < kMaxRules) {
            Answer& r = run->answers[run->answerCount++];
            snprintf(r.caption, sizeof r.caption, "%s", a);
            snprintf(r.button, sizeof r.button, "%s", b);
        } else if (strcmp(verb, "cancel") == 0 && a && b && run->cancelCount < kMaxRules) {
            CancelTrigger& c = run->cancels[run->cancelCount++];
            snprintf(c.path, sizeof c.path, "%s", a);
            c.size = strtoul(b, nullptr, 10);
        } else if (strcmp(verb, "shot") == 0 && a) {
            snprintf(run->shotCaption, sizeof run->shotCaption, "%s", a);
        } else if (strcmp(verb, "hook") == 0 && a && run->hookCount < kMaxHooks) {
            Hook& hook = run->hooks[run->hookCount++];
            snprintf(hook.caption, sizeof hook.caption, "%s", a);
            hook.skip = b ? atoi(b) - 1 : 0;
        } else if (strcmp(verb, "fallback") == 0) {
            for (char* button = a; button && run->fallbackCount < kMaxFallbacks;
                 button = button == a ? b : NextField(&cursor))
                snprintf(run->fallbacks[run->fallbackCount++], sizeof run->fallbacks[0], "%s",
                         button);
        }
    }
    fclose(f);
    return g_runCount > 0;
}

// Starts one program of the script and plays the user until it ends. False when it had to
// be stopped, or could not be started.
bool PlayRun() {
    char commandLine[1400];
    if (g_run->wholeCommand)
        snprintf(commandLine, sizeof commandLine, "%s", g_run->args);
    else
        snprintf(commandLine, sizeof commandLine, "\"%s\"%s%s", g_run->program,
                 g_run->args[0] ? " " : "", g_run->args);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LogEvent("start", "command", commandLine);
    if (!CreateProcessA(g_run->wholeCommand ? nullptr : g_run->program, commandLine, nullptr,
                        nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        char err[32];
        snprintf(err, sizeof err, "%lu", static_cast<unsigned long>(GetLastError()));
        LogEvent("error", "create_process", err);
        return false;
    }
    g_pid = process.dwProcessId;
    char pid[32];
    snprintf(pid, sizeof pid, "%lu", static_cast<unsigned long>(g_pid));
    LogEvent("started", "pid", pid);
    g_seenCount = 0;
    DWORD started = GetTickCount();
    bool ended = false;
    for (;;) {
        Look();
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
            ended = true;
            break;
        }
        if (GetTickCount() - started > g_timeoutMs) {
            LogEvent("timeout", nullptr, nullptr);
            TerminateProcess(process.hProcess, 255);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
    }
    ++g_pass;
    for (int i = 0; i < g_seenCount; ++i)
        LogSummary(g_seen[i]);
    g_seenCount = 0;
    for (int i = 0; i < g_run->answerCount; ++i) {
        const Answer& a = g_run->answers[i];
        if (a.used) continue;
        char line[512] = "\"event\":\"unused_answer\",\"caption\":";
        AppendJsonString(line, sizeof line, a.caption);
        Append(line, sizeof line, ",\"button\":");
        AppendJsonString(line, sizeof line, a.button);
        LogLine(line);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended;
}

BOOL CALLBACK IgnoreWindow(HWND, LPARAM) {
    return TRUE;
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
    // A process's first window call waits until Wine's desktop is up, which on a loaded
    // machine takes many seconds after a prefix starts: wait here, before any run, so that no
    // run's first windows come and go while the driver is still waiting.
    GetDesktopWindow();
    EnumWindows(IgnoreWindow, 0);
    LogEvent("desktop-ready", nullptr, nullptr);
    int result = 0;
    for (g_runIndex = 0; g_runIndex < g_runCount; ++g_runIndex) {
        g_run = &g_runs[g_runIndex];
        RequestFromHarness("mark", 60000);
        // A run that had to be stopped or could not start is in the log; the next one
        // still gets its chance.
        if (!PlayRun()) result = 3;
    }
    fclose(g_log);
    return result;
}
