#include "tools/lmvpack/trial/trial_report.h"

#include "install/install_layout.h"
#include "tools/lmvpack/support/ansi_text.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDesktopKey = "Control Panel\\Desktop";
constexpr int kInstallDialogTitle = 1001; // the progress dialog's name line

// The driver writes each ANSI byte of a window text as one character; JSON reading turns them
// into code points below 256, which are the bytes again.
std::string AnsiText(const nlohmann::json& value) {
    if (!value.is_string()) return {};
    const std::string utf8 = value.get<std::string>();
    std::string bytes;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(utf8[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            bytes += static_cast<char>((c & 0x1F) << 6 | (static_cast<uint8_t>(utf8[++i]) & 0x3F));
        }
    }
    return Windows1252ToUtf8(bytes);
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string WindowsPath(const std::string& relative) {
    std::string path = "C:\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// [boot] SCRNSAVE.EXE of system.ini, any case, as the profile functions read it.
std::string IniValue(const std::string& ini, std::string_view section, std::string_view key) {
    bool inside = false;
    size_t start = 0;
    while (start < ini.size()) {
        size_t end = ini.find('\n', start);
        if (end == std::string::npos) end = ini.size();
        std::string line = ini.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("[")) {
            inside = Lower(line) == "[" + Lower(std::string(section)) + "]";
            continue;
        }
        const size_t equals = line.find('=');
        if (inside && equals != std::string::npos &&
            Lower(line.substr(0, equals)) == Lower(std::string(key)))
            return Windows1252ToUtf8(line.substr(equals + 1));
    }
    return {};
}

// The regular files under `root` and, when asked for, its folders, by their relative paths
// ('/'-separated); links are not followed.
void WalkFolder(const fs::path& root, FileSnapshot& files, std::vector<std::string>* folders) {
    std::error_code error;
    for (fs::recursive_directory_iterator
             it(root, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        if (it->is_symlink(error)) {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        const std::string relative = it->path().lexically_relative(root).generic_string();
        if (it->is_directory(error)) {
            if (folders) folders->push_back(relative);
        } else if (it->is_regular_file(error)) {
            files[relative] = {it->file_size(error), it->last_write_time(error)};
        }
    }
}

bool SameValues(const RegistryKey& a, const RegistryKey& b) {
    if (a.values.size() != b.values.size()) return false;
    for (size_t i = 0; i < a.values.size(); ++i)
        if (a.values[i].name != b.values[i].name || a.values[i].type != b.values[i].type ||
            a.values[i].text != b.values[i].text || a.values[i].bytes != b.values[i].bytes)
            return false;
    return true;
}

} // namespace

DriverOutcome ParseDriverLog(std::string_view log) {
    DriverOutcome outcome;
    struct Window {
        std::string caption;
        std::vector<std::string> texts;
        size_t shown_controls = 0;
        bool visible = false;
        bool progress = false;
        int order = 0;
    };
    std::map<int, Window> windows;
    std::map<int, std::pair<std::string, bool>> presses;
    int order = 0;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string_view::npos) end = log.size();
        const std::string_view line = log.substr(start, end - start);
        start = end + 1;
        const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (!event.is_object() || !event.contains("event")) continue;
        const std::string kind = event.value("event", "");
        if (kind == "exit" && event.contains("code")) {
            outcome.exit_code = event["code"].get<uint32_t>();
        } else if (kind == "timeout") {
            outcome.timed_out = true;
        } else if (kind == "error" && event.contains("create_process")) {
            outcome.start_failed = true;
        } else if (kind == "shot-done") {
            outcome.screenshot_taken = true;
        } else if (kind == "press") {
            presses[event.value("id", 0)] = {AnsiText(event["button"]),
                                             event.value("scripted", true)};
        } else if (kind == "window" && event.value("class", "") == "#32770") {
            auto [at, fresh] = windows.try_emplace(event.value("id", 0));
            Window& window = at->second;
            if (fresh) window.order = order++;
            const bool visible = event.value("visible", false);
            window.visible = window.visible || visible;
            std::vector<std::string> texts;
            size_t shown = 0;
            for (const nlohmann::json& child : event.value("children", nlohmann::json::array())) {
                if (child.value("id", 0) == kInstallDialogTitle) window.progress = true;
                if (!child.value("visible", false)) continue;
                ++shown;
                const std::string text = AnsiText(child["text"]);
                if (Lower(child.value("class", "")) == "static" && !text.empty())
                    texts.push_back(text);
            }
            // The state the user saw: the visible one with the most controls.
            if (visible && (shown >= window.shown_controls || window.caption.empty())) {
                window.shown_controls = shown;
                window.texts = texts;
                window.caption = AnsiText(event["caption"]);
            }
        }
    }
    std::vector<std::pair<int, int>> ordered; // order, id
    for (const auto& [id, window] : windows)
        if (window.visible) ordered.emplace_back(window.order, id);
    std::sort(ordered.begin(), ordered.end());
    for (const auto& [unused, id] : ordered) {
        const Window& window = windows[id];
        SeenDialog dialog;
        dialog.caption = window.progress ? "(the progress dialog)" : window.caption;
        dialog.texts = window.texts;
        if (const auto press = presses.find(id); press != presses.end()) {
            dialog.pressed = press->second.first;
            dialog.scripted = press->second.second;
        }
        outcome.dialogs.push_back(std::move(dialog));
    }
    return outcome;
}

