/*
 * rasmo: zero-width lines, segments and rectangle outlines on the Mach32
 * engine, solid and dashed.
 *
 * Horizontal, vertical and 45-degree segments are runs (a direction code and
 * a step count from the current position); any other segment is handed to
 * the engine by its end points. Dashes come from the engine's 32-bit
 * monochrome pattern, whose index runs on from run to run. The engine's
 * coordinates reach -512 to 1535 only: whatever lies outside, or a dash
 * pattern it cannot hold, goes to the server's routine.
 */
#include "rasmo.h"

/* ---- line options (LINE_OPTIONS) ---- */

#define LINE_RUN 0x0008
#define LINE_NO_LAST 0x0004
#define LINE_DASHED 0x0400
#define LINE_DIR_SHIFT 5
#define LINE_X_UP 0x0020 /* lines from error terms */
#define LINE_Y_UP 0x0080
#define LINE_AXIS_SHIFT 6

/* Run directions (bits 5-7); y grows downwards. */
#define DIR_E 0x00
#define DIR_NE 0x20
#define DIR_N 0x40
#define DIR_NW 0x60
#define DIR_W 0x80
#define DIR_SW 0xA0
#define DIR_S 0xC0
#define DIR_SE 0xE0

#define POLY_BASE (LINE_RUN | LINE_NO_LAST | 0x200) /* 0x20C */
#define SEG_BASE_NOT_LAST 0x20C
#define SEG_BASE_LAST 0x208
#define DASH_BASE (POLY_BASE | LINE_DASHED) /* 0x60C */

/* Rectangle sides: runs without their end pixels, clockwise. */
#define SIDE_RIGHT (LINE_RUN | LINE_NO_LAST | DIR_E) /* 12 */
#define SIDE_DOWN (LINE_RUN | LINE_NO_LAST | DIR_S)  /* 204 */
#define SIDE_LEFT (LINE_RUN | LINE_NO_LAST | DIR_W)  /* 140 */
#define SIDE_UP (LINE_RUN | LINE_NO_LAST | DIR_N)    /* 76 */

/* The engine's coordinate window. */
#define COORD_MIN (-512)
#define COORD_MAX 1535

/* Engine error-term registers of lines with host terms. */
#define ERR_TERM 0x92E8
#define AXIAL_STEP 0x8AE8    /* e1: added after an axial step */
#define DIAGONAL_STEP 0x8EE8 /* e2: added after a diagonal step */
#define ERR_MIN (-4096)
#define ERR_MAX 4095

/* Lines by end points: a rewind, then x1, y1, x2, y2. */
#define END_POINT_REWIND 0x9AEE
#define LINE_END_POINTS 0xFEEE

#define PATTERN_BITS 32
#define PATTERN_HALF 16
#define GX_NOOP 5
#define CAP_NOT_LAST 0
#define LINE_DOUBLE_DASH 2

/* FIFO entries of each step. */
#define RUN_WAIT 4
#define END_POINT_WAIT 5
#define SOLID_LINE_SETUP 5
#define SOLID_RECT_SETUP 4
#define RECT_WAIT 10
#define ZERO_SEG_SETUP 4
#define ZERO_SEG_ENGINE 7
#define PIXEL_RUN_WAIT 3

/* ---- helpers ---- */

static int rasmoInWindow(int v) {
    return v >= COORD_MIN && v <= COORD_MAX;
}

/* The one rectangle of a composite clip the cache key promised. */
static BoxPtr rasmoLineClip(GCPtr pGC) {
    RegionPtr clip = NFB_GC_PRIV(pGC)->compositeClip;
    return clip->data ? (BoxPtr)(clip->data + 1) : &clip->extents;
}

static void rasmoColours(nfbGCPrivPtr gcPriv) {
    outw(FRGD_COLOR, (uint16_t)gcPriv->fgPixel);
    outw(FRGD_MIX, rasmoRasterOp[gcPriv->alu & 0xF]);
}

static void rasmoSolidLineSetup(nfbGCPrivPtr gcPriv) {
    outw(DATA_PATH, DP_SOLID);
    rasmoColours(gcPriv);
    outw(WRT_MASK, (uint16_t)gcPriv->planemask);
}

