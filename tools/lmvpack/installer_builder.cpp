#include "tools/lmvpack/installer_builder.h"

#include "tools/lmvpack/atomic_file.h"
#include "tools/lmvpack/package_writer.h"
#include "tools/lmvpack/stub_branding.h"
#include "tools/lmvpack/stub_layout.h"
#include "tools/lmvpack/tool_error.h"

#include <atomic>
#include <exception>

#ifdef _WIN32
#include <windows.h>
#else
#include <future>
#endif

namespace {

// How far the member being encoded has come, written by the encoding thread and read by the
// one that draws the bar.
struct EncodeJob {
    EncodeJob(const std::vector<uint8_t>& data, CompressionLevel effort)
        : input(&data), level(effort) {}

    const std::vector<uint8_t>* input;
    CompressionLevel level;
    std::atomic<uint64_t> coded{0};
    std::vector<uint8_t> output;
    std::exception_ptr failure;

    void Run() {
        try {
            output = EncodeStream(*input, level, [this](uint64_t done) {
                coded.store(done, std::memory_order_relaxed);
            });
        } catch (...) {
            failure = std::current_exception();
        }
    }
};

#ifdef _WIN32
// mingw's runtime in its Win32 threading model has no std::thread: the same worker, on a
// thread of the system's own.
DWORD WINAPI RunEncodeJob(LPVOID parameter) {
    static_cast<EncodeJob*>(parameter)->Run();
    return 0;
}

// Calls `poll` every tenth of a second until the job is done.
template <typename Poll> void RunWhilePolling(EncodeJob& job, Poll poll) {
    HANDLE worker = CreateThread(nullptr, 0, RunEncodeJob, &job, 0, nullptr);
    if (worker == nullptr) {
        job.Run();
        return;
    }
    while (WaitForSingleObject(worker, 100) == WAIT_TIMEOUT)
        poll();
    CloseHandle(worker);
}
#else
template <typename Poll> void RunWhilePolling(EncodeJob& job, Poll poll) {
    auto finished = std::async(std::launch::async, [&job] { job.Run(); });
    while (finished.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
        poll();
    finished.get();
}
#endif

// Encodes on a worker thread so that the bar keeps moving through one large member.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& input, CompressionLevel level,
                            ProgressBar& progress, uint64_t done, uint64_t total,
                            const std::string& label) {
    EncodeJob job(input, level);
    RunWhilePolling(job, [&] {
        progress.Update(done + job.coded.load(std::memory_order_relaxed), total, label);
    });
    if (job.failure) std::rethrow_exception(job.failure);
    return std::move(job.output);
}

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