FileSnapshot SnapshotFiles(const fs::path& root) {
    FileSnapshot snapshot;
    WalkFolder(root, snapshot, nullptr);
    return snapshot;
}

TrialFindings ReadFindings(const fs::path& prefix, const FileSnapshot& before,
                           std::string_view system_reg_before, std::string_view driver_log,
                           std::string_view own_folder) {
    TrialFindings findings;
    findings.driver = ParseDriverLog(driver_log);
    const fs::path drive_c = prefix / "drive_c";
    const std::string own = Lower(std::string(own_folder)) + "/";
    for (const auto& [relative, state] : SnapshotFiles(drive_c)) {
        if (Lower(relative).starts_with(own)) continue;
        const auto old = before.find(relative);
        if (old != before.end() && old->second == state) continue;
        findings.written.push_back({WindowsPath(relative), state.size});
        if (Lower(fs::path(relative).filename().string()) == Lower(kInstallLogName))
            findings.install_logs.emplace_back(WindowsPath(relative),
                                               Windows1252ToUtf8(ReadText(drive_c / relative)));
    }

    const Registry old_machine = ParseWineRegistry(system_reg_before);
    const Registry machine = ParseWineRegistry(ReadText(prefix / "system.reg"));
    for (const RegistryKey* key : SubKeys(machine, kUninstallKeyRoot)) {
        const auto old = old_machine.find(Lower(key->path));
        if (old == old_machine.end() || !SameValues(old->second, *key))
            findings.uninstall.push_back(*key);
    }

    // system.ini may be spelled in any case on disk.
    for (const auto& entry : fs::directory_iterator(drive_c / "windows")) {
        if (Lower(entry.path().filename().string()) == "system.ini")
            findings.screen_saver = IniValue(ReadText(entry.path()), "boot", "SCRNSAVE.EXE");
    }
    const Registry user = ParseWineRegistry(ReadText(prefix / "user.reg"));
    if (const auto desktop = user.find(Lower(std::string(kDesktopKey))); desktop != user.end())
        if (const RegistryValue* active = FindValue(desktop->second, "ScreenSaveActive"))
            findings.screen_saving = active->text;
    return findings;
}

