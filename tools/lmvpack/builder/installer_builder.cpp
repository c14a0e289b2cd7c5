#include "tools/lmvpack/builder/installer_builder.h"

#include "tools/lmvpack/builder/stub_branding.h"
#include "tools/lmvpack/installer/package_writer.h"
#include "tools/lmvpack/installer/stub_layout.h"
#include "tools/lmvpack/pe/pe_checksum.h"
#include "tools/lmvpack/support/atomic_file.h"
#include "tools/lmvpack/support/file_streams.h"
#include "tools/lmvpack/support/tool_error.h"
#include "tools/lmvpack/support/worker_thread.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr size_t kPieceSize = 1 << 16;

// Each encoder holds a few megabytes whatever the member's size (the optimal parse's block
// and its candidates, the window, the chains); this many at once stay far below the memory
// of the smallest machine the tool runs on, also as a 32-bit process.
constexpr unsigned kMostJobs = 16;

std::string Reason() {
    return std::strerror(errno);
}

// A member file read a piece at a time; every failure is a BuildError naming it.
class MemberReader {
  public:
    explicit MemberReader(const fs::path& path) : path_(path), stream_(OpenStream(path, "rb")) {
        if (stream_.get() == nullptr)
            throw BuildError(path.string() + ": cannot open: " + Reason());
    }
    size_t Read(uint8_t* into, size_t size) {
        const size_t got = std::fread(into, 1, size, stream_.get());
        if (got < size && std::ferror(stream_.get()))
            throw BuildError(path_.string() + ": cannot read: " + Reason());
        return got;
    }

  private:
    fs::path path_;
    StreamCloser stream_;
};

// Thrown into an encoder to stop it once another member has failed.
struct Abandoned {};

struct EncodeJob {
    size_t member = 0; // index in the manifest
    const MemberSource* source = nullptr;
    uint64_t expected_size = 0;        // when the build started: for the progress bar
    std::atomic<uint64_t> progress{0}; // bytes coded plus bytes checked
    std::atomic<bool> running{false};
    std::unique_ptr<ScratchFile> coded;
    uint64_t coded_size = 0;
    uint64_t input_size = 0;
    std::string failure; // the first line the user sees, when the job failed
};

// Codes the member into a scratch file, then decodes that file with the installer's decoder
// and compares what comes out with the member file.
void Encode(EncodeJob& job, CompressionLevel level, const std::atomic<bool>& stop) {
    const fs::path& file = job.source->file;
    job.coded = std::make_unique<ScratchFile>();
    {
        MemberReader input(file);
        const StreamCloser output(OpenStream(job.coded->path(), "wb"));
        if (output.get() == nullptr) throw BuildError("cannot write a temporary file: " + Reason());
        try {
            job.coded_size = EncodeStream(
                [&](uint8_t* into, size_t size) {
                    if (stop) throw Abandoned{};
                    const size_t got = input.Read(into, size);
                    job.input_size += got;
                    job.progress += got;
                    return got;
                },
                [&](std::span<const uint8_t> piece) {
                    if (std::fwrite(piece.data(), 1, piece.size(), output.get()) != piece.size())
                        throw BuildError("cannot write a temporary file: " + Reason());
                },
                level);
        } catch (const std::length_error&) {
            throw BuildError(file.string() +
                             ": is 2 GiB or larger now, more than an installer can hold");
        }
        if (std::fflush(output.get()) != 0)
            throw BuildError("cannot write a temporary file: " + Reason());
    }
    if (job.input_size == 0) throw BuildError(file.string() + ": is empty now");
    // Larger than any installer: such a stream is never used, so it need not be checked.
    if (job.coded_size > UINT32_MAX) return;

    // A coded stream that does not restore the file would install a broken file; it is
    // cheaper to decode it once here than to ship it.
    const StreamCloser coded(OpenStream(job.coded->path(), "rb"));
    if (coded.get() == nullptr) throw BuildError("cannot read a temporary file: " + Reason());
    MemberReader original(file);
    std::vector<uint8_t> expected(kPieceSize);
    bool same = true;
    const uint64_t restored =
        DecodeStream(coded.get(), static_cast<uint32_t>(job.coded_size),
                     static_cast<uint32_t>(job.input_size), [&](std::span<const uint8_t> piece) {
                         job.progress += piece.size();
                         if (!same) return;
                         same = original.Read(expected.data(), piece.size()) == piece.size() &&
                                std::memcmp(expected.data(), piece.data(), piece.size()) == 0;
                     });
    uint8_t more = 0;
    if (!same || restored != job.input_size || original.Read(&more, 1) != 0)
        throw BuildError(file.string() +
                         ": internal error: the compressed stream does not restore the file; "
                         "build with compress = false for it and report the file");
}

