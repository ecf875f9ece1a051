/*
 * The record layouts the server relies on, in words and bytes as the target
 * lays them out. A record that drifts from them fails the i386 build; the host
 * build checks only what does not depend on the width of a pointer.
 */
#ifndef DRV_LAYOUT_H
#define DRV_LAYOUT_H

#include <stddef.h>

#include "nfb.h"

#ifdef __cplusplus
#define DRV_STATIC_ASSERT static_assert
#else
#define DRV_STATIC_ASSERT _Static_assert
#endif

DRV_STATIC_ASSERT(sizeof(BoxRec) == 8, "BoxRec is four 16-bit values");
DRV_STATIC_ASSERT(sizeof(DDXPointRec) == 4, "DDXPointRec is two 16-bit values");
DRV_STATIC_ASSERT(sizeof(xSegment) == 8, "xSegment is four 16-bit values");
DRV_STATIC_ASSERT(sizeof(ZeroSegRec) == 24, "ZeroSegRec: six 16-bit values, three words");
DRV_STATIC_ASSERT(offsetof(ZeroSegRec, len) == 10 && offsetof(ZeroSegRec, e) == 12,
                  "ZeroSegRec field order");
DRV_STATIC_ASSERT(sizeof(VisualRec) == 36, "VisualRec: a word, four 16-bit values, six words");
DRV_STATIC_ASSERT(offsetof(VisualRec, class_) == 4 && offsetof(VisualRec, nplanes) == 10 &&
                      offsetof(VisualRec, redMask) == 12 && offsetof(VisualRec, offsetBlue) == 32,
                  "VisualRec field order");
DRV_STATIC_ASSERT(sizeof(PaddingInfo) == 12, "PaddingInfo is three ints");
DRV_STATIC_ASSERT(offsetof(ScreenConfig, bitsPerPixel) == offsetof(ScreenConfig, depth) + 1 &&
                      offsetof(ScreenConfig, scanlinePad) == offsetof(ScreenConfig, depth) + 2,
                  "depth, bitsPerPixel and scanlinePad are consecutive bytes");
DRV_STATIC_ASSERT(sizeof(float) == 4, "sysInfoValue is a 32-bit float");

#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(void *) == 4 && sizeof(int) == 4, "a 32-bit interface");
DRV_STATIC_ASSERT(sizeof(ScreenInfo) == 48, "ScreenInfo is twelve words");
DRV_STATIC_ASSERT(offsetof(ScreenInfo, driverName) == 8, "driverName is the third word");
DRV_STATIC_ASSERT(sizeof(SysInfo) == 40, "SysInfo is ten words");
DRV_STATIC_ASSERT(offsetof(SysInfo, FreeScreen) == 20 && offsetof(SysInfo, sysInfoValue) == 36,
                  "SysInfo field order");
DRV_STATIC_ASSERT(sizeof(PrivOps) == 24, "PrivOps is six slots");
DRV_STATIC_ASSERT(sizeof(WinOps) == 60, "WinOps is fifteen slots");
DRV_STATIC_ASSERT(offsetof(WinOps, text) == 36 && offsetof(WinOps, ValidateWindowGC) == 56,
                  "WinOps slot order");
DRV_STATIC_ASSERT(sizeof(PointerFuncs) == 16, "PointerFuncs is four slots");
DRV_STATIC_ASSERT(sizeof(SpriteCursorFuncs) == 28, "SpriteCursorFuncs is seven slots");
DRV_STATIC_ASSERT(sizeof(MonoGlyphRec) == 20, "MonoGlyphRec: a box and three words");
DRV_STATIC_ASSERT(sizeof(nfbFontPrivate) == 8, "nfbFontPrivate is two words");
DRV_STATIC_ASSERT(sizeof(Text8FontInfo) == 24, "Text8FontInfo is six words");
DRV_STATIC_ASSERT(offsetof(ScreenConfig, grafinfo) == offsetof(ScreenConfig, depth) + 8,
                  "grafinfo follows one word after the three bytes");
DRV_STATIC_ASSERT(sizeof(Entry) == 20 && offsetof(Entry, fShared) == 16,
                  "a colormap entry's shared flag is its fifth word");
DRV_STATIC_ASSERT(offsetof(nfbGCPrivate, ops) == 4 && offsetof(nfbGCPrivate, fgPixel) == 20 &&
                      offsetof(nfbGCPrivate, alu) == 28 && offsetof(nfbGCPrivate, patOrg) == 36,
                  "nfbGCPrivate field order");
DRV_STATIC_ASSERT(offsetof(GCRec, pScreen) == 0, "a GC's screen is its first word");
#endif

#endif
