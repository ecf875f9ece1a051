// Cost of the gd5436 engine paths on the simulated machine: host time and bus
// accesses (register writes, status polls) per solid fill of 1, 100 and
// 10,000 boxes and per screen copy; host time of a 512 x 512 image written and
// read at each pixel size, against a memcpy of its bytes. The slots are called directly, without
// the harness's mirror, so only the driver and its device models are timed.
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "harness.h"
#include "models/cirrus_blt.h"
#include "models/gd5436_adapter.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

graf::Config config(const char *adapter, int depth, int pixelBytes) {
    return graf::Builder()
        .adapter(adapter)
        .memory("", 0xE0000000, sim::Gd5436Adapter::kApertureSize)
        .integer("MEMSIZE", 0x200000)
        .integer("PIXWIDTH", kWidth)
        .integer("PIXHEIGHT", kHeight)
        .integer("DEPTH", depth)
        .integer("PITCH", kWidth * pixelBytes)
        .procedure("InstalledMemory", "result = 0x20")
        .procedure("GetScreenPitch", "result = $PITCH")
        .procedure("SetGraphics", "result = 1")
        .procedure("SetText", "result = 1")
        .build();
}

// A started screen of one build, its engine without the operation log.
struct Bench {
    explicit Bench(const char *driver, const char *adapter, int depth, int pixelBytes)
        : screen(driver, config(adapter, depth, pixelBytes)) {
        ok = screen.start();
        if (ok)
            dynamic_cast<sim::Gd5436Adapter &>(*screen.adapter()).blt().setLogging(false);
    }
    ~Bench() { screen.freeScreen(); }
    harness::Screen screen;
    bool ok = false;
};

// `count` boxes of 8 x 6 pixels spread over the screen.
std::vector<BoxRec> boxes(int count) {
    std::vector<BoxRec> v;
    for (int i = 0; i < count; i++) {
        int x = (i * 37) % (kWidth - 8), y = (i * 11) % (kHeight - 6);
        v.push_back({int16_t(x), int16_t(y), int16_t(x + 8), int16_t(y + 6)});
    }
    return v;
}

// Runs `op` per iteration and reports the bus accesses of one run.
template <class Op> void measure(benchmark::State &state, Bench &b, Op op) {
    if (!b.ok) {
        state.SkipWithError("the driver did not start");
        return;
    }
    sim::Machine &m = b.screen.machine();
    uint64_t accesses = 0;
    for (auto _ : state) {
        m.clearTrace();
        op();
        accesses += m.accessCount();
    }
    state.counters["bus accesses"] =
        benchmark::Counter(double(accesses), benchmark::Counter::kAvgIterations);
}

void SolidFill(benchmark::State &state) {
    Bench b("brisko8", "gd5480", 8, 1);
    std::vector<BoxRec> v = boxes(int(state.range(0)));
    WinOps *ops = b.screen.winOps();
    DrawablePtr d = b.screen.drawable();
    measure(state, b, [&] { ops->DrawSolidRects(v.data(), int(v.size()), 0x5A, GXxor, ~0u, d); });
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SolidFill)->Arg(1)->Arg(100)->Arg(10000);

void SolidFill24(benchmark::State &state) {
    Bench b("brisko24", "gd5480", 24, 3);
    std::vector<BoxRec> v = boxes(int(state.range(0)));
    WinOps *ops = b.screen.winOps();
    DrawablePtr d = b.screen.drawable();
    measure(state, b,
            [&] { ops->DrawSolidRects(v.data(), int(v.size()), 0x123456, GXcopy, ~0u, d); });
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SolidFill24)->Arg(1)->Arg(100)->Arg(10000);

