/*
 * The X server's own GC operation vector, for a driver that builds it
 * itself instead of handing the frame-buffer layer PrivOps records, and the
 * routines such a vector holds: the frame-buffer layer's GC operations, the
 * machine-independent ones and the monochrome frame buffer's PushPixels.
 * Coordinates are relative to the drawable and not yet clipped; each
 * routine clips to the GC's composite clip itself.
 */
#ifndef DRV_GCOPS_H
#define DRV_GCOPS_H

#include <stdint.h>

#include "x11.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _xRectangle {
    int16_t x, y;
    uint16_t width, height;
} xRectangle;

typedef struct _xArc {
    int16_t x, y;
    uint16_t width, height;
    int16_t angle1, angle2; /* 64ths of a degree */
} xArc;

/* A glyph's metrics record in the server's font; opaque to the drivers. */
typedef struct _CharInfo *CharInfoPtr;

/* Polylines and PolyPoint modes. */
enum { CoordModeOrigin = 0, CoordModePrevious = 1 };

typedef void (*GCFillSpansProc)(DrawablePtr, GCPtr, int nspans, DDXPointPtr starts, int *widths,
                                int sorted);
typedef void (*GCSetSpansProc)(DrawablePtr, GCPtr, char *src, DDXPointPtr starts, int *widths,
                               int nspans, int sorted);
typedef void (*GCPutImageProc)(DrawablePtr, GCPtr, int depth, int x, int y, int w, int h,
                               int leftPad, int format, char *bits);
typedef RegionPtr (*GCCopyAreaProc)(DrawablePtr src, DrawablePtr dst, GCPtr, int srcx, int srcy,
                                    int w, int h, int dstx, int dsty);
typedef RegionPtr (*GCCopyPlaneProc)(DrawablePtr src, DrawablePtr dst, GCPtr, int srcx, int srcy,
                                     int w, int h, int dstx, int dsty, uint32_t bitPlane);
