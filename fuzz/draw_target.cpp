// Fuzz target: a driver on a working screen, then a sequence of server calls
// taken from the input. Every call keeps the server's contract (clipped,
// screen-absolute geometry; consistent line terms; fonts and glyphs whose
// bitmaps match their sizes) and every drawing step is compared with the
// reference renderer. A failure is whatever the harness reports (device
// model protocol faults, the watchdog, accesses outside the simulated areas,
// aborted calls, FatalError), a pixel difference, a ReadImage that differs,
// a screen that does not come back after a server reset, or a driver block
// still held after FreeScreen.
//
// The screen of a setup is set up once and serves one input after another:
// each input gets a new server generation on it (FreeScreen ended the one
// before), with video memory cleared first, so it starts as on a screen just
// brought up. A failure on a screen that earlier inputs used is tried again
// on a fresh one, so that what is reported is what replaying the input alone
// shows; when it does not fail there, the report says so and the inputs run
// before it are saved beside it.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_common.h"

namespace fuzzdraw {

namespace {

// Bounds that keep one input quick; the geometry inside them is free. An
// input also ends after the step that takes the pixels it drew past
// kMaxPixels (about one 640 x 400 screen): on the large screens a few steps
// over most of the screen would cost as much as a hundred small inputs.
constexpr int kMaxSteps = 48;
constexpr int64_t kMaxPixels = int64_t{1} << 18;
// Screens of at most this many pixels count as small.
constexpr int64_t kSmallScreen = 160 * 120;
constexpr int kMaxGCs = 4;
constexpr int kMaxFonts = 3;
constexpr int kMaxList = 12;
// A long list (boxes, spans, points, segments, glyphs) holds this many items
// and up to 15 more: enough to fill any engine's queue more than twice, so a
// wait left out inside a batch shows.
constexpr int kLongList = 40;
// Generations one server gives a screen before it starts afresh (each
// generation takes the drivers' screen privates anew, and the server's
// arrays of them grow), and console switches one machine sees (the device
// models keep every register and palette write, and a switch back reloads
// the palette: 65536 entries in the direct-colour builds).
constexpr int kGenerationsPerServer = 256;
constexpr int kSwitchesPerMachine = 32;
// Inputs kept for a failure that shows only after them.
constexpr size_t kHistory = 32;
// After every step the rows of one of this many bands of the screen are
// compared as well as the step's own region, so a write outside the region
// is seen within this many steps (and the whole screen is compared before
// anything takes the mirror from video memory, and at the end).
constexpr int kBands = 8;

// The screen inputs run on, kept from one input to the next.
struct Live {
    const fuzz::Setup *setup = nullptr;
    std::unique_ptr<harness::Screen> screen;
    std::vector<std::string> *sink = nullptr; // the running input's failures
    int generations = 0;
    int switches = 0;
    std::vector<std::vector<uint8_t>> history; // inputs run on it, oldest first
};

Live &live() {
    static Live *l = new Live; // never destroyed: the server may be gone at exit
    return *l;
}

// Where a fuzzing run writes the inputs a failure depended on (libFuzzer's
// -artifact_prefix); empty outside the fuzz build.
std::string &historyPrefix() {
    static std::string prefix;
    return prefix;
}

BoxRec unite(const BoxRec &a, const BoxRec &b) {
    if (a.x1 >= a.x2 || a.y1 >= a.y2)
        return b;
    if (b.x1 >= b.x2 || b.y1 >= b.y2)
        return a;
    return {std::min(a.x1, b.x1), std::min(a.y1, b.y1), std::max(a.x2, b.x2), std::max(a.y2, b.y2)};
}

struct Session {
    Session(fuzz::Input &i, harness::Screen &scr, std::vector<std::string> &f)
        : in(i), s(scr), failures(f) {}
    fuzz::Input &in;
    harness::Screen &s;
    std::vector<std::string> &failures;
    std::vector<GCPtr> gcs;
    std::vector<std::unique_ptr<harness::Font>> fonts;
    std::vector<std::unique_ptr<harness::Cursor>> cursors; // realized
    std::vector<PixmapPtr> pixmaps;                        // tiles and stipples
    int step = 0;
    int64_t pixels = 0; // drawn so far, box by box
    int switches = 0;   // console switches
    std::string what;
    // What the current step may draw on the visible screen.
    BoxRec region = {0, 0, 0, 0};

    int W() const { return s.width(); }
    int H() const { return s.height(); }
    int clientBytes() { return ref::clientPixelBytes(s.mirror()); }
    bool failed() const { return !failures.empty(); }

    void fail(const std::string &m) {
        failures.push_back("step " + std::to_string(step) + " " + what + ": " + m);
    }
    void touch(const BoxRec &b) {
        region = unite(region, b);
        pixels += int64_t{std::max(b.x2 - b.x1, 0)} * std::max(b.y2 - b.y1, 0);
    }
    void touch(DDXPointRec p) {
        touch({p.x, p.y, static_cast<int16_t>(p.x + 1), static_cast<int16_t>(p.y + 1)});
    }
    void touch(const std::vector<BoxRec> &bs) {
        for (const BoxRec &b : bs)
            touch(b);
    }