static void rasmoPosition(int x, int y) {
    outw(CUR_X, (uint16_t)x);
    outw(CUR_Y, (uint16_t)y);
}

static void rasmoRunFrom(int option, int count) {
    outw(LINE_OPTIONS, (uint16_t)option);
    outw(RUN_LENGTH, (uint16_t)count);
}

static void rasmoEndPoints(int x1, int y1, int x2, int y2) {
    outw(END_POINT_REWIND, 0);
    outw(LINE_END_POINTS, (uint16_t)x1);
    outw(LINE_END_POINTS, (uint16_t)y1);
    outw(LINE_END_POINTS, (uint16_t)x2);
    outw(LINE_END_POINTS, (uint16_t)y2);
}

/* The run direction and step count from (0, 0) to (dx, dy) when that is a
 * run; 0 otherwise. */
static int rasmoRunDir(int dx, int dy, int *dir, int *count) {
    if (dy == 0) {
        *dir = dx >= 0 ? DIR_E : DIR_W;
        *count = dx >= 0 ? dx : -dx;
    } else if (dx == 0) {
        *dir = dy > 0 ? DIR_S : DIR_N;
        *count = dy > 0 ? dy : -dy;
    } else if (dy == dx) {
        *dir = dy > 0 ? DIR_SE : DIR_NW;
        *count = dy > 0 ? dy : -dy;
    } else if (dy == -dx) {
        *dir = dy > 0 ? DIR_SW : DIR_NE;
        *count = dy > 0 ? dy : dx;
    } else {
        return 0;
    }
    return 1;
}

/* One segment of a polyline. A run starts from the current position, which
 * each segment leaves at its end point: only the first sets it. */
static void rasmoPolySegment(int base, int first, int x1, int y1, int x2, int y2) {
    int dir, count;
    if (rasmoRunDir(x2 - x1, y2 - y1, &dir, &count)) {
        rasmoFifoSpaceWait(RUN_WAIT);
        if (first)
            rasmoPosition(x1, y1);
        rasmoRunFrom(base + dir, count);
    } else {
        rasmoFifoSpaceWait(END_POINT_WAIT);
        rasmoEndPoints(x1, y1, x2, y2);
    }
}

/* The next point of a polyline in screen coordinates. */
static void rasmoNextPoint(int mode, DDXPointPtr pt, DrawablePtr pDraw, int *x, int *y) {
    if (mode == CoordModePrevious) {
        *x += pt->x;
        *y += pt->y;
    } else {
        *x = pt->x + pDraw->x;
        *y = pt->y + pDraw->y;
    }
}

/* Hands the rest of a polyline, from point `from` on, to `fallback`: in
 * mode 1 the start point is given in drawable coordinates for the while of
 * the call, and the caller's list is as it was afterwards. */
static void rasmoLineRest(GCPolylinesProc fallback, DrawablePtr pDraw, GCPtr pGC, int mode, int npt,
                          DDXPointPtr points, int from, int x, int y) {
    DDXPointPtr start = &points[from];
    DDXPointRec saved = *start;
    if (mode == CoordModePrevious) {
        start->x = (int16_t)(x - pDraw->x);
        start->y = (int16_t)(y - pDraw->y);
    }
    fallback(pDraw, pGC, mode, npt - from, start);
    *start = saved;
}

/* The polyline's last pixel: drawn unless the cap style is not-last or the
 * polyline closes on its first point (two points always count as open). */
static int rasmoLineEndPixel(GCPtr pGC, int mode, int npt, DDXPointPtr points) {
    if (pGC->capStyle == CAP_NOT_LAST)
        return 0;
    if (npt == 2)
        return 1;
    int x = points[0].x, y = points[0].y;
    if (mode == CoordModePrevious) {
        for (int i = 1; i < npt; i++) {
            x += points[i].x;
            y += points[i].y;
        }
        return x != points[0].x || y != points[0].y;
    }
    return points[npt - 1].x != x || points[npt - 1].y != y;
}

/* ---- the dash pattern ---- */

typedef struct {
    uint32_t bits; /* pixel i at bit 7 - i % 8 of byte i / 8 */
    int length;
    int offset;
} rasmoDash;

