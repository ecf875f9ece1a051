// Cost of the nte engine paths on the simulated machine: host time and bus
// accesses (register writes, status polls, transfers) per solid fill of 1,
// 100 and 10,000 boxes in each variant; host time of a 512 x 512 image
// written and read in each of the nine builds, against a memcpy of its bytes.
// The slots are called directly, without the harness's mirror, so only the
// driver and its device models are timed.
#include <chrono>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "harness.h"
#include "models/s3_board.h"

namespace {

struct NteBuild {
    const char *driver, *board;
    int depth, bitsPerPixel;
};
const NteBuild kBuilds[] = {
    {"pravo8", "s3/nte/pravo.graf", 8, 8},    {"pravo16", "s3/nte/pravo.graf", 16, 16},
    {"pravo24", "s3/nte/pravo.graf", 24, 32}, {"skerl8", "s3/nte/skerl.graf", 8, 8},
    {"skerl16", "s3/nte/skerl.graf", 16, 16}, {"skerl24", "s3/nte/skerl.graf", 24, 32},
    {"tunga8", "s3/nte/tunga.graf", 8, 8},    {"tunga16", "s3/nte/tunga.graf", 16, 16},
    {"tunga24", "s3/nte/tunga.graf", 24, 32},
};

// 1024 x 768 on the memory the depth needs: room for a 512 x 512 image.
graf::Config config(const NteBuild &b) {
    graf::Config c = harness::loadConfig(b.board);
    c.ints["DEPTH"] = b.depth;
    c.ints["MEMSIZE"] = b.depth == 8 ? 0x100000 : b.depth == 16 ? 0x200000 : 0x400000;
    if (b.bitsPerPixel == 32)
        c.ints["BITSPERPIXEL"] = 32;
    return c;
}

// `count` boxes of 8 x 6 pixels spread over the screen.
std::vector<BoxRec> boxes(int count) {
    std::vector<BoxRec> v;
    for (int i = 0; i < count; i++) {
        int x = (i * 37) % (1024 - 8), y = (i * 11) % (768 - 6);
        v.push_back({int16_t(x), int16_t(y), int16_t(x + 8), int16_t(y + 6)});
    }
    return v;
}

// Fills in the 8-bit build of variant range(1) (0 pravo, 1 skerl, 2 tunga):
// host time per call and the bus accesses of one call.
void SolidFill(benchmark::State &state) {
    const NteBuild &b = kBuilds[3 * state.range(1)];
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

// Host time of one image slot on a 512 x 512 box, and beside it, in the same
// run, a memcpy of the bytes the image takes in video memory; "x memcpy" is
// the ratio of the two. The reported time is the slot's alone.
void Image(benchmark::State &state, ImageOp what) {
    const NteBuild &b = kBuilds[state.range(0)];
    harness::Screen screen(b.driver, config(b));
    if (!screen.start()) {
        state.SkipWithError("the driver did not start");
        return;
    }
    constexpr int kSide = 512;
    const int pixelBytes = b.bitsPerPixel / 8;
    const int stride = kSide * pixelBytes;
    std::vector<uint8_t> image(size_t(stride) * kSide);
    for (size_t i = 0; i < image.size(); i++)
        image[i] = uint8_t(i * 131 + 7);
    const size_t bytes = image.size();
    std::vector<uint8_t> from(bytes, 0x5A), to(bytes);
    WinOps *ops = screen.winOps();
    DrawablePtr d = screen.drawable();
    sim::Machine &m = screen.machine();
    m.setTracing(false);
    BoxRec box = {10, 20, int16_t(10 + kSide), int16_t(20 + kSide)};
    using Clock = std::chrono::steady_clock;
    double slotSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (what == Read)
            ops->ReadImage(&box, image.data(), stride, d);
        else
            ops->DrawImage(&box, image.data(), stride, GXcopy, ~0u, d);
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
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.SetLabel(b.driver);
    screen.freeScreen();
}
BENCHMARK_CAPTURE(Image, DrawImage, Write)->DenseRange(0, 8)->UseManualTime();
BENCHMARK_CAPTURE(Image, ReadImage, Read)->DenseRange(0, 8)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