    // ---- values ----
    // Clients may set a GC colour to any 32-bit value. All ones is the one a
    // driver is likeliest to mistake for a mark of its own, so it comes often
    // and with the bits above the depth kept.
    uint32_t pixel() {
        if (in.range(0, 15) == 0)
            return ~0u;
        uint32_t v = in.flag() ? in.u32() : in.byte() * 0x01010101u;
        return v & s.allPlanes();
    }
    // The server passes the alu as a word of which only the low byte counts.
    int alu() {
        int a = in.range(0, 15);
        return in.range(0, 7) == 0 ? a | in.range(1, 0xFF) << 8 : a;
    }
    uint32_t planemask() {
        switch (in.range(0, 3)) {
        case 0:
        case 1:
            return ~0u; // what most requests carry
        case 2:
            return s.allPlanes();
        default:
            return in.u32();
        }
    }
    // An extent along an axis of `size`: mostly small, sometimes the whole.
    int extent(int size) {
        static const int limits[] = {4, 17, 70, 1 << 30};
        int limit = limits[in.range(0, 3)];
        return in.range(0, std::min(size, limit));
    }
    BoxRec box() {
        int w = extent(W()), h = extent(H());
        int x = in.range(0, W() - w), y = in.range(0, H() - h);
        return {static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<int16_t>(x + w),
                static_cast<int16_t>(y + h)};
    }
    // How many items a list holds: lo to most, as range() gives them, or
    // for the top sixteen values of its byte a long list.
    int listLength(int lo, int most) {
        int raw = in.byte();
        if (raw >= 0xF0)
            return kLongList + (raw & 0xF);
        return lo + raw % (most - lo + 1);
    }
    std::vector<BoxRec> boxes() {
        std::vector<BoxRec> out(static_cast<size_t>(listLength(0, kMaxList)));
        for (BoxRec &b : out)
            b = box();
        return out;
    }
    DDXPointRec point() {
        return {static_cast<int16_t>(in.range(0, W() - 1)),
                static_cast<int16_t>(in.range(0, H() - 1))};
    }
    DDXPointRec patOrg() {
        return {static_cast<int16_t>(in.range(-300, W() + 300)),
                static_cast<int16_t>(in.range(-300, H() + 300))};
    }
    // Bytes per row of `minimum` or more, as the server's images come.
    int stride(int minimum) {
        switch (in.range(0, 3)) {
        case 0:
            return minimum;
        case 1:
            return (minimum + 3) & ~3;
        case 2:
            return ((minimum + 3) & ~3) + 4 * in.range(1, 4);
        default:
            return minimum + in.range(1, 9);
        }
    }

    // ---- pixels ----
    // Random pixels in video memory and the mirror, so alus that read the
    // destination mean something. Bits above the depth (bit 15 at depth 15)
    // keep what memory held.
    void randomScreen(uint32_t seed) {
        s.drain();
        uint8_t *mem = s.screenMemory();
        if (!mem)
            return;
        // Rows are windows at random places of one random block: cheap, and
        // no two rows alike.
        fuzz::Bulk bulk(seed);
        size_t row = static_cast<size_t>(W()) * static_cast<size_t>(s.bytesPerPixel());
        std::vector<uint8_t> block = bulk.bytes(2 * row + 4096);
        for (int y = 0; y < H(); y++) {
            uint8_t *p = mem + static_cast<size_t>(y) * static_cast<size_t>(s.pitch());
            const uint8_t *b = block.data() + bulk.next() % (row + 4096);
            uint8_t high = s.depth() == 15 ? p[1] & 0x80 : 0;
            std::memcpy(p, b, row);
            // At depth 15 the top bit is no pixel's: keep one value in it.
            if (s.depth() == 15)
                for (size_t i = 1; i < row; i += 2)
                    p[i] = static_cast<uint8_t>((p[i] & 0x7F) | high);
        }
        s.syncMirror();
    }
    // Whether video memory shows the mirror in `r` (clipped to the screen).
    // Bit 15 at depth 15 is no pixel's and may differ. A picture that is not
    // linear is read through the adapter, `r` alone.
    bool sameIn(BoxRec r) {
        const uint8_t *mem = s.screenMemory();
        const ref::Canvas &want = s.mirror();
        if (!mem)
            return s.compareSettledIn(r).count == 0;
        int x1 = std::max<int>(r.x1, 0), x2 = std::min<int>(r.x2, want.width);
        int y1 = std::max<int>(r.y1, 0), y2 = std::min<int>(r.y2, want.height);
        if (x1 >= x2 || y1 >= y2)
            return true;
        size_t bpp = static_cast<size_t>(want.bytesPerPixel);
        size_t from = static_cast<size_t>(x1) * bpp, len = static_cast<size_t>(x2 - x1) * bpp;
        for (int y = y1; y < y2; y++) {
            const uint8_t *a = want.bytes.data() + static_cast<size_t>(y) * want.pitch + from;
            const uint8_t *b = mem + static_cast<size_t>(y) * static_cast<size_t>(s.pitch()) + from;
            if (std::memcmp(a, b, len) == 0)
                continue;
            if (want.depth != 15)
                return false;
            for (size_t i = 0; i < len; i += 2)
                if (a[i] != b[i] || ((a[i + 1] ^ b[i + 1]) & 0x7F))
                    return false;
        }
        return true;
    }
    BoxRec whole() const { return {0, 0, static_cast<int16_t>(W()), static_cast<int16_t>(H())}; }
    void reportDifference(const char *where) {
        ref::Diff d = s.compareSettled();
        if (d.count > 0)
            fail(std::string("differs from the reference renderer") + where + ": " + d.describe());
    }
    // After a step: its region, and one band of rows in turn. The engine is
    // not drained: a server issues the next call at once, and the driver must
    // wait for the engine itself before the processor touches video memory.
    void checkPixels() {
        BoxRec r = region;
        region = {0, 0, 0, 0};
        if (failed())
            return;
        s.settle();
        int rows = (H() + kBands - 1) / kBands, band = step % kBands;
        BoxRec b = {0, static_cast<int16_t>(std::min(H(), band * rows)), static_cast<int16_t>(W()),
                    static_cast<int16_t>(std::min(H(), (band + 1) * rows))};
        if (!sameIn(r))
            reportDifference("");
        else if (!sameIn(b))
            reportDifference(" outside what the step drew");
    }
    // The whole screen: before the mirror is taken from video memory again
    // (a console switch, a server reset) and at the end.
    void checkWhole() {
        if (failed())
            return;
        s.settle();
        if (!sameIn(whole()))
            reportDifference(" outside what the steps drew");
    }

