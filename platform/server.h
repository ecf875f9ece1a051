// The stand-in display server, as tests and the harness see it.
//
// The drivers reach the server through the extern "C" functions and data of
// nfb.h (server.cpp, generic.cpp). This header is the other side: the C++
// controls a test uses to create the server's own records (screens, windows,
// GCs, pixmaps, fonts, cursors), to look at what the drivers asked for
// (allocations, messages, registered records, generic-routine calls) and to
// make the server refuse things on demand.
//
// Everything here is process-wide state, like a server's: each test case
// starts from a server as fresh as a new process's (harness::beginCase()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "nfb.h"

namespace ref {
struct Canvas;
}

namespace server {

// ---- FatalError ----

// What FatalError throws after recording its message: the server would end
// here. Drivers are built with unwind tables, so it passes through them back
// to the harness (or the test) that called the driver.
struct FatalErrorCalled : std::exception {
    explicit FatalErrorCalled(std::string m) : message(std::move(m)) {}
    const char *what() const noexcept override { return message.c_str(); }
    std::string message; // formatted, byte for byte as the driver gave it
};

// Every FatalError message so far, in order.
const std::vector<std::string> &fatalErrors();

// ---- ErrorF ----

// Every ErrorF message so far, formatted, in order.
const std::vector<std::string> &errorMessages();
void clearErrorMessages();
// Echo ErrorF (and FatalError) messages to stderr as they come (off by
// default; on when the environment variable DRV_ECHO_ERRORF is set).
void setEchoErrorF(bool on);

// ---- memory (Xalloc, Xrealloc, Xfree) ----

struct Block {
    void *ptr;
    uint32_t size;
    uint64_t serial; // allocation order, from 1
};
// The blocks the drivers hold now, in allocation order.
std::vector<Block> liveBlocks();
size_t liveBlockCount();
// Allocations made so far (Xalloc, and Xrealloc calls that allocate).
uint64_t allocationCount();
// Let `n` more allocations succeed, then make every further one fail (return
// null) until cleared with a negative `n`.
void failAllocationAfter(long n);
// Problems the server saw with memory handed back to it (Xfree or Xrealloc of
// a pointer that is not a live block). They are also reported to the
// simulated machine's failure handler, so a harness test fails on them.
const std::vector<std::string> &memoryErrors();

// ---- private indices ----

// Screen-private indices handed out so far (the next index).
int screenPrivateCount();
// Make AllocateScreenPrivateIndex refuse (return -1) while `on`.
void failScreenPrivateIndex(bool on);
int gcPrivateCount();

// ---- generations ----

// Start the next server generation: serverGeneration changes.
void resetGeneration();

// The server as it is at process start: every record, block, message, index,
// knob, registration and logged call is dropped (blocks still held are
// freed) and the server's data is set anew (serverGeneration 1). Drivers that
// were called before must not be called again: harness::beginCase() unloads
// them first.
void restart();

// ---- server records ----

// A screen record with devPrivates for every screen-private index (the array
// grows when AllocateScreenPrivateIndex hands out another index) and the
// server's default hooks. Owned by the server until destroyScreen.
ScreenPtr createScreen(int myNum);
// Frees what the server and the frame-buffer layer hold for the screen
// (devPrivates, nfbScreenPrivate, visuals, colormaps, text-8 slots). It does
// not call the driver: call its FreeScreen first.
void destroyScreen(ScreenPtr);

// Registers `config` as ddxActiveScreens[index] (null clears it).
void setActiveScreen(int index, ScreenConfig *config);

// A window on the screen with an nfbWindowPrivate (ops still null: the
// driver's ValidateWindowPriv hook fills it).
WindowPtr createWindow(ScreenPtr, int x, int y, int width, int height, int depth, int bitsPerPixel);
void destroyWindow(WindowPtr);

// A GC for the screen: devPrivates for every GC-private index, the
// nfbGCPrivate copied from the screen's gcTemplate, blocks for the privates
// that AllocateGCPrivate reserved, the server's GCFuncs (ValidateGC calls
// the drawable's ValidateWindowGC slot between the layer's own steps, the
// other slots do nothing); the screen's CreateGC hook
// is called on it. Fill values default to GXcopy, all-ones plane mask, fg 1,
// bg 0, solid fill.
GCPtr createGC(ScreenPtr, int depth);
void destroyGC(GCPtr);

// A pixmap holding `height` rows of `devKind` bytes (zeroed), owned by the server.
PixmapPtr createPixmap(ScreenPtr, int width, int height, int depth, int bitsPerPixel, int devKind);
void destroyPixmap(PixmapPtr);

// A font whose nfbFontPrivate at nfbFontPrivateIndex points at `info` (which
// the caller keeps alive); fontId starts at 0.
FontPtr createFont(Text8FontInfo *info);
void destroyFont(FontPtr);

// ---- what the drivers registered ----

struct ScreenState {
    SysInfo *sysInfo = nullptr;           // vexoSysInfoInit
    PointerFuncs *pointerFuncs = nullptr; // vexoPointerInitialize (accepted or not)
    std::vector<int> pointerArgs;         // its arguments after the record
    bool pointerAccepted = false;
    bool swCursor = false;                    // vexoSWCursorInitialize
    SpriteCursorFuncs *spriteFuncs = nullptr; // vexoSpriteInitialize
    bool optionsSet = false;                  // nfbSetOptions
    int optionsVersion = 0, optionFlags = 0;
    // nfbInitializeText8
    bool text8 = false;
    int text8Slots = 0, text8CellWidth = 0, text8CellHeight = 0;
    DownloadFont8Proc downloadFont8 = nullptr;
    std::vector<const Text8FontInfo *> slotFonts; // font now in each slot
    int nextSlot = 0;                             // round-robin replacement
};
// The state of screen `myNum` (created on first use).
ScreenState &screenState(int myNum);

struct PixmapFormat {
    int depth, bitsPerPixel, scanlinePad;
};
const std::vector<PixmapFormat> &pixmapFormats();
// What ddxAddPixmapFormat returns (1 by default).
void setPixmapFormatResult(Bool);
// What vexoPointerInitialize returns (1 by default; 0 refuses the hardware cursor).
void setPointerResult(Bool);
// What vexoSpriteInitialize returns (1 by default; 0 refuses the sprite cursor).
void setSpriteResult(Bool);
// What vexoScreenActive returns (1 by default).
void setScreenActive(Bool);
// Make nfbScreenInit, nfbAddVisual or the default-colormap calls fail.
void failScreenInit(bool on);
void failAddVisual(bool on);
void failCreateColormap(bool on);

// ---- text through the 8-bit text path ----

// The font slot that holds `font` on the screen, downloading it with the
// driver's DownloadFont8 into the next slot (round robin) on its first use.
// -1 when the screen offered no slots, or the font does not fit a cell or is
// not usable.
int text8SlotFor(ScreenPtr, const Text8FontInfo *font);
// The font downloaded into `slot` (null when none).
const Text8FontInfo *text8FontInSlot(ScreenPtr, int slot);
// Forget `font` in the screen's slots (the font went away).
void forgetText8Font(ScreenPtr, const Text8FontInfo *font);
// The console had the adapter: video memory may have been cleared or
// overwritten, so every font is downloaded again on its next use (which
// slot a font then takes is the layer's choice, round robin as ever).
void forgetText8Slots(ScreenPtr);

// ---- the generic routines' log ----

// One call of a gen* routine (or nfbReplicateArea): its arguments in slot
// order, pointers as uintptr_t, ints sign-extended, pixels and masks as given.
struct GenCall {
    std::string routine;
    std::vector<uint64_t> args;
};
const std::vector<GenCall> &genCalls();
void clearGenCalls();
// The calls of one routine.
std::vector<GenCall> genCallsOf(const std::string &routine);
void logGenCall(GenCall call); // used by the generic routines
// Runs `draw` on a screen-sized canvas holding the window's pixels over
// the area x1..x2, y1..y2 (screen coordinates, x2 and y2 exclusive), read
// and written back through the window's ReadImage and DrawImage slots, as
// the generic routines draw; nothing for a pixmap or a window without those
// slots.
void drawThroughWindow(DrawablePtr, int x1, int y1, int x2, int y2,
                       const std::function<void(ref::Canvas &)> &draw);

// ---- GC validation for drivers that build the GC's operations ----

// The GC's client clip: rectangles relative to the drawable's origin; null
// removes it (the drawable's whole area).
void setGCClip(GCPtr, const std::vector<BoxRec> *rects);
// The GC's dash list (numInDashList and dash then point at the server's copy).
void setGCDashes(GCPtr, const std::vector<uint8_t> &dashes);
// The layer's own part of validating a GC on a drawable, before the
// driver's ValidateWindowGC slot: the composite clip of the nfbGCPrivate (the
// drawable's area on the screen, cut by the client clip; one rectangle as
// extents without a data block, none or several with one).
void layerValidateGC(GCPtr, DrawablePtr);
// nfbHelpValidateGC calls so far.
uint64_t helpValidateCount();
// What the last ValidateWindowGC called by the server's ValidateGC (the GC
// function vector's first slot) returned; reading it resets it to 0.
int takeValidateResult();
// After the slot: when the driver called no nfbHelpValidateGC since
// `helpCallsBefore`, the layer fills the nfbGCPrivate's colours, alu and
// plane mask itself; then the GC takes the drawable's serial number.
void layerFinishValidateGC(GCPtr, DrawablePtr, uint64_t helpCallsBefore);

// Helpers to write expected GenCall arguments.
inline uint64_t arg(const void *p) {
    return reinterpret_cast<uintptr_t>(p);
}
inline uint64_t arg(int v) {
    return static_cast<uint64_t>(static_cast<int64_t>(v));
}
inline uint64_t arg(uint32_t v) {
    return v;
}

// ---- colormaps ----

// A colormap of `visual` with zeroed entries, owned by the server until the
// screen is destroyed.
ColormapPtr createColormap(ScreenPtr, VisualPtr visual);

} // namespace server