void RunJobs(const std::vector<EncodeJob*>& queue, CompressionLevel level,
             std::atomic<size_t>& next, std::atomic<bool>& stop) {
    for (size_t i; !stop && (i = next++) < queue.size();) {
        EncodeJob& job = *queue[i];
        job.running = true;
        try {
            Encode(job, level, stop);
        } catch (const Abandoned&) {
        } catch (const BuildError& error) {
            job.failure = error.what();
        } catch (const std::bad_alloc&) {
            job.failure = job.source->file.string() + ": not enough memory to compress it";
        } catch (const std::exception& error) {
            job.failure = job.source->file.string() + ": " + error.what();
        }
        if (!job.failure.empty()) stop = true;
        job.running = false;
    }
}

std::string ActiveMembers(const std::vector<std::unique_ptr<EncodeJob>>& jobs) {
    std::string label;
    for (const auto& job : jobs) {
        if (!job->running) continue;
        label += label.empty() ? "compressing " : ", ";
        label += job->source->key + " " + job->source->file.filename().string();
    }
    return label;
}

// What the caller is told keeps moving forward and stays within its total, whatever the files
// do meanwhile: a member that grew during the build counts no further than planned.
class Progress {
  public:
    Progress(const ProgressReport& report, uint64_t total) : report_(report), total_(total) {}
    void Report(uint64_t done, const std::string& label) {
        done_ = std::max(done_, std::min(done, total_));
        if (report_) report_(done_, total_, label);
    }
    uint64_t total() const { return total_; }

  private:
    const ProgressReport& report_;
    uint64_t total_;
    uint64_t done_ = 0;
};

// Compresses every member in `jobs`, `settings.jobs` at a time, reporting as it goes.
void CompressAll(std::vector<std::unique_ptr<EncodeJob>>& jobs, const BuildSettings& settings,
                 Progress& progress) {
    // Largest first: the last member to start is then a small one, and the threads finish
    // close together. The installer keeps the manifest's order whatever the order here.
    std::vector<EncodeJob*> queue;
    for (const auto& job : jobs)
        queue.push_back(job.get());
    std::stable_sort(queue.begin(), queue.end(), [](const EncodeJob* a, const EncodeJob* b) {
        return a->expected_size > b->expected_size;
    });
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    const size_t wanted = std::min<size_t>({settings.jobs, kMostJobs, jobs.size()});
    std::vector<std::unique_ptr<WorkerThread>> workers;
    for (size_t t = 0; t < wanted; ++t) {
        try {
            workers.push_back(std::make_unique<WorkerThread>(
                [&] { RunJobs(queue, settings.level, next, stop); }));
        } catch (const std::runtime_error&) {
            break; // fewer threads than asked for: those that run take on the rest
        }
    }
    if (workers.empty()) RunJobs(queue, settings.level, next, stop);
    for (const auto& worker : workers) {
        while (!worker->WaitFor(100)) {
            uint64_t done = 0;
            for (const auto& job : jobs)
                done += job->progress;
            progress.Report(done, ActiveMembers(jobs));
        }
    }
    for (const auto& worker : workers)
        worker->Join();
    for (const auto& job : jobs)
        if (!job->failure.empty()) throw BuildError(job->failure);
}

// Appends the `size` bytes of `path` to the installer through `write`, reporting each piece to
// `copied`. The file must hold exactly that many: the table already says so.
void CopyMember(const std::function<void(std::span<const uint8_t>)>& write, const fs::path& path,
                uint64_t size, const std::function<void(uint64_t)>& copied) {
    MemberReader input(path);
    std::vector<uint8_t> piece(kPieceSize);
    uint64_t left = size;
    while (left > 0) {
        const size_t got =
            input.Read(piece.data(), static_cast<size_t>(std::min<uint64_t>(left, piece.size())));
        if (got == 0) break;
        write(std::span<const uint8_t>(piece.data(), got));
        left -= got;
        copied(got);
    }
    if (left != 0 || input.Read(piece.data(), 1) != 0)
        throw BuildError(path.string() + ": changed while the installer was built; build again");
}

} // namespace