namespace {

// The windows a run showed and its exit status, for the installer or the uninstaller (`what`).
std::string FormatRun(const DriverOutcome& driver, const std::string& what) {
    std::string out = "Windows shown:\n";
    if (driver.dialogs.empty()) out += "  none\n";
    for (const SeenDialog& dialog : driver.dialogs) {
        out += "  \"" + dialog.caption + "\"";
        if (!dialog.pressed.empty())
            out += dialog.scripted ? ": " + dialog.pressed
                                   : ": " + dialog.pressed + " (not a window lmvpack expected)";
        out += "\n";
        for (const std::string& text : dialog.texts)
            out += "      " + text + "\n";
    }
    out += "Exit status: ";
    if (driver.exit_code)
        out += std::to_string(*driver.exit_code) + "\n";
    else if (driver.start_failed)
        out += "none: the " + what + " could not be started\n";
    else
        out += "none: the " + what + " did not end within the time allowed and was stopped\n";
    return out;
}

} // namespace

std::string FormatFindings(const TrialFindings& findings) {
    std::string out = FormatRun(findings.driver, "installer");

    out += "Files written:\n";
    if (findings.written.empty()) out += "  none\n";
    for (const WrittenFile& file : findings.written)
        out += "  " + file.windows_path + "  (" + std::to_string(file.size) + " bytes)\n";
    for (const auto& [path, text] : findings.install_logs) {
        out += path + ":\n";
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out += "  " + line + "\n";
            start = end + 1;
        }
    }
    out += "Uninstall entry (HKEY_LOCAL_MACHINE\\" + std::string(kUninstallKeyRoot) + "):\n";
    if (findings.uninstall.empty()) out += "  none\n";
    for (const RegistryKey& key : findings.uninstall) {
        out += "  [" + key.path.substr(key.path.rfind('\\') + 1) + "]\n";
        for (const RegistryValue& value : key.values)
            out += "    " + (value.name.empty() ? std::string("(default)") : value.name) + " = " +
                   DescribeValue(value) + "\n";
    }
    out += "Screen saver: ";
    out += findings.screen_saver.empty()
               ? std::string("not set")
               : "system.ini [boot] SCRNSAVE.EXE=" + findings.screen_saver;
    out += findings.screen_saving == "1"    ? "; screen saving on\n"
           : findings.screen_saving.empty() ? "\n"
                                            : "; screen saving off\n";
    return out;
}

namespace {

// Keys Wine writes afresh in every session on a display (the display adapter and monitor,
// with the time of their registration): no program's doing.
constexpr std::string_view kWineSessionKeys[] = {
    "system\\currentcontrolset\\control\\class\\{4d36e968-e325-11ce-bfc1-08002be10318}",
    "system\\currentcontrolset\\control\\class\\{4d36e96e-e325-11ce-bfc1-08002be10318}",
};

bool IsWineSessionKey(const std::string& lower_path) {
    return std::any_of(std::begin(kWineSessionKeys), std::end(kWineSessionKeys),
                       [&](std::string_view key) {
                           return lower_path == key ||
                                  (lower_path.starts_with(key) && lower_path[key.size()] == '\\');
                       });
}

bool SameValue(const RegistryValue* a, const RegistryValue* b) {
    if (!a || !b) return a == b;
    return a->type == b->type && a->text == b->text && a->bytes == b->bytes;
}

const RegistryKey* FindKey(const Registry& registry, const std::string& lower_path) {
    const auto found = registry.find(lower_path);
    return found == registry.end() ? nullptr : &found->second;
}

const RegistryValue* ValueOf(const RegistryKey* key, const std::string& name) {
    return key ? FindValue(*key, name) : nullptr;
}

void AddRegistryLeftovers(const Registry& before, const Registry& installed,
                          const Registry& removed, const std::string& root,
                          std::vector<std::string>& left) {
    for (const auto& [path, key] : installed) {
        if (IsWineSessionKey(path)) continue;
        const RegistryKey* old_key = FindKey(before, path);
        const RegistryKey* now_key = FindKey(removed, path);
        if (!old_key && now_key) left.push_back("registry key " + root + "\\" + key.path);
        for (const RegistryValue& value : key.values) {
            const RegistryValue* old_value = ValueOf(old_key, value.name);
            if (SameValue(old_value, &value)) continue; // not the installation's doing
            const RegistryValue* now_value = ValueOf(now_key, value.name);
            if (now_value && !SameValue(now_value, old_value))
                left.push_back("registry value " + root + "\\" + key.path + ": " +
                               (value.name.empty() ? std::string("(default)") : value.name) +
                               " = " + DescribeValue(*now_value));
        }
    }
}

} // namespace

