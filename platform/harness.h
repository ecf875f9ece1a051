// The test harness: drives a driver library through its life as the display
// server does, on the simulated machine, and checks its pixels against the
// reference renderer.
//
// A typical pixel test:
//
//     #include <gtest/gtest.h>
//     #include "harness.h"
//
//     TEST(Brisko8Fill, SolidXor) {
//         harness::Screen s("brisko8", harness::loadConfig("cirrus/gd5436/gd5480.graf"),
//                           {.reporter = HARNESS_GTEST_REPORTER});
//         ASSERT_TRUE(s.start()) << s.failureText();
//         s.fillRandom(1);                          // video memory and mirror
//         GCPtr gc = s.createGC({.alu = GXxor, .fg = 0x5A});
//         s.fillRects(gc, {{10, 10, 50, 20}});      // driver + mirror
//         EXPECT_SCREEN_SAME(s);                    // drain, read back, compare
//         EXPECT_TRUE(server::genCallsOf("genSolidFillRects").empty());
//     }
//
// Every drawing helper applies the same operation to the mirror (a
// ref::Canvas of the visible screen) through the reference renderer and calls
// the driver's slot, so a test is one line per call plus one comparison.
//
// Failures the simulated machine sees (protocol violations of a device model,
// the watchdog, faults in server memory handling) and driver calls that end in
// sim::Abort or FatalError go to the screen's reporter. Tests install
// HARNESS_GTEST_REPORTER (ADD_FAILURE) so they fail the test; without one they
// are printed and kept (failures()).
//
// There is one server, as in a process; each Screen has its own number and
// simulated machine, so several screens (of one library or of several) can
// run side by side in one server generation. Each case starts with
// beginCase().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adapter.h"
#include "gcops.h"
#include "grafstore.h"
#include "machine.h"
#include "nfb.h"
#include "refrender.h"
#include "server.h"

