// Aurora, the sample screen saver that lmvpack's sample installer installs: the northern
// lights, animated with GDI in the colours of the data file that the installer puts beside
// its uninstaller. The drawing itself is portable (aurora_render.h); this file is the window,
// the screen-saver command line and the settings dialog.
#include "aurora_palette.h"
#include "aurora_render.h"
#include "aurora_resources.h"
#include "install/install_layout.h"
#include "platform/format_text.h"
#include "saver_screen.h"
#include "screen_saver_arguments.h"

#include <shlobj.h>
#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr char kWindowClass[] = "AuroraScreenSaver";
constexpr char kWindowTitle[] = "Aurora Screen Saver";
constexpr UINT_PTR kFrameTimer = 1;
// Sent to a per-monitor DPI aware window whose monitor's scale changes (Windows 8.1 and later).
constexpr UINT kDpiChangedMessage = 0x02E0;
// Mouse movements this small (a shaky table) do not end the screen saver.
constexpr int kMouseSlack = 4;
constexpr DWORD kLargestDataFile = 64 * 1024;

struct Saver {
    AuroraPalette palette;
    bool full_screen;
    int frame_width, frame_height;
    uint32_t* frame;
    DWORD started;
    bool mouse_seen;
    POINT mouse;
};

Saver g_saver;
char g_data_path[MAX_PATH];
bool g_data_found;

// The installer puts the data file into the folder of its uninstaller,
// "<common application data>\Tarrowby\Lumenvault\<name>\<name>.dat", where <name> is this
// program's own name without ".scr". Started by its short path (as the installer starts it),
// the program still looks for its long name's folder.
void FindDataFile() {
    char module[MAX_PATH];
    char long_module[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length == 0 || length >= sizeof module) return;
    const DWORD long_length = GetLongPathNameA(module, long_module, sizeof long_module);
    const char* path = long_length > 0 && long_length < sizeof long_module ? long_module : module;
    const char* slash = std::strrchr(path, '\\');
    char name[MAX_PATH];
    FormatText(name, sizeof name, "%s", slash != nullptr ? slash + 1 : path);
    if (char* dot = std::strrchr(name, '.')) *dot = '\0';

    // The common application-data folder and the levels below it, as the installer finds and
    // builds them.
    char folder[MAX_PATH] = "";
    if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder) != S_OK) {
        const UINT windows_length = GetWindowsDirectoryA(folder, sizeof folder);
        if (windows_length == 0 || windows_length >= sizeof folder ||
            !AppendFallbackDataLevels(folder, sizeof folder))
            return;
    }
    if (!AppendOwnLevels(folder, sizeof folder, name) ||
        !FormatText(g_data_path, sizeof g_data_path, "%s%s.dat", folder, name))
        g_data_path[0] = '\0';
}

AuroraPalette LoadPalette() {
    g_data_found = false;
    if (g_data_path[0] == '\0') return DefaultAuroraPalette();
    const HANDLE file =
        CreateFileA(g_data_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return DefaultAuroraPalette();
    static char text[kLargestDataFile];
    DWORD read = 0;
    if (!ReadFile(file, text, sizeof text, &read, nullptr)) read = 0;
    CloseHandle(file);
    g_data_found = true;
    return ParseAuroraPalette(std::string_view(text, read));
}

// The frame and the frame rate follow the window's size (saver_screen.h).
void ResizeFrame(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    const FramePlan plan = PlanFrames(client.right, client.bottom);
    g_saver.frame_width = plan.width;
    g_saver.frame_height = plan.height;
    SetTimer(window, kFrameTimer, plan.interval_ms, nullptr);
    const HANDLE heap = GetProcessHeap();
    if (g_saver.frame != nullptr) HeapFree(heap, 0, g_saver.frame);
    g_saver.frame = static_cast<uint32_t*>(
        HeapAlloc(heap, 0,
                  sizeof(uint32_t) * static_cast<size_t>(g_saver.frame_width) *
                      static_cast<size_t>(g_saver.frame_height)));
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    if (g_saver.frame != nullptr) {
        RenderAuroraFrame(g_saver.palette, GetTickCount() - g_saver.started, g_saver.frame_width,
                          g_saver.frame_height, g_saver.frame);
        RECT client;
        GetClientRect(window, &client);
        BITMAPINFO info;
        ZeroMemory(&info, sizeof info);
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = g_saver.frame_width;
        info.bmiHeader.biHeight = -g_saver.frame_height; // rows top first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, g_saver.frame_width,
                      g_saver.frame_height, g_saver.frame, &info, DIB_RGB_COLORS, SRCCOPY);
    }
    EndPaint(window, &paint);
}