/* The engine pattern of the GC's dashes. A list of odd length would pair
 * its elements wrongly (and one element gives no length to reduce the
 * offset by), and more than 32 pixels do not fit: 0 sends such GCs to the
 * server's routine. */
static int rasmoBuildDash(GCPtr pGC, rasmoDash *dash) {
    const int n = pGC->numInDashList;
    if (n == 0 || (n & 1) || !pGC->dash)
        return 0;
    uint32_t bits = 0;
    int sum = 0;
    for (int i = n - 2; i >= 0; i -= 2) {
        const int on = pGC->dash[i], off = pGC->dash[i + 1];
        sum += on + off;
        if (sum > PATTERN_BITS)
            return 0;
        bits = (on + off >= PATTERN_BITS ? 0 : bits << (on + off)) |
               (on >= PATTERN_BITS ? 0xFFFFFFFFu : (1u << on) - 1);
    }
    if (sum == 0)
        return 0;
    uint32_t swapped = 0;
    const int bytes = sum >= PATTERN_HALF ? 4 : 2;
    for (int b = 0; b < 4; b++) {
        uint32_t byte = (bits >> (8 * b)) & 0xFF;
        if (b < bytes)
            byte = ddxBitSwap[byte];
        swapped |= byte << (8 * b);
    }
    dash->bits = swapped;
    dash->length = sum;
    dash->offset = pGC->dashOffset >= sum ? pGC->dashOffset % sum : pGC->dashOffset;
    return 1;
}

/* The dashed set-up after the clip: `base` 0 for rectangles (no options),
 * `withIndex` for polylines, whose pattern index is set once. */
static void rasmoDashSetup(GCPtr pGC, const rasmoDash *dash, int wait, int base, int withIndex) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    const uint16_t mix = rasmoRasterOp[gcPriv->alu & 0xF];
    rasmoFifoSpaceWait(wait);
    outw(DATA_PATH, DP_MONO_PATTERN);
    outw(FRGD_COLOR, (uint16_t)gcPriv->fgPixel);
    outw(FRGD_MIX, mix);
    if (pGC->lineStyle == LINE_DOUBLE_DASH) {
        outw(BKGD_COLOR, (uint16_t)gcPriv->bgPixel);
        outw(BKGD_MIX, mix);
    } else {
        /* The gaps are left as they are. */
        outw(BKGD_MIX, rasmoRasterOp[GX_NOOP]);
    }
    outw(WRT_MASK, (uint16_t)gcPriv->planemask);
    if (base)
        outw(LINE_OPTIONS, (uint16_t)base);
    outw(PATT_LENGTH, (uint16_t)(dash->length - 1));
    if (withIndex)
        outw(PATT_INDEX, (uint16_t)dash->offset);
    outw(PATT_DATA_INDEX, PATT_INDEX_MONO);
    outw(PATT_DATA, (uint16_t)dash->bits);
    if (dash->length >= PATTERN_HALF)
        outw(PATT_DATA, (uint16_t)(dash->bits >> 16));
}

/* ---- the ZeroSeg slot ---- */

void rasmoSolidZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                       int y1, int e, int e1, int e2, int len) {
    (void)pDraw;
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    rasmoFifoSpaceWait(ZERO_SEG_SETUP);
    rasmoSolidLineSetup(gcPriv);
    if (e >= ERR_MIN && e <= ERR_MAX && e1 >= 0 && e1 <= ERR_MAX && e2 >= ERR_MIN && e2 <= 0) {
        int option = (axis << LINE_AXIS_SHIFT) | LINE_NO_LAST;
        if (signdx > 0)
            option |= LINE_X_UP;
        if (signdy > 0)
            option |= LINE_Y_UP;
        rasmoFifoSpaceWait(ZERO_SEG_ENGINE);
        outw(LINE_OPTIONS, (uint16_t)option);
        outw(ERR_TERM, (uint16_t)e);
        outw(AXIAL_STEP, (uint16_t)e1);
        outw(DIAGONAL_STEP, (uint16_t)e2);
        rasmoPosition(x1, y1);
        outw(RUN_LENGTH, (uint16_t)len);
        return;
    }
    /* Terms the engine's registers cannot hold: pixel by pixel. */
    int x = x1, y = y1;
    rasmoFifoSpaceWait(RUN_WAIT);
    outw(LINE_OPTIONS, LINE_OPTIONS_RUN);
    rasmoPosition(x, y);
    outw(RUN_LENGTH, 1);
    for (int i = 1; i < len; i++) {
        if (e > 0) {
            x += signdx;
            y += signdy;
            e += e2;
        } else {
            if (axis == 0)
                x += signdx;
            else
                y += signdy;
            e += e1;
        }
        rasmoFifoSpaceWait(PIXEL_RUN_WAIT);
        rasmoPosition(x, y);
        outw(RUN_LENGTH, 1);
    }
}

