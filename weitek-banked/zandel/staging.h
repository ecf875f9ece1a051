/*
 * Tile and opaque-stipple fills by staging: the pattern is drawn once into
 * off-screen memory, widened there by replication, and each box is then
 * filled with engine copies from the staged area, starting at the point
 * that keeps the pattern in phase with its origin.
 *
 * One source for the banked and Weitek drivers: a driver compiles
 * staging.cpp into its own library and hands the routine its own draw, copy
 * and clip calls. Nothing here is exported.
 */
#ifndef WEITEK_STAGING_H
#define WEITEK_STAGING_H

#include "driver.h"

/* The pattern as the driver draws it once: tile pixels or stipple bits,
 * their bytes per row, and a stipple's two colours. */
typedef struct _TileStagingPattern {
    int width, height;
    uint8_t *bits;
    int stride;
    Pixel fg, bg;
} TileStagingPattern;

/* The off-screen memory the pattern is staged in. */
typedef struct _TileStagingArea {
    int x, y, width, height;
} TileStagingArea;

typedef struct _TileStagingOps {
    /* Draws the pattern once into `box` (its size), as a copy with every
     * plane. */
    void (*DrawPattern)(BoxPtr box, const TileStagingPattern *pattern, DrawablePtr pDraw);
    /* The driver's engine copy. */
    CopyRectProc CopyRect;
    /* The driver's clip: its first box, or the whole screen for none. */
    SetClipRegionsProc SetClip;
    /* Boxes too large for the staged area under an alu whose result
     * depends on the destination: bands of `band` lines, each cut into
     * pieces `piece` pixels wide, each copied from the same source point. */
    void (*AreaSlow)(BoxPtr box, DDXPointPtr src, int band, int piece, int alu, uint32_t planemask,
                     DrawablePtr pDraw);
} TileStagingOps;

typedef struct _TileStagingRequest {
    BoxPtr boxes;
    int n;
    TileStagingPattern pattern;
    DDXPointRec origin; /* the pattern origin, screen coordinates */
    int alu;
    uint32_t planemask;
    TileStagingArea area;
    /* The clip the caller has loaded (null: none); staging runs under the
     * whole screen and loads this one again before the boxes are drawn. */
    const BoxRec *clip;
} TileStagingRequest;

/* Fills the request's boxes; 0 when staging cannot serve it and the
 * caller's generic routine must draw it (GenericFallback). */
int TileStaging(const TileStagingRequest *req, const TileStagingOps *ops, DrawablePtr pDraw);

/* The banding of TileStagingOps.AreaSlow, through `copy`. */
void TileStagingAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                         uint32_t planemask, DrawablePtr pDraw, CopyRectProc copy);
void TileStagingAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu, uint32_t planemask,
                                DrawablePtr pDraw, CopyRectProc copy);

#endif
