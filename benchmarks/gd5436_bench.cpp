// Cost of the gd5436 engine paths on the simulated machine: host time and bus
// accesses (register writes, status polls) per solid fill of 1, 100 and
// 10,000 boxes and per screen copy. The slots are called directly, without
// the harness's mirror, so only the driver and its device models are timed.
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

} // namespace

BENCHMARK_MAIN();