/* ---- polylines ---- */

/* Solid (`dash` null) or dashed polylines. */
static void rasmoLine(DrawablePtr pDraw, GCPtr pGC, int mode, int npt, DDXPointPtr points,
                      const rasmoDash *dash, GCPolylinesProc fallback) {
    int x = points[0].x + pDraw->x, y = points[0].y + pDraw->y;
    if (!rasmoInWindow(x) || !rasmoInWindow(y)) {
        fallback(pDraw, pGC, mode, npt, points);
        return;
    }
    const int base = dash ? DASH_BASE : POLY_BASE;
    rasmoSetClip(rasmoLineClip(pGC), 1, pDraw);
    if (dash) {
        rasmoDashSetup(pGC, dash, 12, base, 1);
    } else {
        rasmoFifoSpaceWait(SOLID_LINE_SETUP);
        rasmoSolidLineSetup(NFB_GC_PRIV(pGC));
        outw(LINE_OPTIONS, (uint16_t)base);
    }
    for (int i = 1; i < npt; i++) {
        int nx = x, ny = y;
        rasmoNextPoint(mode, &points[i], pDraw, &nx, &ny);
        if (!rasmoInWindow(nx) || !rasmoInWindow(ny)) {
            rasmoSetClip(0, 0, pDraw);
            if (dash) {
                /* The dashes go on where the engine stopped. */
                rasmoEngineIdleWait();
                const uint16_t saved = pGC->dashOffset;
                pGC->dashOffset = inw(PATT_INDEX);
                rasmoLineRest(fallback, pDraw, pGC, mode, npt, points, i - 1, x, y);
                pGC->dashOffset = saved;
            } else {
                rasmoLineRest(fallback, pDraw, pGC, mode, npt, points, i - 1, x, y);
            }
            return;
        }
        rasmoPolySegment(base, i == 1, x, y, nx, ny);
        x = nx;
        y = ny;
    }
    if (rasmoLineEndPixel(pGC, mode, npt, points)) {
        rasmoFifoSpaceWait(1);
        outw(RUN_LENGTH, 1);
    }
    rasmoSetClip(0, 0, pDraw);
}

void rasmoLineSS(DrawablePtr pDraw, GCPtr pGC, int mode, int npt, DDXPointPtr points) {
    if (npt < 2)
        return;
    rasmoLine(pDraw, pGC, mode, npt, points, 0, nfbLineSS);
}

void rasmoLineSD(DrawablePtr pDraw, GCPtr pGC, int mode, int npt, DDXPointPtr points) {
    if (npt < 2)
        return;
    rasmoDash dash;
    if (!rasmoBuildDash(pGC, &dash)) {
        nfbLineSD(pDraw, pGC, mode, npt, points);
        return;
    }
    rasmoLine(pDraw, pGC, mode, npt, points, &dash, nfbLineSD);
}

/* ---- segments ---- */

