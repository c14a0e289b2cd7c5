#include "tools/lmvpack/installer_builder.h"

#include "tools/lmvpack/atomic_file.h"
#include "tools/lmvpack/package_writer.h"
#include "tools/lmvpack/stub_branding.h"
#include "tools/lmvpack/stub_layout.h"
#include "tools/lmvpack/tool_error.h"

#ifdef _WIN32
#include <exception>
#include <windows.h>
#else
#include <future>
#endif

namespace {

#ifdef _WIN32
// mingw's runtime in its Win32 threading model has no std::async: the same worker, on a
// thread of the system's own.
struct EncodeJob {
    const std::vector<uint8_t>* input;
    CompressionLevel level;
    std::vector<uint8_t> output;
    std::exception_ptr failure;
};

DWORD WINAPI RunEncodeJob(LPVOID parameter) {
    EncodeJob& job = *static_cast<EncodeJob*>(parameter);
    try {
        job.output = EncodeStream(*job.input, job.level);
    } catch (...) {
        job.failure = std::current_exception();
    }
    return 0;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& input, CompressionLevel level,
                            ProgressBar& progress, uint64_t done, uint64_t total,
                            const std::string& label) {
    EncodeJob job{&input, level, {}, nullptr};
    HANDLE worker = CreateThread(nullptr, 0, RunEncodeJob, &job, 0, nullptr);
    if (worker == nullptr) {
        RunEncodeJob(&job);
    } else {
        const auto started = std::chrono::steady_clock::now();
        while (WaitForSingleObject(worker, 100) == WAIT_TIMEOUT) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                std::chrono::steady_clock::now() - started);
            progress.Update(done, total, label + " (" + std::to_string(seconds.count()) + " s)");
        }
        CloseHandle(worker);
    }
    if (job.failure) std::rethrow_exception(job.failure);
    return std::move(job.output);
}
#else
// Encodes on a worker thread so that the bar keeps moving while one large member compresses.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& input, CompressionLevel level,
                            ProgressBar& progress, uint64_t done, uint64_t total,
                            const std::string& label) {
    auto coded = std::async(std::launch::async, [&] { return EncodeStream(input, level); });
    const auto started = std::chrono::steady_clock::now();
    while (coded.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - started);
        progress.Update(done, total, label + " (" + std::to_string(seconds.count()) + " s)");
    }
    return coded.get();
}
#endif

} // namespace

BuiltInstaller BuildInstaller(const Manifest& manifest, const std::filesystem::path& stub_path,
                              CompressionLevel level, ProgressBar& progress) {
    std::vector<uint8_t> stub = ReadWholeFile(stub_path);
    StubLayout layout = InspectStub(stub_path.string(), stub);
    if (!manifest.icon.empty() || manifest.version) {
        stub = BrandStub(stub, manifest);
        layout = InspectStubBytes(stub, stub_path.string() + " with the manifest's branding");
    }

    PackageDescription package;
    package.agreement_text = manifest.agreement_text;
    package.name = manifest.name;
    package.needs_directx = manifest.needs_directx;
    package.top_color = manifest.top_color;
    package.bottom_color = manifest.bottom_color;
    package.first_media_number = manifest.first_media_number;

    uint64_t total = 0;
    for (const MemberSource& source : manifest.members) {
        std::error_code error;
        total += std::filesystem::file_size(source.file, error);
    }

    BuiltInstaller built;
    uint64_t done = 0;
    for (const MemberSource& source : manifest.members) {
        std::vector<uint8_t> data = ReadWholeFile(source.file);
        if (data.empty()) throw BuildError(source.file.string() + ": is empty now");
        const std::string label = source.key + " " + source.file.filename().string();
        progress.Update(done, total, label);

        PackageMember member;
        member.name_suffix = source.name_suffix;
        member.prefix_kind = source.prefix_kind;
        BuiltMember report{source.key, source.file, data.size(), data.size(), false};
        if (source.compress != CompressChoice::Never) {
            std::vector<uint8_t> coded = Encode(data, level, progress, done, total, label);
            // A coded stream that does not restore the file would install a broken file; it is
            // cheaper to decode it once here than to ship it.
            if (DecodeStream(coded, static_cast<uint32_t>(data.size())) != data)
                throw BuildError(source.file.string() +
                                 ": internal error: the compressed stream does not restore the "
                                 "file; build with compress = false for it and report the file");
            if (source.compress == CompressChoice::Always || coded.size() < data.size()) {
                member.unpacked_size = static_cast<uint32_t>(data.size());
                report.compressed = true;
                report.stored_size = coded.size();
                data = std::move(coded);
            }
        }
        member.data = std::move(data);
        done += report.original_size;
        progress.Update(done, total, label);
        package.members.push_back(std::move(member));
        built.members.push_back(report);
    }
    progress.Clear();
    built.image = WriteInstallerImage(stub, layout, package);
    return built;
}