namespace harness {

// Receives every failure message (machine failures, aborted driver calls).
using Reporter = std::function<void(const std::string &)>;

// A reporter that fails the current GoogleTest test. Expands at the use site,
// so the platform itself does not depend on GoogleTest.
#define HARNESS_GTEST_REPORTER ([](const std::string &m) { ADD_FAILURE() << m; })

// Compare the screen with its mirror; on a difference fail with its description.
#define EXPECT_SCREEN_SAME(screen)                                                                 \
    do {                                                                                           \
        ::ref::Diff harness_diff_ = (screen).expectSame();                                         \
        EXPECT_EQ(harness_diff_.count, 0) << harness_diff_.describe();                             \
    } while (0)

// The reporter a Screen uses when its Options give none (initially: print to
// stderr).
void setDefaultReporter(Reporter);

// ---- drivers ----

// DRV_LIB_DIR "/lib" NAME ".so" for a bare driver name; a name containing '/'
// is taken as a path.
std::string driverPath(const std::string &nameOrPath);
// Loads the library (dlopen RTLD_NOW | RTLD_LOCAL, kept loaded to the end of
// the test case) and returns its <name>ScreenInfo. Null on failure, with the
// reason in `error` when given. The record name comes from the file name:
// ".../libbrisko8.so" -> "brisko8ScreenInfo".
ScreenInfo *loadDriver(const std::string &nameOrPath, std::string *error = nullptr);

// A test case starts here, as if in a process of its own: the drivers loaded
// so far are unloaded (the next loadDriver() maps a fresh copy, whose static
// state is as at load time), and the server, the grafinfo store and the
// simulated machine go back to their state at process start. Nothing the
// previous case made (screens, fonts, cursors, handles) may be used after it.
// The test programs' main calls it before every test.
void beginCase();
// The server, the grafinfo store and the simulated machine as at process
// start, with the drivers left loaded (and their static state kept, as in a
// server that goes on running) and the server's generation past every one
// they have seen. No Screen may be alive.
void restartServer();

// ---- configurations ----

// Parses a grafinfo file; a relative path is taken from the source tree
// (DRV_SOURCE_DIR). A parse error throws std::runtime_error with its message.
graf::Config loadConfig(const std::string &path);

// ---- fonts and cursors the tests hand to the driver ----

// A fixed-width 8-bit font: `glyphs` bitmaps by character code (rows of
// `stride` bytes, least significant bit leftmost), its Text8FontInfo and the
// server's FontRec with the nfbFontPrivate pointing at it.
struct Font {
    int width = 0, height = 0, stride = 0, count = 0;
    std::vector<std::vector<uint8_t>> bitmaps;
    std::vector<uint8_t *> glyphs;
    Text8FontInfo info{};
    FontPtr font = nullptr;
    nfbFontPrivPtr priv() const { return NFB_FONT_PRIV(font); }
    // Random glyph bitmaps (the bits past `width` in each row stay 0).
    static std::unique_ptr<Font> random(int width, int height, int count, uint32_t seed);
    // Glyph rows `stride` bytes apart, every bit random, also past `width` and in
    // the padding: only the glyph's own pixels may count.
    static std::unique_ptr<Font> padded(int width, int height, int stride, int count,
                                        uint32_t seed);
    ~Font();
};

// `count` character codes that step through the code space (37 apart).
std::string textRun(int count, int first = 0);

// A cursor built from rows of characters: '.' or ' ' transparent (mask 0),
// 'B' background (mask 1, source 0), 'F' or 'X' foreground (mask 1, source 1).
// Rows are padded as PixmapWidthPaddingInfo[1] says.
struct Cursor {
    CursorRec rec{};
    CursorBits bits{};
    std::vector<uint8_t> source, mask;
    int stride = 0;
    CursorPtr ptr() { return &rec; }
};
std::unique_ptr<Cursor> makeCursor(const std::vector<std::string> &rows, int xhot, int yhot,
                                   uint16_t fgRed = 0xFFFF, uint16_t fgGreen = 0xFFFF,
                                   uint16_t fgBlue = 0xFFFF, uint16_t bgRed = 0,
                                   uint16_t bgGreen = 0, uint16_t bgBlue = 0);

// ---- the screen ----

class Screen;

struct Options {
    // ScreenConfig values; 0 takes them from the configuration: depth from
    // DEPTH, bitsPerPixel from BITSPERPIXEL (boards that hold depth 24 in
    // 32-bit pixels) or else 8 at depth 8, 16 at 15 and 16, 24 at 24 (32 at 32).
    int depth = 0;
    int bitsPerPixel = 0;
    int scanlinePad = 32;
    // Bytes per line of the visible screen in video memory; 0 takes what the
    // adapter's display registers say after Init (Adapter::displayPitch()),
    // else the configuration's PITCH key, else width x bytes per pixel.
    // setPitch() changes it later.
    int pitch = 0;
    // Offset of the visible screen's first pixel in video memory.
    uint32_t screenOffset = 0;
    // The screen's number (ddxActiveScreens, WindowTable, myNum and the
    // number Probe, Init and FreeScreen are given).
    int screenNumber = 0;
    Reporter reporter; // empty: the default reporter
    // The server's command-line words after argv[0] ("-opsflag", "0", ...),
    // handed to Init as the server would.
    std::vector<std::string> serverArgs = {};
    // A screen whose board sits in another screen's machine: this screen
    // uses that screen's simulated machine (and its bus) instead of one of
    // its own, and its adapter joins the ones already there. The other
    // screen must outlive this one; failures go to its reporter.
    Screen *joinMachineOf = nullptr;
};

// GC fill values. `patOrg` is relative to the window (the root window is at
// 0, 0). Tile pixels are client pixels (1, 2 or 4 bytes as the screen's
// images); see Screen::tile() and Screen::stipple().
struct GCSpec {
    int fillStyle = FillSolid;
    int alu = GXcopy;
    uint32_t planemask = ~0u;
    Pixel fg = 1, bg = 0;
    PixmapPtr tile = nullptr;
    PixmapPtr stipple = nullptr;
    DDXPointRec patOrg = {0, 0};
};

// Line and text values and the client clip of a GC, for drivers that build
// the GC's operation vector themselves (gcops.h). `clip` rectangles are
// relative to the drawable; none leaves the GC unclipped.
struct GCLines {
    int lineWidth = 0;
    int lineStyle = 0; // 0 solid, 1 on-off dash, 2 double dash
    int capStyle = 1;  // 0 not-last, 1 butt
    int dashOffset = 0;
    std::vector<uint8_t> dashes = {4, 4};
    FontPtr font = nullptr;
    std::vector<BoxRec> clip = {};
};

// Set the GC's fields from `values` (no validation).
void applyGCSpec(GCPtr, const GCSpec &values);
void applyGCLines(GCPtr, const GCLines &values);

// Every GC change-mask bit the drivers test.
constexpr uint32_t kAllGCChanges =
    GCFunction | GCPlaneMask | GCForeground | GCBackground | GCFillStyle;

class Screen {
  public:
    // Loads the driver, makes the screen's own simulated machine (current
    // from now on), builds the adapter the configuration names on it
    // (sim::makeAdapter; plain memory for its areas when it names no known
    // model), makes the grafinfo handle, the ScreenConfig,
    // ddxActiveScreens[number] and a fresh ScreenRec (myNum number). No driver code runs
    // yet. A driver that does not load is reported and start() fails. A
    // configuration the simulated machine cannot be built from (a memory size
    // or area the adapter model refuses, more than the host can map) throws
    // std::invalid_argument with the reason.
    // Every Screen after the first one of the case starts a new server
    // generation (the drivers keep their static state, as in a server that
    // goes on running).
    Screen(const std::string &driver, const graf::Config &config, Options options = {});
    // Releases the server's records, the adapter and the grafinfo handles. It
    // does not call the driver (call freeScreen() for that).
    ~Screen();
    Screen(const Screen &) = delete;
    Screen &operator=(const Screen &) = delete;