    // ---- GCs ----
    // Tiles and stipples as the harness makes them (Screen::tile() and
    // stipple()), but freed with the input rather than with the screen.
    PixmapPtr tilePixmap() {
        int w = in.range(1, in.flag() ? 9 : 40), h = in.range(1, in.flag() ? 9 : 40);
        fuzz::Bulk bulk(in.u32());
        int cb = clientBytes();
        PixmapPtr p = server::createPixmap(s.screen(), w, h, s.depth(), 8 * cb, w * cb);
        pixmaps.push_back(p);
        auto *data = static_cast<uint8_t *>(p->devPrivate);
        for (int i = 0; i < w * h; i++) {
            auto v = static_cast<uint32_t>(bulk.next()) & s.allPlanes();
            for (int k = 0; k < cb; k++)
                data[i * cb + k] = static_cast<uint8_t>(v >> (8 * k));
        }
        return p;
    }
    PixmapPtr stipplePixmap() {
        int w = in.range(1, in.flag() ? 9 : 40), h = in.range(1, in.flag() ? 9 : 40);
        fuzz::Bulk bulk(in.u32());
        int stride = PixmapBytePad(w, 1);
        PixmapPtr p = server::createPixmap(s.screen(), w, h, 1, 1, stride);
        pixmaps.push_back(p);
        auto *data = static_cast<uint8_t *>(p->devPrivate);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                if (bulk.next() & 1)
                    data[y * stride + x / 8] |= static_cast<uint8_t>(1 << (x % 8));
        return p;
    }
    void dropPixmaps() {
        for (PixmapPtr p : pixmaps)
            server::destroyPixmap(p);
        pixmaps.clear();
    }
    harness::GCSpec gcSpec() {
        harness::GCSpec v;
        v.fillStyle = in.range(0, 3);
        v.alu = alu();
        v.planemask = planemask();
        v.fg = pixel();
        v.bg = in.range(0, 3) == 0 ? v.fg : pixel();
        if (v.fillStyle == FillTiled)
            v.tile = tilePixmap();
        if (v.fillStyle == FillStippled || v.fillStyle == FillOpaqueStippled)
            v.stipple = stipplePixmap();
        v.patOrg = patOrg();
        return v;
    }
    static harness::GCSpec specOf(GCPtr gc) {
        return {static_cast<int>(gc->fillStyle),
                gc->alu,
                gc->planemask,
                gc->fgPixel,
                gc->bgPixel,
                gc->tile,
                gc->stipple,
                gc->patOrg};
    }
    // A new GC, an existing one, or an existing one changed with the mask of
    // what really changed (as the server validates).
    GCPtr gc(bool solidOnly) {
        int how = in.range(0, 2);
        if (how == 0 || gcs.empty() || gcs.size() >= kMaxGCs) {
            if (gcs.size() >= kMaxGCs)
                gcs.erase(gcs.begin());
            harness::GCSpec v = gcSpec();
            if (solidOnly)
                v.fillStyle = FillSolid;
            GCPtr g = s.createGC(v);
            if (g)
                gcs.push_back(g);
            return g;
        }
        GCPtr g = gcs[static_cast<size_t>(in.range(0, static_cast<int>(gcs.size()) - 1))];
        if (how == 2) {
            harness::GCSpec old = specOf(g), v = gcSpec();
            // Keep some values, so partial change masks occur.
            if (in.flag())
                v.fillStyle = old.fillStyle, v.tile = old.tile, v.stipple = old.stipple;
            if (in.flag())
                v.alu = old.alu;
            if (in.flag())
                v.planemask = old.planemask;
            if (in.flag())
                v.fg = old.fg, v.bg = old.bg;
            if (solidOnly)
                v.fillStyle = FillSolid;
            uint32_t changes =
                (v.alu != old.alu ? GCFunction : 0) |
                (v.planemask != old.planemask ? GCPlaneMask : 0) |
                (v.fg != old.fg ? GCForeground : 0) | (v.bg != old.bg ? GCBackground : 0) |
                (v.fillStyle != old.fillStyle || v.tile != old.tile || v.stipple != old.stipple
                     ? GCFillStyle
                     : 0);
            s.changeGC(g, v, changes);
        }
        if (solidOnly && g->fillStyle != FillSolid) {
            harness::GCSpec v = specOf(g);
            v.fillStyle = FillSolid;
            s.changeGC(g, v, GCFillStyle);
        }
        return g;
    }

