/*
 * rasmo: solid rectangles, spans, points and screen-to-screen copies on the
 * Mach32 engine, and the routines the operation records and the GC's own
 * vectors hold that still pass their requests to the server.
 *
 * Boxes use the extended rectangle (x start, x end, y end; the y end write
 * starts it), spans and points are horizontal runs started by the run
 * length. The FIFO is 16 entries deep: each routine waits once for its
 * set-up and first item, then once per batch of items sized to fill it, so
 * the status port is read once per batch rather than once per item.
 */
#include "rasmo.h"

/* ---- batches ---- */

/* The wait before item `i` (1 and on) of `count`, when it opens a batch:
 * a full batch waits for its writes, the last partial one for `restWait`. */
static void rasmoBatchWait(int i, int count, int batch, int perItem, int restWait) {
    if ((i - 1) % batch != 0)
        return;
    rasmoFifoSpaceWait(count - i >= batch ? batch * perItem : restWait);
}

/* ---- solid boxes ---- */

static void rasmoSolidSetup(Pixel fg, int alu, uint32_t planemask) {
    outw(DATA_PATH, DP_SOLID);
    outw(FRGD_COLOR, (uint16_t)fg);
    outw(FRGD_MIX, rasmoRasterOp[alu & 0xF]);
    outw(WRT_MASK, (uint16_t)planemask);
}

static void rasmoBox(const BoxRec *b) {
    outw(CUR_X, (uint16_t)b->x1);
    outw(DEST_X_START, (uint16_t)b->x1);
    outw(DEST_X_END, (uint16_t)b->x2);
    outw(CUR_Y, (uint16_t)b->y1);
    outw(DEST_Y_END, (uint16_t)b->y2);
}

#define BOX_WRITES 5
#define SOLID_SETUP_WRITES 4

static void rasmoSolidBoxes(const BoxRec *boxes, int count, Pixel fg, int alu, uint32_t planemask,
                            int batch, int restWait) {
    if (count <= 0)
        return;
    rasmoFifoSpaceWait(SOLID_SETUP_WRITES + BOX_WRITES);
    rasmoSolidSetup(fg, alu, planemask);
    rasmoBox(&boxes[0]);
    for (int i = 1; i < count; i++) {
        rasmoBatchWait(i, count, batch, BOX_WRITES, restWait);
        rasmoBox(&boxes[i]);
    }
}

void rasmoSolidFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    (void)pDraw;
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    rasmoSolidBoxes(boxes, count, gcPriv->fgPixel, gcPriv->alu, gcPriv->planemask, 3, 10);
}

void rasmoDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    (void)pDraw;
    rasmoSolidBoxes(boxes, count, fg, alu, planemask, 2, 5);
}

/* ---- runs: spans and points ---- */

#define RUN_WRITES 3
#define RUN_SETUP_WRITES 5

static void rasmoRun(int x, int y, int length) {
    outw(CUR_X, (uint16_t)x);
    outw(CUR_Y, (uint16_t)y);
    outw(RUN_LENGTH, (uint16_t)length);
}

void rasmoSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    (void)pDraw;
    if (count <= 0)
        return;
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    rasmoFifoSpaceWait(RUN_SETUP_WRITES + RUN_WRITES);
    outw(DATA_PATH, DP_SOLID);
    outw(LINE_OPTIONS, LINE_OPTIONS_RUN);
    outw(FRGD_COLOR, (uint16_t)gcPriv->fgPixel);
    outw(FRGD_MIX, rasmoRasterOp[gcPriv->alu & 0xF]);
    outw(WRT_MASK, (uint16_t)gcPriv->planemask);
    rasmoRun(starts[0].x, starts[0].y, widths[0]);
    for (int i = 1; i < count; i++) {
        rasmoBatchWait(i, count, 4, RUN_WRITES, 9);
        rasmoRun(starts[i].x, starts[i].y, widths[i]);
    }
}

static void rasmoPointSetup(Pixel fg, int alu, uint32_t planemask) {
    outw(DATA_PATH, DP_SOLID);
    outw(FRGD_COLOR, (uint16_t)fg);
    outw(FRGD_MIX, rasmoRasterOp[alu & 0xF]);
    outw(WRT_MASK, (uint16_t)planemask);
    outw(LINE_OPTIONS, LINE_OPTIONS_RUN);
}

void rasmoDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    (void)pDraw;
    if (count <= 0)
        return;
    rasmoFifoSpaceWait(RUN_SETUP_WRITES + RUN_WRITES);
    rasmoPointSetup(fg, alu, planemask);
    rasmoRun(points[0].x, points[0].y, 1);
    for (int i = 1; i < count; i++) {
        rasmoBatchWait(i, count, 5, RUN_WRITES, 12);
        rasmoRun(points[i].x, points[i].y, 1);
    }
}

/* ---- copies ---- */

void rasmoCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    (void)pDraw;
    const int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    const int sx = src->x, sy = src->y;
    /* An empty box would give the engine an empty source range, across
     * which it cannot step to the next source line. */
    if (w <= 0 || h <= 0)
        return;
    rasmoFifoSpaceWait(13);
    outw(DATA_PATH, DP_COPY);
    outw(FRGD_MIX, rasmoRasterOp[alu & 0xF]);
    outw(WRT_MASK, (uint16_t)planemask);
    /* An overlapping copy to the right must read each row from its right
     * end, one downwards each column from the bottom, or it reads what it
     * has just written. */
    if (sx < dst->x1) {
        outw(SRC_X, (uint16_t)(sx + w));
        outw(SRC_X_START, (uint16_t)(sx + w));
        outw(SRC_X_END, (uint16_t)sx);
        outw(CUR_X, (uint16_t)dst->x2);
        outw(DEST_X_START, (uint16_t)dst->x2);
        outw(DEST_X_END, (uint16_t)dst->x1);
    } else {
        outw(SRC_X, (uint16_t)sx);
        outw(SRC_X_START, (uint16_t)sx);
        outw(SRC_X_END, (uint16_t)(sx + w));
        outw(CUR_X, (uint16_t)dst->x1);
        outw(DEST_X_START, (uint16_t)dst->x1);
        outw(DEST_X_END, (uint16_t)dst->x2);
    }
    if (sy < dst->y1) {
        outw(SRC_Y, (uint16_t)(sy + h - 1));
        outw(SRC_Y_DIR, SRC_Y_UP);
        outw(CUR_Y, (uint16_t)(dst->y2 - 1));
        outw(DEST_Y_END, (uint16_t)(dst->y1 - 1));
    } else {
        outw(SRC_Y, (uint16_t)sy);
        outw(SRC_Y_DIR, SRC_Y_DOWN);
        outw(CUR_Y, (uint16_t)dst->y1);
        outw(DEST_Y_END, (uint16_t)dst->y2);
    }
}

/* ---- PrivOps slots still passed to the server ---- */

/* ---- the GC's own vector ---- */

/* The one rectangle of a composite clip the cache key promised. */
static BoxPtr rasmoClipBox(GCPtr pGC) {
    RegionPtr clip = NFB_GC_PRIV(pGC)->compositeClip;
    if (clip->data)
        return (BoxPtr)(clip->data + 1);
    return &clip->extents;
}

/* Spans arrive in screen coordinates; the scissors clip them to the GC's one
 * clip rectangle, and the clip goes back to the whole space afterwards for
 * the routines that rely on no clip. */
void rasmoFillSpans(DrawablePtr pDraw, GCPtr pGC, int nspans, DDXPointPtr starts, int *widths,
                    int sorted) {
    (void)sorted;
    if (nspans == 0)
        return;
    rasmoSetClip(rasmoClipBox(pGC), 1, pDraw);
    NFB_GC_PRIV(pGC)->ops->FS(pGC, pDraw, starts, widths, nspans);
    rasmoSetClip(0, 0, pDraw);
}

void rasmoPolyPoint(DrawablePtr pDraw, GCPtr pGC, int mode, int npt, DDXPointPtr points) {
    if (npt <= 0)
        return;
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    rasmoSetClip(rasmoClipBox(pGC), 1, pDraw);
    rasmoFifoSpaceWait(RUN_SETUP_WRITES + RUN_WRITES);
    rasmoPointSetup(gcPriv->fgPixel, gcPriv->alu, gcPriv->planemask);
    int x = points[0].x + pDraw->x, y = points[0].y + pDraw->y;
    rasmoRun(x, y, 1);
    for (int i = 1; i < npt; i++) {
        if (mode == CoordModePrevious) {
            x += points[i].x;
            y += points[i].y;
        } else {
            x = points[i].x + pDraw->x;
            y = points[i].y + pDraw->y;
        }
        rasmoBatchWait(i, npt, 4, RUN_WRITES, 9);
        rasmoRun(x, y, 1);
    }
    rasmoSetClip(0, 0, pDraw);
}