    // ---- life cycle ----
    // Probe (Setup) with the ScreenConfig; its result.
    Bool probe();
    // Init (0, screen, argc, argv). A FatalError or sim::Abort inside it is
    // caught: init() returns 0 and fatalMessage() / abortMessage() hold it.
    Bool init();
    // probe(), init(), then the root window (createRoot()) and the mirror
    // taken from video memory (syncMirror()). True when all succeeded.
    bool start();
    // The root window covering the screen; the driver's ValidateWindowPriv
    // hook gives it its WinOps. WindowTable[0] points at it.
    void createRoot();
    // The root window's clip, the visible screen, told to the driver as a
    // server tells a window's clip (the SetClipRegions slot, if any).
    void tellRootClip();
    // As at a server reset: the server drops the GCs and the root window, calls
    // the driver's FreeScreen (CloseScreen) from its SysInfo, then drops the
    // screen's records (the layer's privates, visuals, colormaps).
    void freeScreen();
    // Next server generation: freeScreen() if still open, a changed
    // serverGeneration, a fresh ScreenRec, init() and createRoot(). The
    // adapter and its video memory stay, as the hardware does.
    bool nextGeneration();

    // ---- what there is ----
    ScreenInfo *info() const { return info_; }
    ScreenPtr screen() const { return screen_; }
    ScreenConfig &config() { return config_; }
    GrafinfoHandle grafinfo() const { return config_.grafinfo; }
    graf::Config &graf() { return graf::configOf(config_.grafinfo); }
    nfbScreenPrivate *nfb() const { return screen_ ? NFB_SCREEN_PRIV(screen_) : nullptr; }
    WindowPtr root() const { return root_; }
    DrawablePtr drawable() const { return root_ ? &root_->drawable : nullptr; }
    WinOps *winOps() const;
    // What the driver registered with the server for this screen.
    server::ScreenState &registered() const;
    SysInfo *sysInfo() const { return registered().sysInfo; }
    PointerFuncs *pointer() const { return registered().pointerFuncs; }
    // True when the driver passed nfbSetOptions flag 0x20 (solid slot three is ZeroSegs).
    bool zeroSegsForm() const;
    // The screen's own simulated machine (current while its driver runs).
    sim::Machine &machine() const { return *machine_; }
    sim::Adapter *adapter() const { return adapter_.get(); }
    // The driver's FatalError message or the sim::Abort text of the last
    // aborted call (empty when none).
    const std::string &fatalMessage() const { return fatalMessage_; }
    const std::string &abortMessage() const { return abortMessage_; }
    // Every failure reported so far (also handed to the reporter), and all of
    // them plus the server's messages as one text for assertion messages.
    const std::vector<std::string> &failures() const { return failures_; }
    std::string failureText() const;

