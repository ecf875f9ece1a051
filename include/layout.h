/*
 * The record layouts the server relies on, in words and bytes as the target
 * lays them out. The server reads and writes these records at fixed offsets,
 * and the drivers fill some of them positionally, so a field that moves,
 * changes width or changes signedness breaks the binary interface without any
 * compiler complaint elsewhere. A record that drifts fails the i386 build; the
 * host build checks what does not depend on the width of a pointer.
 *
 * Bit-fields (the GC's style word) cannot be named by offsetof and cannot be
 * read as a raw word in a constant expression of a record holding pointers;
 * the load test checks their bit positions instead.
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

#define DRV_FIELD_BYTES(rec, field) sizeof(((rec *)0)->field)
#define DRV_FIELD_SIGNED(rec, field) ((__typeof__(((rec *)0)->field))-1 <= 0)

/* A field at a byte offset, `bytes` wide. */
#define DRV_FIELD(rec, field, offset, bytes)                                                       \
    DRV_STATIC_ASSERT(offsetof(rec, field) == (offset) && DRV_FIELD_BYTES(rec, field) == (bytes),  \
                      #rec "." #field ": width " #bytes ", at byte " #offset)
/* An integer field, by offset, width and signedness. */
#define DRV_SINT(rec, field, offset, bytes)                                                        \
    DRV_FIELD(rec, field, offset, bytes);                                                          \
    DRV_STATIC_ASSERT(DRV_FIELD_SIGNED(rec, field), #rec "." #field " is signed")
#define DRV_UINT(rec, field, offset, bytes)                                                        \
    DRV_FIELD(rec, field, offset, bytes);                                                          \
    DRV_STATIC_ASSERT(!DRV_FIELD_SIGNED(rec, field), #rec "." #field " is unsigned")
/* A field whose width is a pointer's: only its offset holds on every build. */
#define DRV_AT(rec, field, offset)                                                                 \
    DRV_STATIC_ASSERT(offsetof(rec, field) == (offset), #rec "." #field " is at byte " #offset)
#define DRV_SIZE(rec, bytes) DRV_STATIC_ASSERT(sizeof(rec) == (bytes), #rec " is " #bytes " bytes")

/* ---- The interface's words ---- */

/* Bool, Pixel, XID and the float of SysInfo are 32-bit on every build; on the
 * target so are int, long and every pointer. */
DRV_STATIC_ASSERT(sizeof(Bool) == 4 && sizeof(Pixel) == 4 && sizeof(XID) == 4,
                  "Bool, Pixel and XID are words");
DRV_STATIC_ASSERT(sizeof(float) == 4, "sysInfoValue is a 32-bit float");
#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(void *) == 4 && sizeof(int) == 4 && sizeof(long) == 4 &&
                      sizeof(void (*)(void)) == 4,
                  "a 32-bit interface");
#endif

/* DevUnion: one word, a pointer or a value; devPrivates are arrays of them. */
DRV_SINT(DevUnion, val, 0, 4);
DRV_AT(DevUnion, ptr, 0);
#if defined(__i386__)
DRV_SIZE(DevUnion, 4);
#endif

/* ---- x11.h ---- */

/* BoxRec: x1, y1, x2, y2, signed 16 bits each; two words. */
DRV_SINT(BoxRec, x1, 0, 2);
DRV_SINT(BoxRec, y1, 2, 2);
DRV_SINT(BoxRec, x2, 4, 2);
DRV_SINT(BoxRec, y2, 6, 2);
DRV_SIZE(BoxRec, 8);

/* DDXPointRec: x, y, signed 16 bits each; one word. */
DRV_SINT(DDXPointRec, x, 0, 2);
DRV_SINT(DDXPointRec, y, 2, 2);
DRV_SIZE(DDXPointRec, 4);

/* xSegment: x1, y1, x2, y2, signed 16 bits each; two words. */
DRV_SINT(xSegment, x1, 0, 2);
DRV_SINT(xSegment, y1, 2, 2);
DRV_SINT(xSegment, x2, 4, 2);
DRV_SINT(xSegment, y2, 6, 2);
DRV_SIZE(xSegment, 8);

/* xColorItem: pixel; red, green, blue (16 bits); flags, pad (bytes); three words. */
DRV_UINT(xColorItem, pixel, 0, 4);
DRV_UINT(xColorItem, red, 4, 2);
DRV_UINT(xColorItem, green, 6, 2);
DRV_UINT(xColorItem, blue, 8, 2);
DRV_UINT(xColorItem, flags, 10, 1);
DRV_UINT(xColorItem, pad, 11, 1);
DRV_SIZE(xColorItem, 12);

/* VisualRec: vid; class, bitsPerRGBValue, ColormapEntries, nplanes (16 bits);
 * redMask, greenMask, blueMask, offsetRed, offsetGreen, offsetBlue; nine words. */
DRV_UINT(VisualRec, vid, 0, 4);
DRV_UINT(VisualRec, class_, 4, 2);
DRV_UINT(VisualRec, bitsPerRGBValue, 6, 2);
DRV_UINT(VisualRec, ColormapEntries, 8, 2);
DRV_UINT(VisualRec, nplanes, 10, 2);
DRV_UINT(VisualRec, redMask, 12, 4);
DRV_UINT(VisualRec, greenMask, 16, 4);
DRV_UINT(VisualRec, blueMask, 20, 4);
DRV_UINT(VisualRec, offsetRed, 24, 4);
DRV_UINT(VisualRec, offsetGreen, 28, 4);
DRV_UINT(VisualRec, offsetBlue, 32, 4);
DRV_SIZE(VisualRec, 36);

/* DrawableRec: type, class, depth, bitsPerPixel (bytes); id; x, y (signed 16
 * bits); width, height (16 bits); pScreen; serialNumber; six words. */
DRV_UINT(DrawableRec, type, 0, 1);
DRV_UINT(DrawableRec, class_, 1, 1);
DRV_UINT(DrawableRec, depth, 2, 1);
DRV_UINT(DrawableRec, bitsPerPixel, 3, 1);
DRV_UINT(DrawableRec, id, 4, 4);
DRV_SINT(DrawableRec, x, 8, 2);
DRV_SINT(DrawableRec, y, 10, 2);
DRV_UINT(DrawableRec, width, 12, 2);
DRV_UINT(DrawableRec, height, 14, 2);
DRV_AT(DrawableRec, pScreen, 16);
#if defined(__i386__)
DRV_FIELD(DrawableRec, pScreen, 16, 4);
DRV_UINT(DrawableRec, serialNumber, 20, 4);
DRV_SIZE(DrawableRec, 24);
#endif

/* PixmapRec: the six-word drawable header; refcnt, devKind; devPrivate; the
 * pixmap header is nine words. */
DRV_AT(PixmapRec, drawable, 0);
#if defined(__i386__)
DRV_FIELD(PixmapRec, drawable, 0, 24);
DRV_SINT(PixmapRec, refcnt, 24, 4);
DRV_SINT(PixmapRec, devKind, 28, 4);
DRV_FIELD(PixmapRec, devPrivate, 32, 4);
DRV_SIZE(PixmapRec, 36);
#endif

/* WindowRec: the six-word drawable header; parent; devPrivates; eight words. */
DRV_AT(WindowRec, drawable, 0);
#if defined(__i386__)
DRV_FIELD(WindowRec, drawable, 0, 24);
DRV_FIELD(WindowRec, parent, 24, 4);
DRV_FIELD(WindowRec, devPrivates, 28, 4);
DRV_SIZE(WindowRec, 32);
#endif

/* RegDataRec: size, numRects; two words, the boxes follow at byte 8. */
DRV_SINT(RegDataRec, size, 0, 4);
DRV_SINT(RegDataRec, numRects, 4, 4);
DRV_SIZE(RegDataRec, 8);

/* RegionRec: the extents box (two words); data; three words. */
DRV_FIELD(RegionRec, extents, 0, 8);
DRV_AT(RegionRec, data, 8);
#if defined(__i386__)
DRV_FIELD(RegionRec, data, 8, 4);
DRV_SIZE(RegionRec, 12);
#endif

/* FontRec: maxPrivate; devPrivates; two words. */
DRV_SINT(FontRec, maxPrivate, 0, 4);
#if defined(__i386__)
DRV_FIELD(FontRec, devPrivates, 4, 4);
DRV_SIZE(FontRec, 8);
#endif

/* GCFuncs: ValidateGC, ChangeGC, CopyGC, DestroyGC, ChangeClip, DestroyClip,
 * CopyClip; seven slots. */
DRV_AT(GCFuncs, ValidateGC, 0);
#if defined(__i386__)
DRV_FIELD(GCFuncs, ValidateGC, 0, 4);
DRV_FIELD(GCFuncs, ChangeGC, 4, 4);
DRV_FIELD(GCFuncs, CopyGC, 8, 4);
DRV_FIELD(GCFuncs, DestroyGC, 12, 4);
DRV_FIELD(GCFuncs, ChangeClip, 16, 4);
DRV_FIELD(GCFuncs, DestroyClip, 20, 4);
DRV_FIELD(GCFuncs, CopyClip, 24, 4);
DRV_SIZE(GCFuncs, 28);
#endif

/* GCRec: pScreen; depth, alu (bytes), lineWidth (16 bits); dashOffset,
 * numInDashList (16 bits); dash; the style word (bit-fields, fill style in
 * bits 6-7); planemask, fgPixel, bgPixel; tile, stipple; patOrg (two 16-bit
 * values); font, funcs, ops, devPrivates; serialNumber; sixteen words. The
 * style word is the one between dash and planemask. */
DRV_AT(GCRec, pScreen, 0);
#if defined(__i386__)
DRV_FIELD(GCRec, pScreen, 0, 4);
DRV_UINT(GCRec, depth, 4, 1);
DRV_UINT(GCRec, alu, 5, 1);
DRV_UINT(GCRec, lineWidth, 6, 2);
DRV_UINT(GCRec, dashOffset, 8, 2);
DRV_UINT(GCRec, numInDashList, 10, 2);
DRV_FIELD(GCRec, dash, 12, 4);
DRV_UINT(GCRec, planemask, 20, 4);
DRV_UINT(GCRec, fgPixel, 24, 4);
DRV_UINT(GCRec, bgPixel, 28, 4);
DRV_FIELD(GCRec, tile, 32, 4);
DRV_FIELD(GCRec, stipple, 36, 4);
DRV_FIELD(GCRec, patOrg, 40, 4);
DRV_FIELD(GCRec, font, 44, 4);
DRV_FIELD(GCRec, funcs, 48, 4);
DRV_FIELD(GCRec, ops, 52, 4);
DRV_FIELD(GCRec, devPrivates, 56, 4);
DRV_UINT(GCRec, serialNumber, 60, 4);
DRV_SIZE(GCRec, 64);
#endif

/* CursorBits: source; mask; width, height, xhot, yhot (16 bits); refcnt;
 * devPriv (sixteen words, by screen); twenty-one words. */
DRV_AT(CursorBits, source, 0);
#if defined(__i386__)
DRV_FIELD(CursorBits, source, 0, 4);
DRV_FIELD(CursorBits, mask, 4, 4);
DRV_UINT(CursorBits, width, 8, 2);
DRV_UINT(CursorBits, height, 10, 2);
DRV_UINT(CursorBits, xhot, 12, 2);
DRV_UINT(CursorBits, yhot, 14, 2);
DRV_SINT(CursorBits, refcnt, 16, 4);
DRV_FIELD(CursorBits, devPriv, 20, 4 * MAXSCREENS);
DRV_SIZE(CursorBits, 84);
#endif

/* CursorRec: bits; foreRed, foreGreen, foreBlue, backRed, backGreen, backBlue
 * (16 bits); refcnt; devPriv (sixteen words, by screen); twenty-one words. */
DRV_AT(CursorRec, bits, 0);
#if defined(__i386__)
DRV_FIELD(CursorRec, bits, 0, 4);
DRV_UINT(CursorRec, foreRed, 4, 2);
DRV_UINT(CursorRec, foreGreen, 6, 2);
DRV_UINT(CursorRec, foreBlue, 8, 2);
DRV_UINT(CursorRec, backRed, 10, 2);
DRV_UINT(CursorRec, backGreen, 12, 2);
DRV_UINT(CursorRec, backBlue, 14, 2);
DRV_SINT(CursorRec, refcnt, 16, 4);
DRV_FIELD(CursorRec, devPriv, 20, 4 * MAXSCREENS);
DRV_SIZE(CursorRec, 84);
#endif

/* SHAREDCOLOR: color (16 bits), refcnt (signed 16 bits); one word. */
DRV_UINT(SHAREDCOLOR, color, 0, 2);
DRV_SINT(SHAREDCOLOR, refcnt, 2, 2);
DRV_SIZE(SHAREDCOLOR, 4);

/* Entry: three words holding red, green, blue (16 bits) in place or three
 * pointers to shared colours; refcnt (signed 16 bits); fShared; five words. */
DRV_UINT(Entry, co.local.red, 0, 2);
DRV_UINT(Entry, co.local.green, 2, 2);
DRV_UINT(Entry, co.local.blue, 4, 2);
DRV_AT(Entry, co.shco.red, 0);
#if defined(__i386__)
DRV_FIELD(Entry, co, 0, 12);
DRV_FIELD(Entry, co.shco.red, 0, 4);
DRV_FIELD(Entry, co.shco.green, 4, 4);
DRV_FIELD(Entry, co.shco.blue, 8, 4);
DRV_SINT(Entry, refcnt, 12, 2);
DRV_SINT(Entry, fShared, 16, 4);
DRV_SIZE(Entry, 20);
#endif

/* ColormapRec: pVisual, pScreen; mid; red, green, blue; six words. */
DRV_AT(ColormapRec, pVisual, 0);
#if defined(__i386__)
DRV_FIELD(ColormapRec, pVisual, 0, 4);
DRV_FIELD(ColormapRec, pScreen, 4, 4);
DRV_UINT(ColormapRec, mid, 8, 4);
DRV_FIELD(ColormapRec, red, 12, 4);
DRV_FIELD(ColormapRec, green, 16, 4);
DRV_FIELD(ColormapRec, blue, 20, 4);
DRV_SIZE(ColormapRec, 24);
#endif

/* ScreenRec: myNum; width, height, mmWidth, mmHeight (signed 16 bits);
 * rootDepth (a byte in a word of its own); devPrivate, devPrivates;
 * numVisuals; visuals; whitePixel, blackPixel; defColormap; then nine hooks:
 * CloseScreen, QueryBestSize, SaveScreen, RecolorCursor, CreateGC,
 * InstallColormap, UninstallColormap, ListInstalledColormaps, StoreColors;
 * twenty words. */
DRV_SINT(ScreenRec, myNum, 0, 4);
DRV_SINT(ScreenRec, width, 4, 2);
DRV_SINT(ScreenRec, height, 6, 2);
DRV_SINT(ScreenRec, mmWidth, 8, 2);
DRV_SINT(ScreenRec, mmHeight, 10, 2);
DRV_UINT(ScreenRec, rootDepth, 12, 1);
#if defined(__i386__)
DRV_FIELD(ScreenRec, devPrivate, 16, 4);
DRV_FIELD(ScreenRec, devPrivates, 20, 4);
DRV_SINT(ScreenRec, numVisuals, 24, 4);
DRV_FIELD(ScreenRec, visuals, 28, 4);
DRV_UINT(ScreenRec, whitePixel, 32, 4);
DRV_UINT(ScreenRec, blackPixel, 36, 4);
DRV_FIELD(ScreenRec, defColormap, 40, 4);
DRV_FIELD(ScreenRec, CloseScreen, 44, 4);
DRV_FIELD(ScreenRec, QueryBestSize, 48, 4);
DRV_FIELD(ScreenRec, SaveScreen, 52, 4);
DRV_FIELD(ScreenRec, RecolorCursor, 56, 4);
DRV_FIELD(ScreenRec, CreateGC, 60, 4);
DRV_FIELD(ScreenRec, InstallColormap, 64, 4);
DRV_FIELD(ScreenRec, UninstallColormap, 68, 4);
DRV_FIELD(ScreenRec, ListInstalledColormaps, 72, 4);
DRV_FIELD(ScreenRec, StoreColors, 76, 4);
DRV_SIZE(ScreenRec, 80);
#endif

/* PaddingInfo: padRoundUp, padPixelsLog2, padBytesLog2; three words. */
DRV_SINT(PaddingInfo, padRoundUp, 0, 4);
DRV_SINT(PaddingInfo, padPixelsLog2, 4, 4);
DRV_SINT(PaddingInfo, padBytesLog2, 8, 4);
DRV_SIZE(PaddingInfo, 12);

/* ---- nfb.h ---- */

/* ScreenInfo: Probe, Init, driverName, nine words of 0; twelve words. */
DRV_AT(ScreenInfo, Probe, 0);
#if defined(__i386__)
DRV_FIELD(ScreenInfo, Probe, 0, 4);
DRV_FIELD(ScreenInfo, Init, 4, 4);
DRV_FIELD(ScreenInfo, driverName, 8, 4);
DRV_FIELD(ScreenInfo, reserved, 12, 36);
DRV_SIZE(ScreenInfo, 48);
#endif

/* SysInfo: sysInfoWord0; SetGraphics, SetText, SaveGState, RestoreGState,
 * FreeScreen; sysInfoFlag1, sysInfoFlag2, sysInfoFlag3; sysInfoValue (a
 * float); ten words. */
DRV_SINT(SysInfo, sysInfoWord0, 0, 4);
#if defined(__i386__)
DRV_FIELD(SysInfo, SetGraphics, 4, 4);
DRV_FIELD(SysInfo, SetText, 8, 4);
DRV_FIELD(SysInfo, SaveGState, 12, 4);
DRV_FIELD(SysInfo, RestoreGState, 16, 4);
DRV_FIELD(SysInfo, FreeScreen, 20, 4);
DRV_SINT(SysInfo, sysInfoFlag1, 24, 4);
DRV_SINT(SysInfo, sysInfoFlag2, 28, 4);
DRV_SINT(SysInfo, sysInfoFlag3, 32, 4);
DRV_FIELD(SysInfo, sysInfoValue, 36, 4);
DRV_SIZE(SysInfo, 40);
#endif

/* ScreenConfig: serverWord0; depth, bitsPerPixel, scanlinePad, serverByte
 * (bytes); serverWord1; grafinfo; four words. */
DRV_SINT(ScreenConfig, serverWord0, 0, 4);
DRV_UINT(ScreenConfig, depth, 4, 1);
DRV_UINT(ScreenConfig, bitsPerPixel, 5, 1);
DRV_UINT(ScreenConfig, scanlinePad, 6, 1);
DRV_UINT(ScreenConfig, serverByte, 7, 1);
DRV_SINT(ScreenConfig, serverWord1, 8, 4);
#if defined(__i386__)
DRV_FIELD(ScreenConfig, grafinfo, 12, 4);
DRV_SIZE(ScreenConfig, 16);
#endif

/* ActiveScreen: index; config; two words. */
DRV_SINT(ActiveScreen, index, 0, 4);
#if defined(__i386__)
DRV_FIELD(ActiveScreen, config, 4, 4);
DRV_SIZE(ActiveScreen, 8);
#endif

/* ZeroSegRec: x, y, signdx, signdy, axis, len (signed 16 bits); e, e1, e2;
 * six words. */
DRV_SINT(ZeroSegRec, x, 0, 2);
DRV_SINT(ZeroSegRec, y, 2, 2);
DRV_SINT(ZeroSegRec, signdx, 4, 2);
DRV_SINT(ZeroSegRec, signdy, 6, 2);
DRV_SINT(ZeroSegRec, axis, 8, 2);
DRV_SINT(ZeroSegRec, len, 10, 2);
DRV_SINT(ZeroSegRec, e, 12, 4);
DRV_SINT(ZeroSegRec, e1, 16, 4);
DRV_SINT(ZeroSegRec, e2, 20, 4);
DRV_SIZE(ZeroSegRec, 24);

/* PrivOps: FillRects, FS, slot three (ZeroSegs, ZeroSeg or GCOp3), GCOp4,
 * GCOp5, GCOp6; six slots. */
DRV_AT(PrivOps, FillRects, 0);
#if defined(__i386__)
DRV_FIELD(PrivOps, FillRects, 0, 4);
DRV_FIELD(PrivOps, FS, 4, 4);
DRV_FIELD(PrivOps, slot3, 8, 4);
DRV_FIELD(PrivOps, slot3.ZeroSegs, 8, 4);
DRV_FIELD(PrivOps, slot3.ZeroSeg, 8, 4);
DRV_FIELD(PrivOps, slot3.GCOp3, 8, 4);
DRV_FIELD(PrivOps, GCOp4, 12, 4);
DRV_FIELD(PrivOps, GCOp5, 16, 4);
DRV_FIELD(PrivOps, GCOp6, 20, 4);
DRV_SIZE(PrivOps, 24);
#endif

/* WinOps: CopyRect, DrawSolidRects, DrawImage, DrawMonoImage,
 * DrawOpaqueMonoImage, ReadImage, DrawPoints, TileRects, DrawMonoGlyphs, the
 * text slot (DrawFontText or DrawFontText8), WinOp11, WinOp12, WinOp13,
 * SetClipRegions, ValidateWindowGC; fifteen slots. */
DRV_AT(WinOps, CopyRect, 0);
#if defined(__i386__)
DRV_FIELD(WinOps, CopyRect, 0, 4);
DRV_FIELD(WinOps, DrawSolidRects, 4, 4);
DRV_FIELD(WinOps, DrawImage, 8, 4);
DRV_FIELD(WinOps, DrawMonoImage, 12, 4);
DRV_FIELD(WinOps, DrawOpaqueMonoImage, 16, 4);
DRV_FIELD(WinOps, ReadImage, 20, 4);
DRV_FIELD(WinOps, DrawPoints, 24, 4);
DRV_FIELD(WinOps, TileRects, 28, 4);
DRV_FIELD(WinOps, DrawMonoGlyphs, 32, 4);
DRV_FIELD(WinOps, text, 36, 4);
DRV_FIELD(WinOps, text.DrawFontText, 36, 4);
DRV_FIELD(WinOps, text.DrawFontText8, 36, 4);
DRV_FIELD(WinOps, WinOp11, 40, 4);
DRV_FIELD(WinOps, WinOp12, 44, 4);
DRV_FIELD(WinOps, WinOp13, 48, 4);
DRV_FIELD(WinOps, SetClipRegions, 52, 4);
DRV_FIELD(WinOps, ValidateWindowGC, 56, 4);
DRV_SIZE(WinOps, 60);
#endif

/* MonoGlyphRec: box (two words); stride; bits; glyphKey; five words. */
DRV_FIELD(MonoGlyphRec, box, 0, 8);
DRV_SINT(MonoGlyphRec, stride, 8, 4);
#if defined(__i386__)
DRV_FIELD(MonoGlyphRec, bits, 12, 4);
DRV_SINT(MonoGlyphRec, glyphKey, 16, 4);
DRV_SIZE(MonoGlyphRec, 20);
#endif

/* Text8FontInfo: usable; glyphs; nglyphs, glyphWidth, glyphHeight,
 * glyphStride; six words. */
DRV_SINT(Text8FontInfo, usable, 0, 4);
#if defined(__i386__)
DRV_FIELD(Text8FontInfo, glyphs, 4, 4);
DRV_SINT(Text8FontInfo, nglyphs, 8, 4);
DRV_SINT(Text8FontInfo, glyphWidth, 12, 4);
DRV_SINT(Text8FontInfo, glyphHeight, 16, 4);
DRV_SINT(Text8FontInfo, glyphStride, 20, 4);
DRV_SIZE(Text8FontInfo, 24);
#endif

/* nfbFontPrivate: text8Info; fontId; two words. */
DRV_AT(nfbFontPrivate, text8Info, 0);
#if defined(__i386__)
DRV_FIELD(nfbFontPrivate, text8Info, 0, 4);
DRV_SINT(nfbFontPrivate, fontId, 4, 4);
DRV_SIZE(nfbFontPrivate, 8);
#endif

/* PointerFuncs: RealizeCursor, UnrealizeCursor, SetCursor, MoveCursor; four
 * slots. */
DRV_AT(PointerFuncs, RealizeCursor, 0);
#if defined(__i386__)
DRV_FIELD(PointerFuncs, RealizeCursor, 0, 4);
DRV_FIELD(PointerFuncs, UnrealizeCursor, 4, 4);
DRV_FIELD(PointerFuncs, SetCursor, 8, 4);
DRV_FIELD(PointerFuncs, MoveCursor, 12, 4);
DRV_SIZE(PointerFuncs, 16);
#endif

/* SpriteCursorFuncs: RealizeCursor, UnrealizeCursor, PutUpCursor,
 * SaveUnderCursor, RestoreUnderCursor, MoveCursor, ChangeSave; seven slots. */
DRV_AT(SpriteCursorFuncs, RealizeCursor, 0);
#if defined(__i386__)
DRV_FIELD(SpriteCursorFuncs, RealizeCursor, 0, 4);
DRV_FIELD(SpriteCursorFuncs, UnrealizeCursor, 4, 4);
DRV_FIELD(SpriteCursorFuncs, PutUpCursor, 8, 4);
DRV_FIELD(SpriteCursorFuncs, SaveUnderCursor, 12, 4);
DRV_FIELD(SpriteCursorFuncs, RestoreUnderCursor, 16, 4);
DRV_FIELD(SpriteCursorFuncs, MoveCursor, 20, 4);
DRV_FIELD(SpriteCursorFuncs, ChangeSave, 24, 4);
DRV_SIZE(SpriteCursorFuncs, 28);
#endif

/* ExtraGCOps: PolyZeroSeg; one slot. */
DRV_AT(ExtraGCOps, PolyZeroSeg, 0);
#if defined(__i386__)
DRV_FIELD(ExtraGCOps, PolyZeroSeg, 0, 4);
DRV_SIZE(ExtraGCOps, 4);
#endif

/* nfbGCPrivate: compositeClip, ops; fgPixel0; alu0 (a byte in a word of its
 * own); planemask0; fgPixel, bgPixel; alu (a byte in a word of its own);
 * planemask; patOrg (two 16-bit values); extraOps; eleven words. */
DRV_AT(nfbGCPrivate, compositeClip, 0);
#if defined(__i386__)
DRV_FIELD(nfbGCPrivate, compositeClip, 0, 4);
DRV_FIELD(nfbGCPrivate, ops, 4, 4);
DRV_UINT(nfbGCPrivate, fgPixel0, 8, 4);
DRV_UINT(nfbGCPrivate, alu0, 12, 1);
DRV_UINT(nfbGCPrivate, planemask0, 16, 4);
DRV_UINT(nfbGCPrivate, fgPixel, 20, 4);
DRV_UINT(nfbGCPrivate, bgPixel, 24, 4);
DRV_UINT(nfbGCPrivate, alu, 28, 1);
DRV_UINT(nfbGCPrivate, planemask, 32, 4);
DRV_FIELD(nfbGCPrivate, patOrg, 36, 4);
DRV_FIELD(nfbGCPrivate, extraOps, 40, 4);
DRV_SIZE(nfbGCPrivate, 44);
#endif

/* nfbWindowPrivate: ops; one word. */
DRV_AT(nfbWindowPrivate, ops, 0);
#if defined(__i386__)
DRV_FIELD(nfbWindowPrivate, ops, 0, 4);
DRV_SIZE(nfbWindowPrivate, 4);
#endif

/* nfbScreenPrivate: the nine-word screen pixmap header; layerOptions,
 * layerFlags; installedCmap, gcTemplate; SetColor, LoadColormap; layerWord0;
 * ClearFont; layerWord1; BlankScreen, ValidateWindowPriv; driverFlag;
 * twenty-one words. */
DRV_AT(nfbScreenPrivate, screenPixmap, 0);
#if defined(__i386__)
DRV_FIELD(nfbScreenPrivate, screenPixmap, 0, 36);
DRV_SINT(nfbScreenPrivate, layerOptions, 36, 4);
DRV_SINT(nfbScreenPrivate, layerFlags, 40, 4);
DRV_FIELD(nfbScreenPrivate, installedCmap, 44, 4);
DRV_FIELD(nfbScreenPrivate, gcTemplate, 48, 4);
DRV_FIELD(nfbScreenPrivate, SetColor, 52, 4);
DRV_FIELD(nfbScreenPrivate, LoadColormap, 56, 4);
DRV_FIELD(nfbScreenPrivate, layerWord0, 60, 4);
DRV_FIELD(nfbScreenPrivate, ClearFont, 64, 4);
DRV_FIELD(nfbScreenPrivate, layerWord1, 68, 4);
DRV_FIELD(nfbScreenPrivate, BlankScreen, 72, 4);
DRV_FIELD(nfbScreenPrivate, ValidateWindowPriv, 76, 4);
DRV_SINT(nfbScreenPrivate, driverFlag, 80, 4);
DRV_SIZE(nfbScreenPrivate, 84);
#endif

/* ---- The server's tables, by their extent ---- */

/* ddxBitSwap is 256 bytes, rop_needs_dst one byte per alu,
 * PixmapWidthPaddingInfo one entry per depth 0 to 32; ddxActiveScreens and
 * WindowTable one word per screen. */
DRV_STATIC_ASSERT(sizeof(ddxBitSwap) == 256, "ddxBitSwap is 256 bytes");
DRV_STATIC_ASSERT(sizeof(rop_needs_dst) == 16, "rop_needs_dst is a byte per alu");
DRV_STATIC_ASSERT(sizeof(PixmapWidthPaddingInfo) == 33 * 12,
                  "PixmapWidthPaddingInfo has an entry per depth 0 to 32");
#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(ddxActiveScreens) == 4 * MAXSCREENS,
                  "ddxActiveScreens is a word a screen");
DRV_STATIC_ASSERT(sizeof(WindowTable) == 4 * MAXSCREENS, "WindowTable is a word a screen");
#endif

#endif