    // ---- drawing steps ----
    void fillRects() {
        GCPtr g = gc(false);
        std::vector<BoxRec> bs = boxes();
        touch(bs);
        s.fillRects(g, bs);
    }
    void fillSpans() {
        GCPtr g = gc(false);
        int n = listLength(0, kMaxList);
        std::vector<DDXPointRec> starts;
        std::vector<int> widths;
        for (int i = 0; i < n; i++) {
            DDXPointRec p = point();
            starts.push_back(p);
            widths.push_back(in.range(0, std::min(W() - p.x, in.flag() ? 20 : W())));
            touch({p.x, p.y, static_cast<int16_t>(p.x + widths.back()),
                   static_cast<int16_t>(p.y + 1)});
        }
        s.fillSpans(g, starts, widths);
    }
    // A line between two screen pixels as the server's Bresenham gives it,
    // entered `skip` pixels in (as a clipped line is) and `len` pixels long.
    // Its pixels lie in the box of the two ends.
    ZeroSegRec segment() {
        DDXPointRec a = point(),
                    b = in.flag()
                            ? point()
                            : DDXPointRec{static_cast<int16_t>(
                                              std::clamp(a.x + in.range(-12, 12), 0, W() - 1)),
                                          static_cast<int16_t>(
                                              std::clamp(a.y + in.range(-12, 12), 0, H() - 1))};
        touch(a);
        touch(b);
        int dx = b.x - a.x, dy = b.y - a.y;
        int adx = std::abs(dx), ady = std::abs(dy);
        int major = std::max(adx, ady), minor = std::min(adx, ady);
        ZeroSegRec z{};
        z.signdx = static_cast<int16_t>(dx < 0 ? -1 : 1);
        z.signdy = static_cast<int16_t>(dy < 0 ? -1 : 1);
        z.axis = static_cast<int16_t>(adx >= ady ? 0 : 1);
        z.e1 = 2 * minor;
        z.e2 = 2 * minor - 2 * major;
        int e = 2 * minor - major - in.range(0, 1); // the octant bias
        int x = a.x, y = a.y;
        int skip = in.flag() ? 0 : in.range(0, major);
        for (int i = 0; i < skip; i++) {
            if (e > 0) {
                x += z.signdx, y += z.signdy, e += z.e2;
            } else {
                (z.axis == 0 ? x : y) += (z.axis == 0 ? z.signdx : z.signdy);
                e += z.e1;
            }
        }
        z.x = static_cast<int16_t>(x);
        z.y = static_cast<int16_t>(y);
        z.e = e;
        int most = major + 1 - skip;
        z.len = static_cast<int16_t>(in.flag() ? most : in.range(1, most));
        return z;
    }
    void zeroSegs() {
        GCPtr g = gc(true);
        std::vector<ZeroSegRec> segs(static_cast<size_t>(listLength(1, kMaxList)));
        for (ZeroSegRec &z : segs)
            z = segment();
        s.zeroSegs(g, segs);
        // The same lines by their end points, through the layer's segment
        // path, on a GC of any fill style; no input is read for it, so stored
        // inputs keep their meaning.
        if (gcs.empty() || failed())
            return;
        GCPtr any = gcs[static_cast<size_t>(step) % gcs.size()];
        std::vector<xSegment> ends;
        for (const ZeroSegRec &z : segs)
            ends.push_back(endPoints(z));
        s.polyZeroSeg(any, ends);
    }
    // The first and last pixels of a Bresenham segment.
    static xSegment endPoints(const ZeroSegRec &z) {
        int x = z.x, y = z.y, e = z.e;
        for (int i = 1; i < z.len; i++) {
            if (e > 0) {
                x += z.signdx, y += z.signdy, e += z.e2;
            } else {
                (z.axis == 0 ? x : y) += (z.axis == 0 ? z.signdx : z.signdy);
                e += z.e1;
            }
        }
        return {z.x, z.y, static_cast<int16_t>(x), static_cast<int16_t>(y)};
    }
    void copyRect() {
        int w = extent(W()), h = extent(H());
        BoxRec d = {static_cast<int16_t>(in.range(0, W() - w)),
                    static_cast<int16_t>(in.range(0, H() - h)), 0, 0};
        d.x2 = static_cast<int16_t>(d.x1 + w);
        d.y2 = static_cast<int16_t>(d.y1 + h);
        DDXPointRec src;
        if (in.flag()) { // a short move: overlapping copies in every direction
            src.x = static_cast<int16_t>(std::clamp(d.x1 + in.range(-9, 9), 0, W() - w));
            src.y = static_cast<int16_t>(std::clamp(d.y1 + in.range(-9, 9), 0, H() - h));
        } else {
            src = {static_cast<int16_t>(in.range(0, W() - w)),
                   static_cast<int16_t>(in.range(0, H() - h))};
        }
        touch(d);
        int a = alu();
        uint32_t pm = planemask();
        s.copyRect(d, src, a, pm);
    }
    void solidRects() {
        std::vector<BoxRec> bs = boxes();
        touch(bs);
        Pixel fg = pixel();
        int a = alu();
        uint32_t pm = planemask();
        s.drawSolidRects(bs, fg, a, pm);
    }