    int width() const { return width_; }
    int height() const { return height_; }
    int depth() const { return config_.depth; }
    int bytesPerPixel() const { return bytesPerPixel_; }
    // All-ones plane mask over the screen's depth (0xFF, 0x7FFF, 0xFFFF, 0xFFFFFF).
    uint32_t allPlanes() const;
    int pitch() const { return pitch_; }
    void setPitch(int pitch) { pitch_ = pitch; }

    // ---- GCs ----
    // A GC with these values, validated through the window's ValidateWindowGC
    // slot with every change bit. Owned by the server until freeScreen().
    GCPtr createGC(const GCSpec &values = {});
    // Set the GC's values and validate with `changes`.
    int changeGC(GCPtr, const GCSpec &values, uint32_t changes = kAllGCChanges);
    // Validate the GC as it is now (after a test changed its fields).
    int validate(GCPtr, uint32_t changes = kAllGCChanges);
    nfbGCPrivate *gcPriv(GCPtr gc) const { return NFB_GC_PRIV(gc); }
    PrivOps *ops(GCPtr gc) const { return NFB_GC_PRIV(gc)->ops; }
    // A tile pixmap of client pixels, row by row (width x height values).
    PixmapPtr tile(int width, int height, const std::vector<uint32_t> &pixels);
    // A depth-1 stipple pixmap from rows of characters: 'X', '#' or '1' set.
    PixmapPtr stipple(const std::vector<std::string> &rows);
    // The GC's values as the reference renderer takes them (from nfbGCPrivate
    // and the GC's pixmaps).
    ref::GCValues gcValues(GCPtr) const;

    // ---- PrivOps slots (the GC's validated record) ----
    void fillRects(GCPtr, const std::vector<BoxRec> &boxes);
    void fillSpans(GCPtr, const std::vector<DDXPointRec> &starts, const std::vector<int> &widths);
    // ZeroSegs with the whole list, or ZeroSeg per segment, by zeroSegsForm().
    void zeroSegs(GCPtr, const std::vector<ZeroSegRec> &segs);
    // Zero-width segments given by their end points (screen coordinates on
    // the screen), both end points drawn, as the layer draws them: through
    // the GC's ExtraGCOps PolyZeroSeg when the GC draws solid (a solid fill,
    // or an opaque stipple whose foreground equals its background) and the
    // driver gave one, else the layer's own way, each segment's pixels as
    // one-pixel spans through the GC's FS slot. The mirror gets the same
    // pixels through the reference renderer.
    void polyZeroSeg(GCPtr, const std::vector<xSegment> &segs);
    // Slots 4 to 6 (and 3 of the non-solid records), called without arguments.
    void callUnnamedGCOp(GCPtr, int slot);

