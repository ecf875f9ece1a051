/*
 * The sixteen X11 raster operations on whole words, for the processor paths
 * of drivers whose engine cannot apply an alu (or a plane mask) itself. Only
 * the low four bits of the alu count.
 */
#ifndef DRV_XALU_H
#define DRV_XALU_H

#include <stdint.h>

#include "x11.h"

static inline uint32_t xApplyAlu(int alu, uint32_t src, uint32_t dst) {
    switch (alu & 0xF) {
    case GXclear:
        return 0;
    case GXand:
        return src & dst;
    case GXandReverse:
        return src & ~dst;
    case GXcopy:
        return src;
    case GXandInverted:
        return ~src & dst;
    case GXnoop:
        return dst;
    case GXxor:
        return src ^ dst;
    case GXor:
        return src | dst;
    case GXnor:
        return ~(src | dst);
    case GXequiv:
        return ~src ^ dst;
    case GXinvert:
        return ~dst;
    case GXorReverse:
        return src | ~dst;
    case GXcopyInverted:
        return ~src;
    case GXorInverted:
        return ~src | dst;
    case GXnand:
        return ~(src & dst);
    default: /* GXset */
        return ~0u;
    }
}

/* The alu under a plane mask: bits outside the mask keep the destination. */
static inline uint32_t xMergeAlu(int alu, uint32_t src, uint32_t dst, uint32_t planemask) {
    return (dst & ~planemask) | (xApplyAlu(alu, src, dst) & planemask);
}

#endif
