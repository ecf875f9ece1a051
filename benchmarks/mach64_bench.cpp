// Cost of the Mach64 drawing paths on the simulated machine: host time and
// bus accesses per solid fill of 1, 100 and 10,000 boxes in each build (two
// register writes per box after the first), and host time per image line
// written and read, against a memcpy of the line's bytes. The slots are
// called directly, without the harness's mirror, so only the driver and its
// device models are timed.
#include <chrono>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "harness.h"

namespace {

struct Mach64Build {
    const char *driver, *board;
};
const Mach64Build kBuilds[] = {
    {"tesk", "ati/mach64/tesk.graf"},
    {"vandu", "ati/mach64/vandu.graf"},
    {"merro", "ati/mach64/merro.graf"},
};

// The example boards at 640 x 480 x 8.
graf::Config config(const Mach64Build &b) {
    graf::Config c = harness::loadConfig(b.board);
    c.ints["DEPTH"] = 8;
    c.ints["PIXWIDTH"] = 640;
    c.ints["PIXHEIGHT"] = 480;
    return c;
}

// `count` boxes of 8 x 6 pixels spread over the screen.
std::vector<BoxRec> boxes(int count) {
    std::vector<BoxRec> v;
    for (int i = 0; i < count; i++) {
        int x = (i * 37) % (640 - 8), y = (i * 11) % (480 - 6);
        v.push_back({int16_t(x), int16_t(y), int16_t(x + 8), int16_t(y + 6)});
    }
    return v;
}

// Fills in build range(1): host time per call and the bus accesses of one
// call.
void SolidFill(benchmark::State &state) {
    const Mach64Build &b = kBuilds[state.range(1)];
    harness::Screen screen(b.driver, config(b));
    if (!screen.start()) {
        state.SkipWithError("the driver did not start");
        return;
    }
    std::vector<BoxRec> v = boxes(int(state.range(0)));
    WinOps *ops = screen.winOps();
    DrawablePtr d = screen.drawable();
    sim::Machine &m = screen.machine();
    uint64_t accesses = 0;
    for (auto _ : state) {
        m.clearTrace();
        ops->DrawSolidRects(v.data(), int(v.size()), 0x5A, GXxor, ~0u, d);
        accesses += m.accessCount();
    }
    state.counters["bus accesses"] =
        benchmark::Counter(double(accesses), benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetLabel(b.driver);
    screen.freeScreen();
}
BENCHMARK(SolidFill)->ArgsProduct({{1, 100, 10000}, {0, 1, 2}});

enum ImageOp { Write, Read };

// Host time of one image slot on 256 lines of 512 pixels, and beside it, in
// the same run, a memcpy of the same bytes; "x memcpy" is the ratio of the
// two, and items are lines. The reported time is the slot's alone.
void Image(benchmark::State &state, ImageOp what) {
    const Mach64Build &b = kBuilds[state.range(0)];
    harness::Screen screen(b.driver, config(b));
    if (!screen.start()) {
        state.SkipWithError("the driver did not start");
        return;
    }
    constexpr int kWidth = 512, kLines = 256;
    std::vector<uint8_t> image(size_t(kWidth) * kLines);
    for (size_t i = 0; i < image.size(); i++)
        image[i] = uint8_t(i * 131 + 7);
    const size_t bytes = image.size();
    std::vector<uint8_t> from(bytes, 0x5A), to(bytes);
    WinOps *ops = screen.winOps();
    DrawablePtr d = screen.drawable();
    screen.machine().setTracing(false);
    BoxRec box = {10, 20, int16_t(10 + kWidth), int16_t(20 + kLines)};
    using Clock = std::chrono::steady_clock;
    double slotSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (what == Read)
            ops->ReadImage(&box, image.data(), kWidth, d);
        else
            ops->DrawImage(&box, image.data(), kWidth, GXcopy, ~0u, d);
        const auto t1 = Clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double slot = std::chrono::duration<double>(t1 - t0).count();
        slotSeconds += slot;
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(slot);
    }
    state.counters["x memcpy"] = copySeconds > 0 ? slotSeconds / copySeconds : 0;
    state.SetItemsProcessed(int64_t(state.iterations()) * kLines);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.SetLabel(b.driver);
    screen.freeScreen();
}
BENCHMARK_CAPTURE(Image, DrawImage, Write)->DenseRange(0, 2)->UseManualTime();
BENCHMARK_CAPTURE(Image, ReadImage, Read)->DenseRange(0, 2)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