    // ---- WinOps slots ----
    void copyRect(const BoxRec &dst, DDXPointRec src, int alu = GXcopy, uint32_t planemask = ~0u);
    void drawSolidRects(const std::vector<BoxRec> &boxes, Pixel fg, int alu = GXcopy,
                        uint32_t planemask = ~0u);
    // `pixels` are client pixels, `stride` bytes per row.
    void drawImage(const BoxRec &box, const std::vector<uint8_t> &pixels, int stride,
                   int alu = GXcopy, uint32_t planemask = ~0u);
    // The driver's ReadImage into a buffer prefilled with `fill`; stride 0 is
    // the box width in client pixels.
    std::vector<uint8_t> readImage(const BoxRec &box, int stride = 0, uint8_t fill = 0xEE);
    // What ReadImage should give, from the mirror, with the same prefill.
    std::vector<uint8_t> expectedImage(const BoxRec &box, int stride = 0, uint8_t fill = 0xEE);
    void drawMonoImage(const BoxRec &box, const std::vector<uint8_t> &bits, int startBit,
                       int stride, Pixel fg, int alu = GXcopy, uint32_t planemask = ~0u);
    void drawOpaqueMonoImage(const BoxRec &box, const std::vector<uint8_t> &bits, int startBit,
                             int stride, Pixel fg, Pixel bg, int alu = GXcopy,
                             uint32_t planemask = ~0u);
    void drawPoints(const std::vector<DDXPointRec> &points, Pixel fg, int alu = GXcopy,
                    uint32_t planemask = ~0u);
    void tileRects(const std::vector<BoxRec> &boxes, const std::vector<uint8_t> &tile,
                   int tileStride, int tileWidth, int tileHeight, DDXPointRec patOrg,
                   int alu = GXcopy, uint32_t planemask = ~0u);
    // Glyph boxes, strides and bitmaps as given; the bitmaps must outlive the call.
    void drawMonoGlyphs(const std::vector<MonoGlyphRec> &glyphs, Pixel fg, int alu = GXcopy,
                        uint32_t planemask = ~0u, nfbFontPrivPtr font = nullptr);
    // A run of characters from the box's top-left corner (box height = glyph
    // height), as the layer draws text: on a screen that offered text-8 slots
    // the font is downloaded into a slot on its first use (DownloadFont8) and
    // the eleven-argument slot 10 is called with that slot; a font that fits
    // no cell is drawn glyph by glyph through DrawMonoImage /
    // DrawOpaqueMonoImage; other screens get the ten-argument slot 10 with the
    // font's nfbFontPrivate. Returns the slot used, or -1.
    int drawText(const BoxRec &box, const std::string &chars, const Font &font, Pixel fg, Pixel bg,
                 int alu = GXcopy, uint32_t planemask = ~0u, bool transparent = false);
    // The font went away: the ClearFont hook (when set) and the slot is forgotten.
    void closeFont(const Font &font);
    void setClipRegions(const std::vector<BoxRec> &boxes);
    // Slots 11 to 13, called without arguments.
    void callUnnamedWinOp(int slot);

    // ---- windows and the GC's own operation vector (gcops.h) ----
    // A window at (x, y) on the screen (partly off it too), given its WinOps
    // by the driver's ValidateWindowPriv hook. Owned until freeScreen().
    WindowPtr createWindow(int x, int y, int width, int height);
    // A GC with these values validated on `drawable` (its ValidateWindowGC
    // slot, with every change bit).
    GCPtr createGCOn(DrawablePtr drawable, const GCSpec &values = {}, const GCLines &lines = {});
    // Validate the GC on `drawable` with `changes` through the GC's function
    // vector (ValidateGC); the server's slot does the layer's composite clip
    // first, the drawable's ValidateWindowGC slot, then the layer's own GC
    // values when the driver called no nfbHelpValidateGC. The slot's result.
    int validateOn(GCPtr, DrawablePtr drawable, uint32_t changes = kAllGCChanges);
    // The other slots of the GC's function vector, as the server calls them.
    void gcChangeGC(GCPtr, uint32_t mask);
    void gcCopyGC(GCPtr src, uint32_t mask, GCPtr dst);
    void gcChangeClip(GCPtr, int type, void *value, int nrects);
    void gcDestroyClip(GCPtr);
    void gcCopyClip(GCPtr dst, GCPtr src);
    // The server frees the GC: its function vector's DestroyGC, then the record.
    void destroyGC(GCPtr);
    // The operation vector the driver left in the GC's `ops`.
    GCOps *gcOps(GCPtr gc) const { return static_cast<GCOps *>(gc->ops); }
    // The vector's slots with drawable-relative, unclipped input, as the
    // server calls them. The mirror is not drawn.
    void gcFillSpans(GCPtr, DrawablePtr, const std::vector<DDXPointRec> &starts,
                     const std::vector<int> &widths);
    void gcPolyPoint(GCPtr, DrawablePtr, const std::vector<DDXPointRec> &points,
                     int mode = CoordModeOrigin);
    void gcPolylines(GCPtr, DrawablePtr, const std::vector<DDXPointRec> &points,
                     int mode = CoordModeOrigin);
    void gcPolySegment(GCPtr, DrawablePtr, const std::vector<xSegment> &segs);
    void gcPolyRectangle(GCPtr, DrawablePtr, const std::vector<xRectangle> &rects);
    void gcPolyArc(GCPtr, DrawablePtr, const std::vector<xArc> &arcs);
    void gcPolyFillRect(GCPtr, DrawablePtr, const std::vector<xRectangle> &rects);
    int gcPolyText8(GCPtr, DrawablePtr, int x, int y, const std::string &chars);
    void gcImageText8(GCPtr, DrawablePtr, int x, int y, const std::string &chars);