// One copy of a w x w square, overlapping its source one line down (forwards)
// and one pixel right (backwards).
void CopyRect(benchmark::State &state) {
    Bench b("brisko8", "gd5480", 8, 1);
    const int w = int(state.range(0));
    WinOps *ops = b.screen.winOps();
    DrawablePtr d = b.screen.drawable();
    BoxRec down = {10, 10, int16_t(10 + w), int16_t(10 + w)};
    DDXPointRec below = {10, 11};
    BoxRec right = {11, 10, int16_t(11 + w), int16_t(10 + w)};
    DDXPointRec left = {10, 10};
    measure(state, b, [&] {
        ops->CopyRect(&down, &below, GXcopy, ~0u, d);
        ops->CopyRect(&right, &left, GXcopy, ~0u, d);
    });
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(CopyRect)->Arg(8)->Arg(64)->Arg(400);

// ---- images ----

// An 800 x 600 screen in 2 MB, room for a 512 x 512 image at every pixel size.
constexpr int kImageScreenWidth = 800, kImageScreenHeight = 600, kImageSide = 512;

graf::Config imageConfig(const char *adapter, int depth, int pixelBytes) {
    return graf::Builder()
        .adapter(adapter)
        .memory("", 0xE0000000, sim::Gd5436Adapter::kApertureSize)
        .integer("MEMSIZE", 0x200000)
        .integer("PIXWIDTH", kImageScreenWidth)
        .integer("PIXHEIGHT", kImageScreenHeight)
        .integer("DEPTH", depth)
        .integer("PITCH", kImageScreenWidth * pixelBytes)
        .procedure("InstalledMemory", "result = 0x20")
        .procedure("GetScreenPitch", "result = $PITCH")
        .procedure("SetGraphics", "result = 1")
        .procedure("SetText", "result = 1")
        .build();
}

struct ImageBuild {
    const char *driver, *adapter;
    int depth, pixelBytes;
};
const ImageBuild kImageBuilds[] = {
    {"brisko8", "gd5480", 8, 1}, {"brisko16", "gd5480", 16, 2}, {"brisko24", "gd5480", 24, 3}};

enum ImageOp { WriteCopy, WriteXor, Read };

// Host time of one image slot on a 512 x 512 box, and beside it, in the same
// run, a memcpy of the bytes the image takes in video memory; "x memcpy" is
// the ratio of the two. The reported time is the slot's alone.
void Image(benchmark::State &state, ImageOp what) {
    const ImageBuild &ib = kImageBuilds[state.range(0)];
    harness::Screen screen(ib.driver, imageConfig(ib.adapter, ib.depth, ib.pixelBytes));
    if (!screen.start()) {
        state.SkipWithError("the driver did not start");
        return;
    }
    dynamic_cast<sim::Gd5436Adapter &>(*screen.adapter()).blt().setLogging(false);
    const int clientBytes = ib.pixelBytes == 3 ? 4 : ib.pixelBytes;
    const int stride = kImageSide * clientBytes;
    std::vector<uint8_t> image(size_t(stride) * kImageSide);
    for (size_t i = 0; i < image.size(); i++)
        image[i] = uint8_t(i * 131 + 7);
    const size_t screenBytes = size_t(kImageSide) * kImageSide * size_t(ib.pixelBytes);
    std::vector<uint8_t> from(screenBytes, 0x5A), to(screenBytes);
    WinOps *ops = screen.winOps();
    DrawablePtr d = screen.drawable();
    BoxRec box = {10, 20, int16_t(10 + kImageSide), int16_t(20 + kImageSide)};
    using Clock = std::chrono::steady_clock;
    double slotSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (what == Read)
            ops->ReadImage(&box, image.data(), stride, d);
        else
            ops->DrawImage(&box, image.data(), stride, what == WriteCopy ? GXcopy : GXxor, ~0u, d);
        const auto t1 = Clock::now();
        std::memcpy(to.data(), from.data(), screenBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double slot = std::chrono::duration<double>(t1 - t0).count();
        slotSeconds += slot;
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(slot);
    }
    state.counters["x memcpy"] = copySeconds > 0 ? slotSeconds / copySeconds : 0;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(screenBytes));
    state.SetLabel(ib.driver);
    screen.freeScreen();
}
BENCHMARK_CAPTURE(Image, DrawImageGXcopy, WriteCopy)->DenseRange(0, 2)->UseManualTime();
BENCHMARK_CAPTURE(Image, DrawImageGXxor, WriteXor)->DenseRange(0, 2)->UseManualTime();
BENCHMARK_CAPTURE(Image, ReadImage, Read)->DenseRange(0, 2)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