    // Images go through the slot directly: a clipped request points into
    // the middle of the client's image, so the first pixel need not be
    // aligned.
    void drawImage() {
        WinOps *w = s.winOps();
        BoxRec b = box();
        touch(b);
        int cb = clientBytes();
        int bw = b.x2 - b.x1, bh = b.y2 - b.y1;
        int skip = in.range(0, 3) * cb;
        int st = stride(bw * cb);
        fuzz::Bulk bulk(in.u32());
        std::vector<uint8_t> data = bulk.bytes(static_cast<size_t>(skip + st * bh));
        int a = alu();
        uint32_t pm = planemask();
        ref::drawImage(s.mirror(), b, data.data() + skip, st, a, pm);
        s.call("DrawImage", [&] { w->DrawImage(&b, data.data() + skip, st, a, pm, s.drawable()); });
    }
    // Reading must leave the screen as it was: its box is compared too.
    void readImage() {
        BoxRec b = box();
        touch(b);
        int cb = clientBytes();
        int st = stride((b.x2 - b.x1) * cb);
        if (st == 0)
            return; // stride 0 means "box width" to the harness
        std::vector<uint8_t> got = s.readImage(b, st), want = s.expectedImage(b, st);
        size_t at = firstDifference(got, want, b.x2 - b.x1, st);
        if (at < got.size())
            fail("ReadImage of (" + std::to_string(b.x1) + "," + std::to_string(b.y1) + ")-(" +
                 std::to_string(b.x2) + "," + std::to_string(b.y2) + ") stride " +
                 std::to_string(st) + " differs at byte " + std::to_string(at));
    }
    // Where two read-back images differ. Bits of a pixel above the depth (bit
    // 15 at depth 15, the top byte of a 4-byte pixel at depth 24) are no part
    // of it, so they may differ; the fourth byte of a 3-byte pixel's client
    // pixel and the bytes past each row must keep what the buffer held.
    size_t firstDifference(const std::vector<uint8_t> &got, const std::vector<uint8_t> &want,
                           int width, int st) {
        size_t cb = static_cast<size_t>(clientBytes());
        int frameBytes = s.mirror().bytesPerPixel;
        uint32_t mask = s.allPlanes() | (frameBytes < 4 ? ~0u << (8 * frameBytes) : 0u);
        for (size_t i = 0; i < got.size(); i++) {
            size_t inRow = i % static_cast<size_t>(st);
            if (inRow >= static_cast<size_t>(width) * cb) {
                if (got[i] != want[i])
                    return i;
                continue;
            }
            uint8_t byteMask = static_cast<uint8_t>(mask >> (8 * (inRow % cb)));
            if ((got[i] ^ want[i]) & byteMask)
                return i;
        }
        return got.size();
    }
    void monoImage(bool opaque) {
        WinOps *w = s.winOps();
        BoxRec b = box();
        touch(b);
        int bw = b.x2 - b.x1, bh = b.y2 - b.y1;
        int startBit = in.range(0, 31);
        int st = stride((startBit + bw + 7) / 8);
        int skip = in.range(0, 3);
        fuzz::Bulk bulk(in.u32());
        std::vector<uint8_t> bits = bulk.bytes(static_cast<size_t>(skip + st * bh));
        uint8_t *p = bits.data() + skip;
        Pixel fg = pixel(), bg = pixel();
        int a = alu();
        uint32_t pm = planemask();
        if (opaque) {
            ref::drawOpaqueMonoImage(s.mirror(), b, p, startBit, st, fg, bg, a, pm);
            s.call("DrawOpaqueMonoImage", [&] {
                w->DrawOpaqueMonoImage(&b, p, startBit, st, fg, bg, a, pm, s.drawable());
            });
        } else {
            ref::drawMonoImage(s.mirror(), b, p, startBit, st, fg, a, pm);
            s.call("DrawMonoImage",
                   [&] { w->DrawMonoImage(&b, p, startBit, st, fg, a, pm, s.drawable()); });
        }
    }
    void points() {
        std::vector<DDXPointRec> pts(static_cast<size_t>(listLength(0, 3 * kMaxList)));
        for (DDXPointRec &p : pts) {
            p = point();
            touch(p);
        }
        Pixel fg = pixel();
        int a = alu();
        uint32_t pm = planemask();
        s.drawPoints(pts, fg, a, pm);
    }
    void tileRects() {
        int cb = clientBytes();
        int tw = in.range(1, in.flag() ? 16 : 130), th = in.range(1, in.flag() ? 16 : 130);
        int st = stride(tw * cb);
        fuzz::Bulk bulk(in.u32());
        std::vector<uint8_t> tile = bulk.bytes(static_cast<size_t>(st * th));
        std::vector<BoxRec> bs = boxes();
        touch(bs);
        DDXPointRec org = patOrg();
        int a = alu();
        uint32_t pm = planemask();
        s.tileRects(bs, tile, st, tw, th, org, a, pm);
    }
    harness::Font *font() {
        if (fonts.empty() || (fonts.size() < kMaxFonts && in.range(0, 3) == 0)) {
            int w = in.range(1, in.flag() ? 16 : 40), h = in.range(1, in.flag() ? 20 : 40);
            int count = in.range(1, 256);
            uint32_t seed = in.u32();
            fonts.push_back(harness::Font::random(w, h, count, seed));
            return fonts.back().get();
        }
        return fonts[static_cast<size_t>(in.range(0, static_cast<int>(fonts.size()) - 1))].get();
    }
    void glyphs() {
        harness::Font *f = font();
        if (f->width > W() || f->height > H())
            return;
        std::vector<MonoGlyphRec> gs(static_cast<size_t>(listLength(0, kMaxList)));
        for (MonoGlyphRec &g : gs) {
            int code = in.range(0, f->count - 1);
            int x = in.range(0, W() - f->width), y = in.range(0, H() - f->height);
            g.box = {static_cast<int16_t>(x), static_cast<int16_t>(y),
                     static_cast<int16_t>(x + f->width), static_cast<int16_t>(y + f->height)};
            g.stride = f->stride;
            g.bits = f->glyphs[static_cast<size_t>(code)];
            g.glyphKey = code;
            touch(g.box);
        }
        Pixel fg = pixel();
        int a = alu();
        uint32_t pm = planemask();
        s.drawMonoGlyphs(gs, fg, a, pm, in.flag() ? f->priv() : nullptr);
    }
    void text() {
        harness::Font *f = font();
        if (f->width > W() || f->height > H())
            return;
        int n = in.range(0, std::min(40, W() / f->width));
        std::string chars;
        for (int i = 0; i < n; i++)
            chars += static_cast<char>(in.range(0, f->count - 1));
        int x = in.range(0, W() - n * f->width), y = in.range(0, H() - f->height);
        BoxRec b = {static_cast<int16_t>(x), static_cast<int16_t>(y),
                    static_cast<int16_t>(x + n * f->width), static_cast<int16_t>(y + f->height)};
        touch(b);
        Pixel fg = pixel(), bg = pixel();
        int a = alu();
        uint32_t pm = planemask();
        bool transparent = in.flag();
        // Image text paints its boxes as a copy whatever the GC's function,
        // so the layer hands opaque text over with GXcopy.
        s.drawText(b, chars, *f, fg, bg, transparent ? a : GXcopy, pm, transparent);
    }
    void closeFont() {
        if (fonts.empty())
            return;
        size_t i = static_cast<size_t>(in.range(0, static_cast<int>(fonts.size()) - 1));
        s.closeFont(*fonts[i]);
        fonts.erase(fonts.begin() + static_cast<long>(i));
    }