    // ---- pixels ----
    // The expected picture of the visible screen.
    ref::Canvas &mirror() { return mirror_; }
    // Let the adapter finish (Adapter::drain()).
    void drain();
    // Let the adapter carry out what it has taken without ending the engine's
    // busy time (Adapter::settle()): a look at the screen between calls, as
    // the calls of a server come back to back, so the driver's next call
    // must still wait for the engine before the processor touches video
    // memory.
    void settle();
    // settle(), then compare the mirror with video memory.
    ref::Diff compareSettled();
    // compareSettled() within `box` (clipped to the screen): a picture that
    // is not linear is read pixel by pixel, so a look at a small part of a
    // large screen costs what the part holds. Elsewhere the whole screen.
    ref::Diff compareSettledIn(const BoxRec &box);
    // The visible screen as video memory holds it now (after drain()).
    ref::Canvas readScreen();
    // drain(), then compare the mirror with video memory.
    ref::Diff expectSame();
    // Take the mirror from video memory.
    void syncMirror();
    // Random pixels (in the depth's bits) into video memory and the mirror,
    // so alus that read the destination are tested meaningfully.
    void fillRandom(uint32_t seed);
    // The first byte of the visible screen in video memory (null when there is
    // none): the adapter's video memory, or the default memory area. Null too
    // for a picture that is not linear (Adapter::nonLinearPicture()): those
    // are read, compared and filled pixel by pixel through the adapter.
    uint8_t *screenMemory() const;

    // ---- screen hooks ----
    ColormapPtr defaultColormap() const { return screen_ ? screen_->defColormap : nullptr; }
    // Installs `map`: installedCmap, then the LoadColormap hook.
    void installColormap(ColormapPtr map);
    // The SetColor hook for one entry.
    void setColor(int index, uint16_t red, uint16_t green, uint16_t blue);
    // The BlankScreen hook's result.
    int blankScreen(bool on);

    // ---- console switch (SysInfo) ----
    void saveGState();
    Bool setText();
    void setGraphics();
    void restoreGState();
    // The screen taken away (SaveGState, SetText) and given back (SetGraphics,
    // RestoreGState).
    void switchAway();
    void switchBack();

    // ---- cursor (the registered PointerFuncs) ----
    Bool realizeCursor(CursorPtr);
    // As the server frees a cursor: its last reference gone (refcnt 0), then
    // UnrealizeCursor.
    Bool unrealizeCursor(CursorPtr);
    void setCursor(CursorPtr, int x, int y);
    void moveCursor(int x, int y);
    // The screen's RecolorCursor hook (the server's default unless the
    // driver stored its own).
    void recolorCursor(CursorPtr, Bool displayed);
    // The screen's QueryBestSize hook on (width, height); the sizes it leaves.
    std::pair<uint16_t, uint16_t> queryBestSize(int cls, uint16_t width, uint16_t height);

    // ---- sprite cursor (the registered SpriteCursorFuncs) ----
    // The record the driver gave vexoSpriteInitialize (null when none).
    SpriteCursorFuncs *sprite() const { return registered().spriteFuncs; }
    // Each calls its slot of the record; the mirror is not drawn (see
    // driveSprite() for a session that checks the pixels).
    Bool spriteRealize(CursorPtr);
    Bool spriteUnrealize(CursorPtr);
    void spritePutUp(CursorPtr, int x, int y, Pixel fg, Pixel bg);
    void spriteSaveUnder(int x, int y, int w, int h);
    void spriteRestoreUnder(int x, int y, int w, int h);
    void spriteMove(CursorPtr, int x, int y, int w, int h, int dx, int dy, Pixel fg, Pixel bg);
    void spriteChangeSave(int x, int y, int w, int h, int dx, int dy);