BuiltInstaller BuildInstaller(const Manifest& manifest, const fs::path& stub_path,
                              const fs::path& output, const BuildSettings& settings,
                              const ProgressReport& report) {
    std::vector<uint8_t> stub = ReadWholeFile(stub_path);
    StubLayout layout = InspectStub(stub_path.string(), stub);
    if (!manifest.icon.empty() || manifest.version) {
        stub = BrandStub(stub, manifest);
        layout = InspectStubBytes(stub, stub_path.string() + " with the manifest's branding");
    }

    PackageDescription package;
    package.header = manifest; // the header part of the manifest, as loaded

    // Progress counts every compressed member twice (coding, then checking) and every member
    // once more while it is written into the installer.
    BuiltInstaller built;
    std::vector<std::unique_ptr<EncodeJob>> jobs;
    std::vector<uint64_t> planned; // each member's size when the build started
    uint64_t total = 0;
    for (size_t index = 0; index < manifest.members.size(); ++index) {
        const MemberSource& source = manifest.members[index];
        std::error_code error;
        const uint64_t size = fs::file_size(source.file, error);
        if (error) throw BuildError(source.file.string() + ": cannot read: " + error.message());
        if (size == 0) throw BuildError(source.file.string() + ": is empty now");
        built.members.push_back({source.key, source.file, size, size, false});
        planned.push_back(size);
        total += size;
        if (source.compress == CompressChoice::Never) continue;
        auto job = std::make_unique<EncodeJob>();
        job->member = index;
        job->source = &source;
        job->expected_size = size;
        jobs.push_back(std::move(job));
    }
    const uint64_t write_units = total;
    for (const auto& job : jobs)
        total += 2 * job->expected_size;
    Progress progress(report, total);
    CompressAll(jobs, settings, progress);
    const uint64_t compressed = total - write_units;
    progress.Report(compressed, jobs.empty() ? "nothing to compress" : "compressed");

    for (const auto& job : jobs) {
        BuiltMember& member = built.members[job->member];
        member.original_size = job->input_size;
        if (job->source->compress == CompressChoice::Always || job->coded_size < job->input_size) {
            member.compressed = true;
            member.stored_size = job->coded_size;
        } else {
            member.stored_size = job->input_size;
        }
    }
    for (size_t index = 0; index < manifest.members.size(); ++index) {
        const MemberSource& source = manifest.members[index];
        const BuiltMember& member = built.members[index];
        PackageMember entry;
        entry.stored_size = member.stored_size;
        entry.unpacked_size = member.compressed ? static_cast<uint32_t>(member.original_size) : 0;
        entry.name_suffix = source.name_suffix;
        entry.prefix_kind = source.prefix_kind;
        package.members.push_back(entry);
    }
    const InstallerHead head = WriteInstallerHead(stub, layout, package);

    // The header's checksum covers the whole file: summed as the file is written, and put
    // into the header, already written, at the end.
    const uint64_t checksum_field = PeChecksumField(head.bytes);
    PeChecksumSum checksum(checksum_field);
    AtomicFile out(output, true);
    const auto write = [&](std::span<const uint8_t> bytes) {
        checksum.Add(bytes);
        out.Write(bytes);
    };
    write(head.bytes);
    uint64_t done = compressed;
    size_t next_job = 0;
    for (size_t index = 0; index < manifest.members.size(); ++index) {
        const BuiltMember& member = built.members[index];
        const EncodeJob* job = next_job < jobs.size() && jobs[next_job]->member == index
                                   ? jobs[next_job++].get()
                                   : nullptr;
        const std::string label = "writing " + member.key + " " + member.file.filename().string();
        uint64_t copied = 0;
        CopyMember(write, member.compressed ? job->coded->path() : member.file, member.stored_size,
                   [&](uint64_t piece) {
                       copied += piece;
                       // In the member's own bytes, however many it takes in the file.
                       progress.Report(done + copied * planned[index] / member.stored_size, label);
                   });
        done += planned[index];
    }
    const std::vector<uint8_t> zeros(kPieceSize, 0);
    for (uint64_t left = head.trailing_zeros; left > 0;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, zeros.size()));
        write(std::span<const uint8_t>(zeros.data(), count));
        left -= count;
    }
    if (out.size() != head.file_size)
        throw BuildError("internal error: member data do not lie where the table says");
    const uint32_t sum = checksum.Finish();
    const uint8_t sum_bytes[4] = {static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8),
                                  static_cast<uint8_t>(sum >> 16), static_cast<uint8_t>(sum >> 24)};
    out.Overwrite(checksum_field, sum_bytes);
    out.Commit();
    progress.Report(total, "written");
    built.size = out.size();
    return built;
}
