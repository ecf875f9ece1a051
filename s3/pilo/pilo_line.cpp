/*
 * pilo: solid zero-width segments drawn by the engine's line command from
 * the Bresenham terms the server computes, at depth 4 and 8 and in the two
 * byte halves of depth 16.
 */
#include "pilo.h"

void piloLine(int x1, int y1, int e, int e1, int e2, int len, int code, Pixel fg,
              uint32_t planemask, uint16_t command) {
    FifoSpaceWait(5);
    piloOut(PILO_WRITE_MASK, planemask);
    piloOut(PILO_READ_MASK, 0xFF);
    piloOut(PILO_MULTI, PIXCNTL_FOREGROUND);
    piloOut(PILO_FG_MIX, (uint32_t)code | MIX_SRC_FOREGROUND);
    piloOut(PILO_FG_COLOUR, fg);
    FifoSpaceWait(7);
    piloOutPos(PILO_CUR_X, x1);
    piloOutPos(PILO_CUR_Y, y1);
    piloOut(PILO_ERR_TERM, (uint32_t)e);
    piloOut(PILO_DEST_Y, (uint32_t)e1);
    piloOut(PILO_DEST_X, (uint32_t)e2);
    piloOut(PILO_MAJ_AXIS, (uint32_t)len);
    piloOut(PILO_CMD, command);
}

/* The error registers hold e and e1 in 13 bits and e2 in 14, the count in
 * 12: a term beyond them would be cut and the line drawn wrong. */
static int piloSegmentFits(int e, int e1, int e2, int len) {
    return e >= LINE_ERR_MIN && e <= LINE_ERR_MAX && e1 >= LINE_ERR_MIN && e1 <= LINE_ERR_MAX &&
           e2 >= LINE_DIAG_MIN && e2 <= LINE_DIAG_MAX && len <= MULTI_VALUE_MASK;
}

static uint16_t piloLineCommand(int signdx, int signdy, int axis) {
    uint16_t command = axis ? CMD_LINE_Y_MAJOR : CMD_LINE_X_MAJOR;
    if (signdx > 0)
        command |= CMD_X_INCREASING;
    if (signdy > 0)
        command |= CMD_Y_INCREASING;
    return command;
}

void piloFillZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1, int y1,
                     int e, int e1, int e2, int len) {
    if (!piloSegmentFits(e, e1, e2, len)) {
        genSolidZeroSeg(pGC, pDraw, signdx, signdy, axis, x1, y1, e, e1, e2, len);
        return;
    }
    if (len <= 0)
        return;
    const nfbGCPrivate *gcPriv = NFB_GC_PRIV(pGC);
    piloLine(x1, y1, e, e1, e2, len, piloRasterOps[gcPriv->alu & 0xF], gcPriv->fgPixel & 0xFF,
             gcPriv->planemask & 0xFF, piloLineCommand(signdx, signdy, axis));
}

void piloFillZeroSeg16(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                       int y1, int e, int e1, int e2, int len) {
    /* The byte halves take the same registers as one-byte pixels: the same
     * terms that do not fit them go to the server's routine. */
    if (!piloSegmentFits(e, e1, e2, len)) {
        genSolidZeroSeg(pGC, pDraw, signdx, signdy, axis, x1, y1, e, e1, e2, len);
        return;
    }
    if (len <= 0)
        return;
    const nfbGCPrivate *gcPriv = NFB_GC_PRIV(pGC);
    const int code = piloRasterOps[gcPriv->alu & 0xF];
    const uint16_t command = piloLineCommand(signdx, signdy, axis);
    piloLine(x1, y1, e, e1, e2, len, code, gcPriv->fgPixel & 0xFF, gcPriv->planemask & 0xFF,
             command);
    piloLine(x1 + BYTE_HALF, y1, e, e1, e2, len, code, (gcPriv->fgPixel >> 8) & 0xFF,
             (gcPriv->planemask >> 8) & 0xFF, command);
}