    // Runs `f` as a driver call named `what`: sim::Abort and FatalError are
    // caught, recorded and reported. False when it did not return normally.
    bool call(const std::string &what, const std::function<void()> &f);

  private:
    void report(const std::string &message);
    void newScreenRec();
    // A zeroed mirror when its size no longer matches the screen's.
    void resizeMirror();
    // The pitch the display registers were set up with, once Init has run
    // the mode procedure (unless Options gave one, or the model cannot tell).
    void adoptDisplayPitch();
    void dropWindowsAndGCs();
    // The adapter's picture is not linear; readPicture() fills a canvas of
    // the visible screen from it.
    bool nonLinear() const;
    void readPicture(ref::Canvas &c) const;
    void dropScreenRecords();
    bool driverReady(const char *what) const;
    // Make the screen's machine the one the register accessors reach.
    void activate() const;

    std::string driver_;
    Options options_;
    ScreenInfo *info_ = nullptr;
    std::shared_ptr<sim::Machine> machine_;
    int num_ = 0;
    std::unique_ptr<sim::Adapter> adapter_;
    ScreenConfig config_{};
    ScreenPtr screen_ = nullptr;
    WindowPtr root_ = nullptr;
    std::vector<GCPtr> gcs_;
    std::vector<PixmapPtr> pixmaps_;
    std::vector<WindowPtr> windows_; // createWindow()
    int width_ = 0, height_ = 0, bytesPerPixel_ = 1, pitch_ = 0;
    ref::Canvas mirror_;
    std::string fatalMessage_, abortMessage_;
    std::vector<std::string> failures_;
    bool open_ = false;
};

// ---- a sprite cursor driven as the server's sprite layer drives it ----

// `scene` with the cursor drawn at its top-left corner (x, y): `fg` where the
// mask and source bits are set, `bg` where only the mask bit is, the rest
// left alone; at most `maxSize` x `maxSize` of the cursor's top-left part,
// clipped to the canvas.
ref::Canvas withSprite(const ref::Canvas &scene, const CursorRec &cursor, int x, int y, Pixel fg,
                       Pixel bg, int maxSize = 64);

struct SpriteDrive {
    Pixel fg = 1, bg = 0;
    int saveSize = 80;  // side of the save-under rectangles the layer asks for
    int maxCursor = 64; // the driver draws at most this much of a cursor
};

struct SpriteRun {
    int putUps = 0, moves = 0, changeSaves = 0, restores = 0;
    int checks = 0;                    // comparisons of the screen made
    std::vector<std::string> problems; // one per comparison that failed
};

// A sprite-layer session over the screen's picture as its mirror holds it
// (the mirror must equal video memory): RealizeCursor, then SaveUnderCursor
// of a saveSize square around the first stop of `path` (cursor top-left
// corners; the cursor in the square's middle, in every other square in its
// bottom-right corner) and PutUpCursor there. Every further stop whose drawn cursor still
// lies inside the saved square is reached with MoveCursor (restore the square,
// draw at the new place); any other with ChangeSave (restore the old square,
// save one around the new stop) and PutUpCursor. A last RestoreUnderCursor
// takes the cursor away, then UnrealizeCursor. After every restore (MoveCursor,
// ChangeSave, RestoreUnderCursor) the screen must equal the scene under it,
// after every drawing of the cursor (unless checkPutUp is off) the scene with
// the cursor on it. The mirror is the scene again at the end.
SpriteRun driveSprite(Screen &, CursorPtr, const std::vector<DDXPointRec> &path,
                      const SpriteDrive &drive = {});

// Stops that reach every edge of a width x height screen, partly off it too
// (left, top, right, bottom and the corners), with moves inside one saved
// square between them.
std::vector<DDXPointRec> spriteEdgePath(int width, int height);

} // namespace harness
