// codec_bench [benchmark flags] [CORPUS_DIR]
//
// For every file of the corpus (default: $LMV_BENCH_CORPUS, else the shared corpus beside the
// source tree): encode speed (MB/s of input) and coded size per level, decode speed (MB/s of
// output) of each level's stream, and gzip -9 / gzip -d on the same file in the same run.
// "corpus" rows run all files one after the other, for the figures over the corpus as a whole.
//
// Decoding runs the installer's own decoder with its byte source on a temporary file and its
// sink writing to /dev/null, so the figure is the decoder's and not the disk's; gzip -d
// writes to /dev/null as well.
#include "decode/byte_sink.h"
#include "decode/byte_source.h"
#include "decode/lzh_decoder.h"
#include "tools/lmvpack/codec/stream_codec.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CorpusFile {
    std::string name;
    fs::path path;
    std::vector<uint8_t> bytes;
};

constexpr std::pair<CompressionLevel, const char*> kLevels[] = {
    {CompressionLevel::Fast, "fast"},
    {CompressionLevel::Default, "default"},
    {CompressionLevel::Best, "best"},
};

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool NeverStop() {
    return false;
}

// One stream, ready to be decoded again and again.
class PreparedStream {
  public:
    PreparedStream(const std::vector<uint8_t>& stream, uint32_t unpacked_size)
        : source_(std::tmpfile()), sink_(std::fopen("/dev/null", "wb")),
          stored_size_(static_cast<uint32_t>(stream.size())), unpacked_size_(unpacked_size) {
        if (source_ == nullptr || sink_ == nullptr) {
            std::cerr << "codec_bench: cannot open the temporary files\n";
            std::exit(1);
        }
        std::fwrite(stream.data(), 1, stream.size(), source_);
    }
    PreparedStream(const PreparedStream&) = delete;
    PreparedStream& operator=(const PreparedStream&) = delete;
    ~PreparedStream() {
        std::fclose(source_);
        std::fclose(sink_);
    }

    int32_t Decode() {
        std::rewind(source_);
        ByteSource(nullptr, 0);
        WritePtr(nullptr, 0, 0);
        return LzhDecoder(source_, sink_, unpacked_size_, stored_size_, NeverStop);
    }

  private:
    FILE* source_;
    FILE* sink_;
    uint32_t stored_size_;
    uint32_t unpacked_size_;
};

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// CPU seconds that finished child processes have used so far: gzip's own time, comparable
// with the CPU time that the codec's rows report, whatever else the machine is running.
double ChildCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

int64_t TotalSize(const std::vector<const CorpusFile*>& files) {
    int64_t total = 0;
    for (const CorpusFile* file : files)
        total += static_cast<int64_t>(file->bytes.size());
    return total;
}

void RegisterFor(const std::string& label, std::vector<const CorpusFile*> files,
                 const fs::path& scratch) {
    const int64_t input_size = TotalSize(files);
    for (const auto& [level, level_name] : kLevels) {
        benchmark::RegisterBenchmark(("encode/" + std::string(level_name) + "/" + label).c_str(),
                                     [files, level = level, input_size](benchmark::State& state) {
                                         size_t coded = 0;
                                         for (auto _ : state) {
                                             coded = 0;
                                             for (const CorpusFile* file : files)
                                                 coded += EncodeStream(file->bytes, level).size();
                                             benchmark::DoNotOptimize(coded);
                                         }
                                         state.SetBytesProcessed(state.iterations() * input_size);
                                         state.counters["size"] = static_cast<double>(coded);
                                         state.counters["ratio"] = static_cast<double>(coded) /
                                                                   static_cast<double>(input_size);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.3);

        benchmark::RegisterBenchmark(
            ("decode/" + std::string(level_name) + "/" + label).c_str(),
            [files, level = level, input_size](benchmark::State& state) {
                std::vector<std::unique_ptr<PreparedStream>> streams;
                for (const CorpusFile* file : files) {
                    const std::vector<uint8_t> stream = EncodeStream(file->bytes, level);
                    if (DecodeStream(stream, static_cast<uint32_t>(file->bytes.size())) !=
                        file->bytes) {
                        state.SkipWithError("the stream does not restore the file");
                        return;
                    }
                    streams.push_back(std::make_unique<PreparedStream>(
                        stream, static_cast<uint32_t>(file->bytes.size())));
                }
                for (auto _ : state)
                    for (auto& stream : streams)
                        benchmark::DoNotOptimize(stream->Decode());
                state.SetBytesProcessed(state.iterations() * input_size);
            })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
    }

    // gzip runs as a child process: its rows report the children's CPU time.
    benchmark::RegisterBenchmark(
        ("gzip-9/" + label).c_str(),
        [files, input_size, scratch](benchmark::State& state) {
            int64_t coded = 0;
            for (auto _ : state) {
                coded = 0;
                const double before = ChildCpuSeconds();
                for (const CorpusFile* file : files) {
                    const fs::path out = scratch / (file->name + ".gz");
                    if (!Run("gzip -9 -c " + Quoted(file->path) + " > " + Quoted(out))) {
                        state.SkipWithError("gzip -9 failed");
                        return;
                    }
                    coded += static_cast<int64_t>(fs::file_size(out));
                }
                state.SetIterationTime(ChildCpuSeconds() - before);
            }
            state.SetBytesProcessed(state.iterations() * input_size);
            state.counters["size"] = static_cast<double>(coded);
            state.counters["ratio"] = static_cast<double>(coded) / static_cast<double>(input_size);
        })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->MinTime(0.3);

    benchmark::RegisterBenchmark(
        ("gzip-d/" + label).c_str(),
        [files, input_size, scratch](benchmark::State& state) {
            for (const CorpusFile* file : files) {
                const fs::path out = scratch / (file->name + ".gz");
                if (!fs::exists(out) &&
                    !Run("gzip -9 -c " + Quoted(file->path) + " > " + Quoted(out))) {
                    state.SkipWithError("gzip -9 failed");
                    return;
                }
            }
            for (auto _ : state) {
                const double before = ChildCpuSeconds();
                for (const CorpusFile* file : files) {
                    const fs::path in = scratch / (file->name + ".gz");
                    if (!Run("gzip -d -c " + Quoted(in) + " > /dev/null")) {
                        state.SkipWithError("gzip -d failed");
                        return;
                    }
                }
                state.SetIterationTime(ChildCpuSeconds() - before);
            }
            state.SetBytesProcessed(state.iterations() * input_size);
        })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->MinTime(0.5);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    fs::path corpus = LMV_BENCH_CORPUS_DEFAULT;
    if (const char* from_environment = std::getenv("LMV_BENCH_CORPUS")) corpus = from_environment;
    if (argc > 1) corpus = argv[1];

    std::vector<CorpusFile> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(corpus, error)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
        files.push_back({entry.path().filename().string(), entry.path(), ReadAll(entry.path())});
    }
    if (error || files.empty()) {
        std::cerr << "codec_bench: no corpus files in " << corpus << "\n";
        return 1;
    }
    std::sort(files.begin(), files.end(),
              [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });

    const fs::path scratch =
        fs::temp_directory_path() / ("codec_bench." + std::to_string(::getpid()));
    fs::create_directories(scratch);
    std::vector<const CorpusFile*> all;
    for (const CorpusFile& file : files) {
        RegisterFor(file.name, {&file}, scratch);
        all.push_back(&file);
    }
    RegisterFor("corpus", all, scratch);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(scratch);
    return 0;
}
