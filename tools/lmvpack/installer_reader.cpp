#include "tools/lmvpack/installer_reader.h"

#include "package/package_locator.h"
#include "package/package_passes.h"
#include "platform/file_api.h"
#include "tools/lmvpack/installed_names.h"
#include "tools/lmvpack/tool_error.h"

#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include <random>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// The installer's passes read "their own executable", whose path must fit 255 characters.
// Longer paths are read through their short (8.3) form, or, where the volume keeps none, through
// a copy in the temporary folder (Windows lets only privileged users make symbolic links).
class ModuleFile {
  public:
    explicit ModuleFile(const std::string& path) {
        std::string use = path;
        if (path.size() > 255) {
            std::error_code error;
            const std::string full = fs::absolute(path, error).string();
            char short_path[MAX_PATH];
            const DWORD length = GetShortPathNameA(full.c_str(), short_path, sizeof short_path);
            if (length > 0 && length <= 255) {
                use.assign(short_path, length);
            } else {
                const fs::path copy =
                    fs::temp_directory_path(error) /
                    ("lmvpack-" + std::to_string(std::random_device{}()) + ".exe");
                if (!error && fs::copy_file(full, copy, error)) {
                    copy_ = copy.string();
                    use = copy_;
                }
            }
        }
        PlatSetModuleFileName(use.c_str());
    }
    ~ModuleFile() {
        PlatSetModuleFileName("");
        if (!copy_.empty()) DeleteFileA(copy_.c_str());
    }
    ModuleFile(const ModuleFile&) = delete;
    ModuleFile& operator=(const ModuleFile&) = delete;

  private:
    std::string copy_;
};
#else
// The installer's passes read "their own executable", whose path must fit 255 characters.
// Longer paths are read through a short symbolic link made for the purpose.
class ModuleFile {
  public:
    explicit ModuleFile(const std::string& path) {
        std::string use = path;
        if (path.size() > 255) {
            char folder[] = "/tmp/lmvpack-XXXXXX";
            if (::mkdtemp(folder)) {
                folder_ = folder;
                link_ = folder_ + "/installer";
                std::error_code error;
                fs::create_symlink(fs::absolute(path, error), link_, error);
                use = link_;
            }
        }
        PlatSetModuleFileName(use.c_str());
    }
    ~ModuleFile() {
        PlatSetModuleFileName("");
        if (!link_.empty()) ::unlink(link_.c_str());
        if (!folder_.empty()) ::rmdir(folder_.c_str());
    }
    ModuleFile(const ModuleFile&) = delete;
    ModuleFile& operator=(const ModuleFile&) = delete;

  private:
    std::string folder_, link_;
};
#endif

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw InstallerError(path + ": " + why);
}

} // namespace

InstallerListing ReadInstaller(const std::string& path) {
    InstallerListing listing;
    listing.path = path;
    std::error_code error;
    if (!fs::exists(path, error)) Fail(path, "no such file");
    if (!fs::is_regular_file(path, error)) Fail(path, "not a regular file");
    listing.file_size = fs::file_size(path, error);
    if (error) Fail(path, "cannot read: " + error.message());

    const ModuleFile module(path);
    FileHandle package = LocatePackage();
    if (package == kNoFile)
        Fail(path, "not an installer: no package resource found (not a PE file, no \".rsrc\" "
                   "section, or cut short)");
    listing.package_offset = static_cast<uint32_t>(PlatSeek(package, 0, kFromCurrent));
    const bool has_length = PlatRead(package, &listing.agreement_length, 2) == 2;
    PlatClose(package);
    if (!has_length) Fail(path, "not an installer: the file ends where its package should begin");

    // ReadPackageHeader leaves its outputs alone on a cut-short header; say so instead.
    const uint64_t header_end = uint64_t{listing.package_offset} + 2 + listing.agreement_length +
                                kScreenSaverNameSize + kHeaderFieldsSize;
    if (header_end > listing.file_size)
        Fail(path, "damaged installer: the package header is cut short");
    PackageHeader header{};
    ReadPackageHeader(&header);
    listing.name = header.ScreenSaverName;
    listing.needs_directx = header.NeedsDirectX;
    listing.top_color = header.TopColor;
    listing.bottom_color = header.BottomColor;

    if (!SumMemberSizes(&listing.total_size))
        Fail(path, "damaged installer: the member table has no terminating entry before the end of "
                   "the file");
    package = OpenMemberTable(&listing.first_media_number);
    if (package == kNoFile) Fail(path, "damaged installer: the member table cannot be read");
    for (uint32_t index = 0;; ++index) {
        MemberEntry entry{};
        if (!ReadMemberEntry(package, &entry)) {
            PlatClose(package);
            Fail(path, "damaged installer: the member table has no terminating entry before the "
                       "end of the file");
        }
        if (entry.StoredSize == 0) break;
        listing.members.push_back(
            {index, entry, InstalledName(index, entry, listing.name, listing.first_media_number)});
    }
    listing.table_end = static_cast<uint32_t>(PlatSeek(package, 0, kFromCurrent));
    PlatClose(package);
    // Every command gives a stub the same answer: there is nothing in it to list, verify or
    // extract, and an installer always holds members.
    if (listing.members.empty())
        Fail(path, "not a built installer: an installer stub with no members in its package; make "
                   "an installer with lmvpack build");
    return listing;
}