typedef void (*GCPolyPointProc)(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
typedef void (*GCPolylinesProc)(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
typedef void (*GCPolySegmentProc)(DrawablePtr, GCPtr, int nseg, xSegment *segs);
typedef void (*GCPolyRectangleProc)(DrawablePtr, GCPtr, int nrects, xRectangle *rects);
typedef void (*GCPolyArcProc)(DrawablePtr, GCPtr, int narcs, xArc *arcs);
typedef void (*GCFillPolygonProc)(DrawablePtr, GCPtr, int shape, int mode, int count,
                                  DDXPointPtr points);
typedef void (*GCPolyFillRectProc)(DrawablePtr, GCPtr, int nrects, xRectangle *rects);
typedef void (*GCPolyFillArcProc)(DrawablePtr, GCPtr, int narcs, xArc *arcs);
typedef int (*GCPolyText8Proc)(DrawablePtr, GCPtr, int x, int y, int count, char *chars);
typedef int (*GCPolyText16Proc)(DrawablePtr, GCPtr, int x, int y, int count, uint16_t *chars);
typedef void (*GCImageText8Proc)(DrawablePtr, GCPtr, int x, int y, int count, char *chars);
typedef void (*GCImageText16Proc)(DrawablePtr, GCPtr, int x, int y, int count, uint16_t *chars);
typedef void (*GCGlyphBltProc)(DrawablePtr, GCPtr, int x, int y, unsigned int nglyph,
                               CharInfoPtr *glyphs, void *glyphBase);
typedef void (*GCPushPixelsProc)(GCPtr, PixmapPtr bitmap, DrawablePtr, int w, int h, int x, int y);
typedef void (*GCLineHelperProc)(void);

/* The GC's `ops`: 21 routines in this order. */
typedef struct _GCOps {
    GCFillSpansProc FillSpans;
    GCSetSpansProc SetSpans;
    GCPutImageProc PutImage;
    GCCopyAreaProc CopyArea;
    GCCopyPlaneProc CopyPlane;
    GCPolyPointProc PolyPoint;
    GCPolylinesProc Polylines;
    GCPolySegmentProc PolySegment;
    GCPolyRectangleProc PolyRectangle;
    GCPolyArcProc PolyArc;
    GCFillPolygonProc FillPolygon;
    GCPolyFillRectProc PolyFillRect;
    GCPolyFillArcProc PolyFillArc;
    GCPolyText8Proc PolyText8;
    GCPolyText16Proc PolyText16;
    GCImageText8Proc ImageText8;
    GCImageText16Proc ImageText16;
    GCGlyphBltProc ImageGlyphBlt;
    GCGlyphBltProc PolyGlyphBlt;
    GCPushPixelsProc PushPixels;
    GCLineHelperProc LineHelper;
} GCOps;

/* ---- the frame-buffer layer's GC operations ---- */

void nfbFillSpans(DrawablePtr, GCPtr, int nspans, DDXPointPtr starts, int *widths, int sorted);
void nfbSetSpans(DrawablePtr, GCPtr, char *src, DDXPointPtr starts, int *widths, int nspans,
                 int sorted);
void nfbPutImage(DrawablePtr, GCPtr, int depth, int x, int y, int w, int h, int leftPad, int format,
                 char *bits);
RegionPtr nfbCopyArea(DrawablePtr src, DrawablePtr dst, GCPtr, int srcx, int srcy, int w, int h,
                      int dstx, int dsty);
RegionPtr nfbCopyPlane(DrawablePtr src, DrawablePtr dst, GCPtr, int srcx, int srcy, int w, int h,
                       int dstx, int dsty, uint32_t bitPlane);
void nfbPolyPoint(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
void nfbPolyFillRect(DrawablePtr, GCPtr, int nrects, xRectangle *rects);
void nfbImageGlyphBlt(DrawablePtr, GCPtr, int x, int y, unsigned int nglyph, CharInfoPtr *glyphs,
                      void *glyphBase);
void nfbPushPixels(GCPtr, PixmapPtr bitmap, DrawablePtr, int w, int h, int x, int y);
void nfbLineSS(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
void nfbSegmentSS(DrawablePtr, GCPtr, int nseg, xSegment *segs);
void nfbPolyRectangle(DrawablePtr, GCPtr, int nrects, xRectangle *rects);
void nfbLineSD(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
void nfbSegmentSD(DrawablePtr, GCPtr, int nseg, xSegment *segs);
void nfbZeroPolyArc(DrawablePtr, GCPtr, int narcs, xArc *arcs);
void nfbSolidPolyGlyphBlt(DrawablePtr, GCPtr, int x, int y, unsigned int nglyph,
                          CharInfoPtr *glyphs, void *glyphBase);
int nfbPolyTEText8(DrawablePtr, GCPtr, int x, int y, int count, char *chars);
void nfbImageTEText8(DrawablePtr, GCPtr, int x, int y, int count, char *chars);

/* ---- the machine-independent GC operations ---- */

void miWideLine(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
void miWideDash(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
void miZeroLine(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
void miPolySegment(DrawablePtr, GCPtr, int nseg, xSegment *segs);
void miPolyRectangle(DrawablePtr, GCPtr, int nrects, xRectangle *rects);
void miPolyArc(DrawablePtr, GCPtr, int narcs, xArc *arcs);
void miZeroPolyArc(DrawablePtr, GCPtr, int narcs, xArc *arcs);
void miFillPolygon(DrawablePtr, GCPtr, int shape, int mode, int count, DDXPointPtr points);
void miPolyFillArc(DrawablePtr, GCPtr, int narcs, xArc *arcs);
int miPolyText8(DrawablePtr, GCPtr, int x, int y, int count, char *chars);
int miPolyText16(DrawablePtr, GCPtr, int x, int y, int count, uint16_t *chars);
void miImageText8(DrawablePtr, GCPtr, int x, int y, int count, char *chars);
void miImageText16(DrawablePtr, GCPtr, int x, int y, int count, uint16_t *chars);
void miPolyGlyphBlt(DrawablePtr, GCPtr, int x, int y, unsigned int nglyph, CharInfoPtr *glyphs,
                    void *glyphBase);
void miMiter(void);

/* ---- the monochrome frame buffer ---- */

void mfbPushPixels(GCPtr, PixmapPtr bitmap, DrawablePtr, int w, int h, int x, int y);

#ifdef __cplusplus
}
#endif

/* ---- layouts ---- */

#include "layout.h"

DRV_SINT(xRectangle, x, 0, 2);
DRV_SINT(xRectangle, y, 2, 2);
DRV_UINT(xRectangle, width, 4, 2);
DRV_UINT(xRectangle, height, 6, 2);
DRV_SIZE(xRectangle, 8);
DRV_SINT(xArc, x, 0, 2);
DRV_SINT(xArc, y, 2, 2);
DRV_UINT(xArc, width, 4, 2);
DRV_UINT(xArc, height, 6, 2);
DRV_SINT(xArc, angle1, 8, 2);
DRV_SINT(xArc, angle2, 10, 2);
DRV_SIZE(xArc, 12);
/* GCOps: 21 routine pointers, FillSpans first, LineHelper last. */
DRV_AT(GCOps, FillSpans, 0);
DRV_SIZE(GCOps, 21 * sizeof(void (*)(void)));
#if defined(__i386__)
DRV_FIELD(GCOps, PolyPoint, 20, 4);
DRV_FIELD(GCOps, PolyFillRect, 44, 4);
DRV_FIELD(GCOps, PushPixels, 76, 4);
DRV_FIELD(GCOps, LineHelper, 80, 4);
DRV_SIZE(GCOps, 84);
#endif

#endif