static void rasmoSegments(DrawablePtr pDraw, GCPtr pGC, int nseg, xSegment *segs,
                          const rasmoDash *dash, GCPolySegmentProc fallback) {
    int base = pGC->capStyle == CAP_NOT_LAST ? SEG_BASE_NOT_LAST : SEG_BASE_LAST;
    if (dash)
        base |= LINE_DASHED;
    rasmoSetClip(rasmoLineClip(pGC), 1, pDraw);
    if (dash) {
        rasmoDashSetup(pGC, dash, 11, base, 0);
    } else {
        rasmoFifoSpaceWait(SOLID_LINE_SETUP);
        rasmoSolidLineSetup(NFB_GC_PRIV(pGC));
        outw(LINE_OPTIONS, (uint16_t)base);
    }
    const int extra = dash ? 1 : 0;
    for (int i = 0; i < nseg; i++) {
        const int x1 = segs[i].x1 + pDraw->x, y1 = segs[i].y1 + pDraw->y;
        const int x2 = segs[i].x2 + pDraw->x, y2 = segs[i].y2 + pDraw->y;
        if (!rasmoInWindow(x1) || !rasmoInWindow(y1) || !rasmoInWindow(x2) || !rasmoInWindow(y2)) {
            rasmoSetClip(0, 0, pDraw);
            fallback(pDraw, pGC, nseg - i, &segs[i]);
            return;
        }
        int dir, count;
        const int run = rasmoRunDir(x2 - x1, y2 - y1, &dir, &count);
        rasmoFifoSpaceWait((run ? RUN_WAIT : END_POINT_WAIT) + extra);
        if (dash)
            outw(PATT_INDEX, (uint16_t)dash->offset);
        if (run) {
            rasmoPosition(x1, y1);
            rasmoRunFrom(base + dir, count);
        } else {
            rasmoEndPoints(x1, y1, x2, y2);
        }
    }
    rasmoSetClip(0, 0, pDraw);
}

void rasmoSegmentSS(DrawablePtr pDraw, GCPtr pGC, int nseg, xSegment *segs) {
    if (nseg <= 0)
        return;
    rasmoSegments(pDraw, pGC, nseg, segs, 0, nfbSegmentSS);
}

void rasmoSegmentSD(DrawablePtr pDraw, GCPtr pGC, int nseg, xSegment *segs) {
    if (nseg <= 0)
        return;
    rasmoDash dash;
    if (!rasmoBuildDash(pGC, &dash)) {
        nfbSegmentSD(pDraw, pGC, nseg, segs);
        return;
    }
    rasmoSegments(pDraw, pGC, nseg, segs, &dash, nfbSegmentSD);
}

/* ---- rectangles ---- */

static void rasmoRectangles(DrawablePtr pDraw, GCPtr pGC, int nrects, xRectangle *rects,
                            const rasmoDash *dash, GCPolyRectangleProc fallback) {
    rasmoSetClip(rasmoLineClip(pGC), 1, pDraw);
    if (dash) {
        rasmoDashSetup(pGC, dash, 10, 0, 0);
    } else {
        rasmoFifoSpaceWait(SOLID_RECT_SETUP);
        rasmoSolidLineSetup(NFB_GC_PRIV(pGC));
    }
    for (int i = 0; i < nrects; i++) {
        const int x = rects[i].x + pDraw->x, y = rects[i].y + pDraw->y;
        const int w = rects[i].width, h = rects[i].height;
        if (w == 0 || h == 0 || !rasmoInWindow(x) || !rasmoInWindow(y) || x + w > COORD_MAX ||
            y + h > COORD_MAX) {
            rasmoSetClip(0, 0, pDraw);
            fallback(pDraw, pGC, nrects - i, &rects[i]);
            return;
        }
        rasmoFifoSpaceWait(RECT_WAIT + (dash ? 1 : 0));
        if (dash)
            outw(PATT_INDEX, (uint16_t)dash->offset);
        rasmoPosition(x, y);
        rasmoRunFrom(SIDE_RIGHT, w);
        rasmoRunFrom(SIDE_DOWN, h);
        rasmoRunFrom(SIDE_LEFT, w);
        rasmoRunFrom(SIDE_UP, h);
    }
    rasmoSetClip(0, 0, pDraw);
}

void rasmoRectangleSS(DrawablePtr pDraw, GCPtr pGC, int nrects, xRectangle *rects) {
    if (nrects < 1)
        return;
    rasmoRectangles(pDraw, pGC, nrects, rects, 0, nfbPolyRectangle);
}

void rasmoRectangleSD(DrawablePtr pDraw, GCPtr pGC, int nrects, xRectangle *rects) {
    if (nrects < 1)
        return;
    rasmoDash dash;
    if (!rasmoBuildDash(pGC, &dash)) {
        miPolyRectangle(pDraw, pGC, nrects, rects);
        return;
    }
    rasmoRectangles(pDraw, pGC, nrects, rects, &dash, miPolyRectangle);
}
