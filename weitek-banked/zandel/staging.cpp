/*
 * Tile and opaque-stipple staging; see staging.h.
 */
#include "staging.h"

#define STAGING_ALL_PLANES 0xFFFFFFFFu
/* Boxes at most this many lines high under a pattern larger than this on
 * both sides are cheaper drawn by the generic routine. */
#define STAGING_FLAT_LINES 2
#define STAGING_LARGE_PATTERN 60

/* Alus whose result does not depend on the destination, so a filled piece
 * may be replicated over the rest of a box. GXinvert reads the
 * destination: replicating its first piece would copy that piece's result,
 * not invert what lies under the rest. */
static int stagingSimpleAlu(int alu) {
    return alu == GXclear || alu == GXcopy || alu == GXcopyInverted || alu == GXset;
}

static int stagingMax(int a, int b) {
    return a > b ? a : b;
}

static int stagingMin(int a, int b) {
    return a < b ? a : b;
}

/* v mod m, made non-negative. */
static int stagingPhase(int v, int m) {
    int r = v % m;
    return r < 0 ? r + m : r;
}

void TileStagingAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu, uint32_t planemask,
                                DrawablePtr pDraw, CopyRectProc copy) {
    for (int x = box->x1; x < box->x2; x += piece) {
        BoxRec part = {(int16_t)x, box->y1, (int16_t)stagingMin(x + piece, box->x2), box->y2};
        DDXPointRec from = *src;
        copy(&part, &from, alu, planemask, pDraw);
    }
}

void TileStagingAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                         uint32_t planemask, DrawablePtr pDraw, CopyRectProc copy) {
    for (int y = box->y1; y < box->y2; y += band) {
        BoxRec part = {box->x1, (int16_t)y, box->x2, (int16_t)stagingMin(y + band, box->y2)};
        TileStagingAreaSlowXExpand(&part, src, piece, alu, planemask, pDraw, copy);
    }
}

int TileStaging(const TileStagingRequest *req, const TileStagingOps *ops, DrawablePtr pDraw) {
    const int tw = req->pattern.width, th = req->pattern.height, n = req->n;
    const TileStagingArea *area = &req->area;
    if (tw <= 0 || th <= 0 || n <= 0)
        return 0;
    if (area->width < 2 * tw || area->height < 2 * th || (n == 1 && stagingSimpleAlu(req->alu)))
        return 0;

    /* A sample of the boxes sizes the staged area. */
    const int samples[3] = {0, n / 2, n - 1};
    int widest = tw, tallest = th, tallestOwn = 0;
    for (int i = 0; i < 3; i++) {
        const BoxRec *b = &req->boxes[samples[i]];
        const int h = b->y2 > b->y1 ? b->y2 - b->y1 : 0;
        widest = stagingMax(widest, b->x2 - b->x1);
        tallest = stagingMax(tallest, h);
        tallestOwn = stagingMax(tallestOwn, h);
    }
    widest = stagingMin(widest, area->width);
    tallest = stagingMin(tallest, area->height);
    if (tallestOwn <= STAGING_FLAT_LINES && tw > STAGING_LARGE_PATTERN &&
        th > STAGING_LARGE_PATTERN)
        return 0;
    int W = stagingMax(tw * (widest / tw), 2 * tw);
    int H = stagingMax(th * (tallest / th), 2 * th);

    /* Staging writes off the screen: a window's clip would cut it. */
    ops->SetClip(nullptr, 0, pDraw);
    BoxRec cell = {(int16_t)area->x, (int16_t)area->y, (int16_t)(area->x + tw),
                   (int16_t)(area->y + th)};
    ops->DrawPattern(&cell, &req->pattern, pDraw);
    BoxRec staged = {(int16_t)area->x, (int16_t)area->y, (int16_t)(area->x + W),
                     (int16_t)(area->y + H)};
    nfbReplicateArea(&staged, tw, th, STAGING_ALL_PLANES, pDraw);
    if (req->clip != nullptr) {
        BoxRec clip = *req->clip;
        ops->SetClip(&clip, 1, pDraw);
    }

    /* The staged area less one pattern each way: every phase of a copy
     * source stays inside it. */
    W -= tw;
    H -= th;
    for (int i = 0; i < n; i++) {
        BoxRec box = req->boxes[i];
        const int w = box.x2 - box.x1, h = box.y2 - box.y1;
        if (w <= 0 || h <= 0)
            continue;
        DDXPointRec src = {(int16_t)(area->x + stagingPhase(box.x1 - req->origin.x, tw)),
                           (int16_t)(area->y + stagingPhase(box.y1 - req->origin.y, th))};
        if (w < W && h < H) {
            ops->CopyRect(&box, &src, req->alu, req->planemask, pDraw);
        } else if (stagingSimpleAlu(req->alu)) {
            const int pw = stagingMin(w, W), ph = stagingMin(h, H);
            BoxRec piece = {box.x1, box.y1, (int16_t)(box.x1 + pw), (int16_t)(box.y1 + ph)};
            ops->CopyRect(&piece, &src, req->alu, req->planemask, pDraw);
            nfbReplicateArea(&box, pw, ph, req->planemask, pDraw);
        } else {
            ops->AreaSlow(&box, &src, H, W, req->alu, req->planemask, pDraw);
        }
    }
    return 1;
}