PrefixState ReadPrefixState(const fs::path& prefix) {
    PrefixState state;
    const fs::path drive_c = prefix / "drive_c";
    WalkFolder(drive_c, state.files, &state.folders);
    std::sort(state.folders.begin(), state.folders.end());
    std::error_code error;
    state.machine = ParseWineRegistry(ReadText(prefix / "system.reg"));
    state.user = ParseWineRegistry(ReadText(prefix / "user.reg"));
    for (const auto& entry : fs::directory_iterator(drive_c / "windows", error))
        if (Lower(entry.path().filename().string()) == "system.ini")
            state.screen_saver = IniValue(ReadText(entry.path()), "boot", "SCRNSAVE.EXE");
    return state;
}

std::vector<std::string> LeftBehind(const PrefixState& before, const PrefixState& installed,
                                    const PrefixState& removed, std::string_view own_folder) {
    std::vector<std::string> left;
    const std::string own = Lower(std::string(own_folder));
    const auto ours = [&](const std::string& relative) {
        const std::string lower = Lower(relative);
        return lower == own || lower.starts_with(own + "/");
    };
    for (const auto& [relative, state] : installed.files) {
        // system.ini is the setting below, not a file the installation added.
        if (ours(relative) || Lower(relative) == "windows/system.ini") continue;
        const auto old = before.files.find(relative);
        if (old != before.files.end() && old->second == state) continue;
        const auto now = removed.files.find(relative);
        if (now != removed.files.end() &&
            (old == before.files.end() || !(old->second == now->second)))
            left.push_back("file " + WindowsPath(relative));
    }
    for (const std::string& folder : installed.folders) {
        if (ours(folder) ||
            std::binary_search(before.folders.begin(), before.folders.end(), folder))
            continue;
        if (std::binary_search(removed.folders.begin(), removed.folders.end(), folder))
            left.push_back("folder " + WindowsPath(folder));
    }
    AddRegistryLeftovers(before.machine, installed.machine, removed.machine, "HKEY_LOCAL_MACHINE",
                         left);
    AddRegistryLeftovers(before.user, installed.user, removed.user, "HKEY_CURRENT_USER", left);
    if (installed.screen_saver != before.screen_saver &&
        removed.screen_saver != before.screen_saver)
        left.push_back("setting system.ini [boot] SCRNSAVE.EXE=" + removed.screen_saver);
    return left;
}

std::optional<std::string> UninstallCommand(const Registry& machine, std::string_view key_name) {
    const RegistryKey* key =
        FindKey(machine, Lower(std::string(kUninstallKeyRoot) + "\\" + std::string(key_name)));
    const RegistryValue* value = ValueOf(key, "UninstallString");
    if (!value || value->text.empty()) return std::nullopt;
    return value->text;
}

std::string FormatRemoval(const RemovalFindings& removal) {
    std::string out = "Removed as Add/Remove Programs does, by the Uninstall entry's "
                      "UninstallString: " +
                      removal.command + "\n";
    out += FormatRun(removal.driver, "uninstaller");
    out += "Left behind of what the installation added:";
    if (removal.left.empty()) out += " nothing";
    out += "\n";
    for (const std::string& line : removal.left)
        out += "  " + line + "\n";
    return out;
}