    // ---- cursor, hooks, console, reset ----
    void cursor() {
        if (!s.pointer())
            return;
        int w = in.range(1, in.flag() ? 32 : 80), h = in.range(1, in.flag() ? 32 : 80);
        fuzz::Bulk bulk(in.u32());
        std::vector<std::string> rows(static_cast<size_t>(h),
                                      std::string(static_cast<size_t>(w), '.'));
        for (std::string &r : rows)
            for (char &c : r)
                c = ".BF."[bulk.next() & 3];
        int xhot = in.range(0, w - 1), yhot = in.range(0, h - 1);
        uint16_t rgb[6];
        for (uint16_t &v : rgb)
            v = static_cast<uint16_t>(in.u16());
        auto c =
            harness::makeCursor(rows, xhot, yhot, rgb[0], rgb[1], rgb[2], rgb[3], rgb[4], rgb[5]);
        if (s.realizeCursor(c->ptr())) {
            DDXPointRec p = point();
            s.setCursor(c->ptr(), p.x, p.y);
            cursors.push_back(std::move(c));
        }
        for (int i = in.range(0, 4); i > 0; i--) {
            DDXPointRec p = point();
            s.moveCursor(p.x, p.y);
        }
        if (in.range(0, 3) == 0)
            s.setCursor(nullptr, 0, 0);
        else if (!cursors.empty() && in.flag()) {
            DDXPointRec p = point();
            s.setCursor(cursors.front()->ptr(), p.x, p.y);
        }
    }
    void unrealizeCursors() {
        if (!cursors.empty())
            s.setCursor(nullptr, 0, 0);
        // The server drops its last reference to a cursor before it
        // unrealizes it.
        for (auto &c : cursors) {
            c->rec.refcnt = 0;
            s.unrealizeCursor(c->ptr());
        }
        cursors.clear();
    }
    void hooks() {
        switch (in.range(0, 2)) {
        case 0: {
            ScreenPtr scr = s.screen();
            if (scr->numVisuals > 0 && scr->visuals && scr->visuals[0].class_ == 3) {
                int entries = scr->visuals[0].ColormapEntries;
                for (int i = in.range(1, 8); i > 0; i--) {
                    int index = in.range(0, entries - 1);
                    uint16_t rgb[3];
                    for (uint16_t &v : rgb)
                        v = static_cast<uint16_t>(in.u16());
                    s.setColor(index, rgb[0], rgb[1], rgb[2]);
                }
            }
            break;
        }
        case 1:
            s.installColormap(s.defaultColormap());
            break;
        default:
            s.blankScreen(in.flag());
            s.blankScreen(false);
            break;
        }
    }
    void consoleSwitch() {
        switches++;
        s.switchAway();
        s.switchBack();
        // The server repaints after a switch: what the console left in video
        // memory is not the driver's to keep.
        s.syncMirror();
    }
    // What the server frees before CloseScreen, then CloseScreen itself.
    bool close(uint64_t serial) {
        unrealizeCursors();
        for (auto &f : fonts)
            s.closeFont(*f);
        fonts.clear();
        gcs.clear();
        s.freeScreen();
        dropPixmaps();
        std::vector<server::Block> left = fuzz::blocksSince(serial);
        if (!left.empty())
            fail(std::to_string(left.size()) +
                 " allocated block(s) still held after FreeScreen (first " +
                 std::to_string(left[0].size) + " bytes)");
        return !failed();
    }
    void reset(uint64_t serial) {
        if (!close(serial))
            return;
        if (!s.nextGeneration()) {
            fail("the screen did not come back in the next generation: " + s.failureText());
            return;
        }
        // Drawing goes through windows whose clip the driver was told.
        s.tellRootClip();
        if (in.flag())
            randomScreen(in.u32());
    }
};

// The server that used the screen ends: like a server leaving for good, it
// gives the display back to the console (SetText) before the close. A
// driver that keeps the adapter's mode in process-wide state then sets up
// the next screen's hardware, which is a machine of its own. A screen the
// last input closed comes up once more for that. What this reports belongs
// to no input and is dropped.
void exitServer(Live &l) {
    l.sink = nullptr;
    harness::Screen &s = *l.screen;
    if (!s.root() && !s.nextGeneration())
        return;
    if (s.sysInfo())
        s.setText();
    s.freeScreen();
}

void release(Live &l) {
    if (l.screen)
        exitServer(l);
    l.screen.reset();
    l.setup = nullptr;
    l.generations = 0;
    l.switches = 0;
}

// The setup's screen ready for an input: the live one in its next
// generation, with video memory cleared first (so nothing an earlier input
// left there counts), or one brought up on a fresh server (`reused` tells
// which). False after a failure.
bool prepare(Live &l, const fuzz::Setup &setup, bool fresh, bool &reused, uint64_t &serial,
             std::vector<std::string> &failures) {
    reused = !fresh && l.screen && l.setup == &setup && l.generations < kGenerationsPerServer &&
             l.switches < kSwitchesPerMachine;
    if (reused) {
        harness::Screen &s = *l.screen;
        server::clearGenCalls();
        server::clearErrorMessages();
        graf::clearRunLog();
        s.drain();
        if (sim::VideoMemory *v = s.adapter() ? s.adapter()->vram() : nullptr)
            std::memset(v->data(), 0, v->size());
        serial = server::allocationCount();
        l.generations++;
        if (s.nextGeneration()) {
            s.tellRootClip();
            return true;
        }
        failures.push_back("the screen did not come back in the next generation: " +
                           s.failureText());
        return false;
    }
    release(l);
    l.history.clear();
    fuzz::screenStarts()++;
    fuzz::freshServer();
    serial = server::allocationCount();
    l.setup = &setup;
    harness::Options options{.reporter = [&l](const std::string &m) {
        if (l.sink)
            l.sink->push_back(m);
    }};
    options.serverArgs = setup.serverArgs;
    l.screen = std::make_unique<harness::Screen>(setup.driver, fuzz::configFor(setup), options);
    // Nothing reads the access trace here, and it would grow with every
    // input; no input depends on how long a wait for the display takes.
    l.screen->machine().setTracing(false);
    l.screen->machine().setTimeMayJump(true);
    if (l.screen->start()) {
        l.screen->tellRootClip();
        return true;
    }
    failures.push_back(std::string("did not start: ") + l.screen->failureText());
    return false;
}

// One input; `reused` tells whether its screen served earlier inputs.
std::vector<std::string> runInput(const uint8_t *data, size_t size, bool fresh, bool &reused) {
    fuzz::Input in(data, size);
    std::vector<std::string> failures;
    reused = false;
    std::string error;
    const fuzz::Setup *named = fuzz::openInput(data, size, in, error);
    if (!named) {
        if (!error.empty())
            failures.push_back(error);
        return failures;
    }
    const fuzz::Setup &setup = *named;
    if (fuzz::skipped(setup))
        return failures;
    Live &l = live();
    l.sink = &failures;
    uint64_t serial = 0;
    if (prepare(l, setup, fresh, reused, serial, failures)) {
        Session t{in, *l.screen, failures};
        const bool verbose = std::getenv("FUZZ_VERBOSE") != nullptr;
        if (in.flag())
            t.randomScreen(in.u32());
        while (!in.empty() && t.step < kMaxSteps && t.pixels < kMaxPixels && !t.failed()) {
            t.step++;
            static const char *const names[] = {
                "FillRects", "FS",        "ZeroSegs",   "CopyRect",   "DrawSolidRects", "DrawImage",
                "ReadImage", "MonoImage", "OpaqueMono", "DrawPoints", "TileRects",      "Glyphs",
                "Text",      "ClearFont", "Cursor",     "Hooks",      "ConsoleSwitch",  "Reset"};
            int op = in.range(0, static_cast<int>(std::size(names)) - 1);
            t.what = names[op];
            if (verbose)
                std::fprintf(stderr, "draw: step %d %s\n", t.step, t.what.c_str());
            switch (op) {
            case 0:
                t.fillRects();
                break;
            case 1:
                t.fillSpans();
                break;
            case 2:
                t.zeroSegs();
                break;
            case 3:
                t.copyRect();
                break;
            case 4:
                t.solidRects();
                break;
            case 5:
                t.drawImage();
                break;
            case 6:
                t.readImage();
                break;
            case 7:
                t.monoImage(false);
                break;
            case 8:
                t.monoImage(true);
                break;
            case 9:
                t.points();
                break;
            case 10:
                t.tileRects();
                break;
            case 11:
                t.glyphs();
                break;
            case 12:
                t.text();
                break;
            case 13:
                t.closeFont();
                break;
            case 14:
                t.cursor();
                break;
            case 15:
                t.hooks();
                break;
            case 16:
                t.checkWhole();
                if (!t.failed())
                    t.consoleSwitch();
                break;
            default:
                t.checkWhole();
                if (!t.failed())
                    t.reset(serial);
                break;
            }
            t.checkPixels();
        }
        l.switches += t.switches;
        t.what = "the end";
        t.checkWhole();
        bool closed = false;
        if (!t.failed()) {
            t.what = "FreeScreen";
            closed = t.close(serial);
        }
        if (!closed) {
            // Whatever state it is in, no later input should meet it.
            release(l);
            t.dropPixmaps();
        }
    }
    l.sink = nullptr;
    if (!failures.empty())
        release(l);
    for (std::string &f : failures)
        f = setup.id + " (" + setup.board->describe() + "): " + f;
    return failures;
}

// Writes the inputs a failure needed before it where the fuzzing run keeps
// its artifacts; what to tell about them.
std::string saveHistory(const std::vector<std::vector<uint8_t>> &history) {
    const std::string &prefix = historyPrefix();
    if (prefix.empty() || history.empty())
        return "";
    std::string first, last;
    for (size_t i = 0; i < history.size(); i++) {
        char name[32];
        std::snprintf(name, sizeof name, "history-%02zu", i + 1);
        std::string path = prefix + name;
        if (FILE *f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(history[i].data(), 1, history[i].size(), f);
            std::fclose(f);
        }
        (i == 0 ? first : last) = path;
    }
    return "; they are saved as " + first + (last.empty() ? "" : " .. " + last) +
           ": give them, in order, before this input to the fuzz target";
}

} // namespace

// Frees the screen kept between inputs (a test case ends).
void releaseScreen() {
    release(live());
    live().history.clear();
}

std::vector<std::string> run(const uint8_t *data, size_t size) {
    Live &l = live();
    bool reused = false;
    std::vector<std::string> failures = runInput(data, size, false, reused);
    if (failures.empty()) {
        if (l.screen) {
            if (l.history.size() >= kHistory)
                l.history.erase(l.history.begin());
            l.history.emplace_back(data, data + size);
        }
        return failures;
    }
    if (!reused)
        return failures;
    std::vector<std::vector<uint8_t>> before = std::move(l.history);
    // What replaying the input alone shows is what counts; a failure that
    // needs the inputs before it is reported as such.
    bool again = false;
    std::vector<std::string> alone = runInput(data, size, true, again);
    release(l);
    if (!alone.empty())
        return alone;
    failures.push_back("it passes on a fresh screen: it fails only after the " +
                       std::to_string(before.size()) +
                       " input(s) run before it on the same screen" + saveHistory(before));
    return failures;
}

} // namespace fuzzdraw