ScreenArea EveryMonitor() {
    return CoveringArea({GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                         GetSystemMetrics(SM_CXVIRTUALSCREEN),
                         GetSystemMetrics(SM_CYVIRTUALSCREEN)},
                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

void CoverEveryMonitor(HWND window) {
    const ScreenArea area = EveryMonitor();
    SetWindowPos(window, HWND_TOPMOST, area.left, area.top, area.width, area.height,
                 SWP_NOACTIVATE);
}

// Full screen, the screen saver ends as soon as the user does anything.
bool EndsTheScreenSaver(UINT message, LPARAM lparam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
        return true;
    case WM_MOUSEMOVE: {
        // The first report is where the mouse already was.
        const POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        if (!g_saver.mouse_seen) {
            g_saver.mouse_seen = true;
            g_saver.mouse = at;
            return false;
        }
        const int dx = at.x - g_saver.mouse.x, dy = at.y - g_saver.mouse.y;
        return dx > kMouseSlack || dx < -kMouseSlack || dy > kMouseSlack || dy < -kMouseSlack;
    }
    default:
        return false;
    }
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (g_saver.full_screen && EndsTheScreenSaver(message, lparam)) {
        DestroyWindow(window);
        return 0;
    }
    switch (message) {
    case WM_CREATE:
    case WM_SIZE:
        ResizeFrame(window);
        return 0;
    case WM_DISPLAYCHANGE:
        // A monitor came, went or changed its size: cover them all again.
        if (g_saver.full_screen) CoverEveryMonitor(window);
        break;
    case kDpiChangedMessage:
        // The window spans monitors of different scales; the size Windows suggests for the new
        // scale would uncover some of them.
        if (g_saver.full_screen) {
            CoverEveryMonitor(window);
            return 0;
        }
        break;
    case WM_TIMER:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND:
        return 1; // every pixel is painted
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_SETCURSOR:
        if (g_saver.full_screen) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_ACTIVATEAPP:
        if (g_saver.full_screen && wparam == FALSE) DestroyWindow(window);
        break;
    case WM_SYSCOMMAND:
        // Already running: the system's own request to start a screen saver changes nothing.
        if (g_saver.full_screen && (wparam & 0xFFF0) == SC_SCREENSAVE) return 0;
        break;
    case WM_DESTROY:
        KillTimer(window, kFrameTimer);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int RunSaver(HINSTANCE instance, const ScreenSaverArguments& arguments) {
    WNDCLASSA window_class;
    ZeroMemory(&window_class, sizeof window_class);
    window_class.lpfnWndProc = SaverWindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    window_class.lpszClassName = kWindowClass;
    if (RegisterClassA(&window_class) == 0) return 1;

    g_saver.started = GetTickCount();
    HWND window;
    if (arguments.mode == ScreenSaverMode::kPreview) {
        const HWND parent = reinterpret_cast<HWND>(arguments.window);
        if (!IsWindow(parent)) return 1;
        RECT area;
        GetClientRect(parent, &area);
        window = CreateWindowExA(0, kWindowClass, "", WS_CHILD | WS_VISIBLE, 0, 0, area.right,
                                 area.bottom, parent, nullptr, instance, nullptr);
    } else {
        g_saver.full_screen = true;
        // The whole desktop, every monitor of it.
        const ScreenArea area = EveryMonitor();
        window = CreateWindowExA(WS_EX_TOPMOST, kWindowClass, kWindowTitle, WS_POPUP | WS_VISIBLE,
                                 area.left, area.top, area.width, area.height, nullptr, nullptr,
                                 instance, nullptr);
    }
    if (window == nullptr) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

void DrawSwatches(const DRAWITEMSTRUCT& item) {
    const AuroraColour* colours[1 + AuroraPalette::kMaxCurtains] = {&g_saver.palette.sky};
    const size_t count = 1 + g_saver.palette.curtain_count;
    for (size_t i = 1; i < count; ++i)
        colours[i] = &g_saver.palette.curtains[i - 1];
    const RECT& area = item.rcItem;
    const LONG width = (area.right - area.left) / static_cast<LONG>(count);
    for (size_t i = 0; i < count; ++i) {
        RECT swatch{area.left + static_cast<LONG>(i) * width, area.top,
                    area.left + static_cast<LONG>(i + 1) * width - 4, area.bottom};
        const HBRUSH brush =
            CreateSolidBrush(RGB(colours[i]->red, colours[i]->green, colours[i]->blue));
        FillRect(item.hDC, &swatch, brush);
        DeleteObject(brush);
        FrameRect(item.hDC, &swatch, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        char text[MAX_PATH + 64];
        if (g_data_found)
            FormatText(text, sizeof text, "%s", g_data_path);
        else
            FormatText(text, sizeof text, "%s (not found: Aurora uses its own colours)",
                       g_data_path[0] != '\0' ? g_data_path : "the data file");
        SetDlgItemTextA(dialog, IDC_AURORA_DATA_PATH, text);
        return TRUE;
    }
    case WM_DRAWITEM:
        if (wparam == IDC_AURORA_SWATCHES) {
            DrawSwatches(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    const ScreenSaverArguments arguments =
        ParseScreenSaverArguments(command_line != nullptr ? command_line : "");
    FindDataFile();
    g_saver.palette = LoadPalette();
    if (arguments.mode == ScreenSaverMode::kSettings) {
        HWND owner = reinterpret_cast<HWND>(arguments.window);
        if (owner != nullptr && !IsWindow(owner)) owner = nullptr;
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_AURORA_SETTINGS), owner, SettingsDialogProc,
                        0);
        return 0;
    }
    return RunSaver(instance, arguments);
}
