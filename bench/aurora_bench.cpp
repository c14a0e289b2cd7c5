// aurora_bench: the processor time that the sample screen saver Aurora costs per second of
// display, full screen, at 1920x1080 and 3840x2160.
//
// One iteration is one second of display as Aurora plans it (samples/aurora/src/saver_screen.h):
// every frame of that second computed at its small size (RenderAuroraFrame, Aurora's own code)
// and stretched over the whole screen. The stretch is what Windows' GDI does for StretchDIBits
// into a window, which it draws in memory with the processor: here a nearest-neighbour copy
// with a column table, each screen row copied from the one above where they come from the same
// frame row. Its figure models GDI's work; it is not GDI's code.
//
// The "at 25 frames" rows stretch every 40 ms whatever the screen, as Aurora did before its
// frame rate followed the screen's size. All times are CPU time of the benchmark's thread.
#include "aurora_palette.h"
#include "aurora_render.h"
#include "saver_screen.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Stretch(const std::vector<uint32_t>& frame, int frame_width, int frame_height,
             const std::vector<int>& columns, std::vector<uint32_t>& screen, int width,
             int height) {
    int previous_source = -1;
    for (int y = 0; y < height; ++y) {
        uint32_t* row = screen.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        const int source = static_cast<int>(static_cast<int64_t>(y) * frame_height / height);
        if (source == previous_source) {
            std::memcpy(row, row - width, sizeof(uint32_t) * static_cast<size_t>(width));
            continue;
        }
        const uint32_t* from = frame.data() + static_cast<size_t>(source) * frame_width;
        for (int x = 0; x < width; ++x)
            row[x] = from[columns[static_cast<size_t>(x)]];
        previous_source = source;
    }
}

// Arguments: screen width, screen height, milliseconds per frame (0: as Aurora plans it).
void SecondOfDisplay(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const FramePlan plan = PlanFrames(width, height);
    const uint32_t interval =
        state.range(2) != 0 ? static_cast<uint32_t>(state.range(2)) : plan.interval_ms;
    const AuroraPalette palette = DefaultAuroraPalette();
    std::vector<uint32_t> frame(static_cast<size_t>(plan.width) * plan.height);
    std::vector<uint32_t> screen(static_cast<size_t>(width) * static_cast<size_t>(height));
    std::vector<int> columns(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x)
        columns[static_cast<size_t>(x)] =
            static_cast<int>(static_cast<int64_t>(x) * plan.width / width);
    // Frames fall due every `interval` milliseconds of display, also across iterations, so that
    // 12.5 frames a second are 12.5 on average.
    uint32_t shown = 0, due = 0;
    for (auto _ : state) {
        for (shown += 1000; due < shown; due += interval) {
            RenderAuroraFrame(palette, due, plan.width, plan.height, frame.data());
            Stretch(frame, plan.width, plan.height, columns, screen, width, height);
        }
        benchmark::DoNotOptimize(screen.data());
        benchmark::ClobberMemory();
    }
    state.counters["frames_per_second"] = 1000.0 / interval;
}

// Aurora's own drawing alone, for the same second.
void SecondOfFrames(benchmark::State& state) {
    const FramePlan plan =
        PlanFrames(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const AuroraPalette palette = DefaultAuroraPalette();
    std::vector<uint32_t> frame(static_cast<size_t>(plan.width) * plan.height);
    uint32_t shown = 0, due = 0;
    for (auto _ : state) {
        for (shown += 1000; due < shown; due += plan.interval_ms)
            RenderAuroraFrame(palette, due, plan.width, plan.height, frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}

} // namespace

BENCHMARK(SecondOfDisplay)
    ->ArgNames({"width", "height", "ms"})
    ->Args({1920, 1080, 0})
    ->Args({3840, 2160, 0})
    ->Args({1920, 1080, 40})
    ->Args({3840, 2160, 40})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(SecondOfFrames)
    ->ArgNames({"width", "height"})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

BENCHMARK_MAIN();