DRV_FUZZ_TARGET("draw", fuzzdraw::run)

#ifdef DRV_FUZZ_ENTRY
namespace fuzzdraw {
namespace {

// For each setup, the setups of the same driver build with a small screen
// (none for a small one).
const std::vector<std::vector<size_t>> &smallerOf() {
    static const std::vector<std::vector<size_t>> table = [] {
        const std::vector<fuzz::Setup> &all = fuzz::setups();
        auto pixels = [](const fuzz::Setup &s) {
            graf::Config cfg = fuzz::configFor(s);
            return int64_t{cfg.ints["PIXWIDTH"]} * cfg.ints["PIXHEIGHT"];
        };
        std::vector<std::vector<size_t>> out(all.size());
        for (size_t i = 0; i < all.size(); i++)
            for (size_t j = 0; j < all.size(); j++)
                if (pixels(all[i]) > kSmallScreen && pixels(all[j]) <= kSmallScreen &&
                    all[i].driver == all[j].driver)
                    out[i].push_back(j);
        return out;
    }();
    return table;
}

// The setup of a mutated input: seven in eight inputs move to the one the
// last input ran on (consecutive inputs come from random corpus entries of
// random setups, and bringing up another screen costs more than a small
// screen's whole input), the others keep their own or, one in two, take any;
// a family that has had its share of the time gives way to the one that
// has had least (fuzz::Shares); and an input for a large screen moves to a
// small screen of the same build one time in two (the large ones cost more
// per step; what an input does means the same on any size). Every setup
// still gets its turns.
const fuzz::Setup &chooseSetup(const fuzz::Setup *own, unsigned seed) {
    const std::vector<fuzz::Setup> &all = fuzz::setups();
    const fuzzdraw::Live &l = fuzzdraw::live();
    size_t target = own ? static_cast<size_t>(own - all.data()) : (seed >> 8) % all.size();
    if (l.setup && seed % 8 != 0) {
        for (size_t i = 0; i < all.size(); i++)
            if (&all[i] == l.setup)
                target = i;
    } else if (seed % 16 == 8) {
        target = (seed >> 8) % all.size();
    }
    target = static_cast<size_t>(&fuzz::shares().next(all[target]) - all.data());
    const std::vector<size_t> &smaller = smallerOf()[target];
    if (!smaller.empty() && (seed >> 3) % 2 == 0)
        target = smaller[(seed >> 4) % smaller.size()];
    return all[target];
}

} // namespace
} // namespace fuzzdraw

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize,
                                          unsigned seed) {
    return fuzz::mutateDecisions(data, size, maxSize, seed, fuzzdraw::chooseSetup,
                                 LLVMFuzzerMutate);
}

// Inputs a failure needed before it go where libFuzzer writes the failing
// input (-artifact_prefix, else the working directory).
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    std::string prefix = "./";
    for (int i = 1; i < *argc; i++) {
        std::string arg = (*argv)[i];
        if (arg.rfind("-artifact_prefix=", 0) == 0)
            prefix = arg.substr(std::strlen("-artifact_prefix="));
    }
    fuzzdraw::historyPrefix() = prefix;
    return 0;
}
#endif
