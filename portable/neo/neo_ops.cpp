/*
 * neo: the drawing records of the three engine generations and of the
 * unaccelerated frame buffer, and the selectors that point at the ones a
 * screen uses. The engine records hold the server's routines for what the
 * engines do not draw.
 */
#include "neo.h"

#define SOLID_GENERICS {.ZeroSeg = genSolidZeroSeg}, genSolidGCOp4, genSolidGCOp5, genSolidGCOp6
#define WINOPS_TAIL                                                                                \
    genTileRects, genDrawMonoGlyphs, {.DrawFontText = genDrawFontText}, genWinOp11, genWinOp12,    \
        genWinOp13, genWinOp14, NAME(ValidateWindowGC)

extern "C" {

DRV_EXPORT uint8_t NAME(RasterOps)[16];

DRV_EXPORT PrivOps NAME(SolidPrivOps2070) = {genSolidFillRects, NAME(SolidFS2070), SOLID_GENERICS};
DRV_EXPORT PrivOps NAME(SolidPrivOpsGXcopy2070) = {genSolidFillRects, NAME(SolidFS2070),
                                                   SOLID_GENERICS};
DRV_EXPORT PrivOps NAME(SolidPrivOps209X) = {genSolidFillRects, NAME(SolidFS209X), SOLID_GENERICS};
DRV_EXPORT PrivOps NAME(SolidPrivOpsGXcopy209X) = {genSolidFillRects, NAME(SolidFS209X),
                                                   SOLID_GENERICS};
DRV_EXPORT PrivOps NAME(SolidPrivOps2200) = {genSolidFillRects, NAME(SolidFS2200), SOLID_GENERICS};
DRV_EXPORT PrivOps NAME(SolidPrivOpsGXcopy2200) = {genSolidFillRects, NAME(SolidFS2200),
                                                   SOLID_GENERICS};

DRV_EXPORT PrivOps NAME(DFBSolidPrivOps) = {genSolidFillRects, genSolidFS, SOLID_GENERICS};
DRV_EXPORT PrivOps NAME(DFBSolidPrivOpsGXcopy) = {genSolidFillRects, genSolidFS, SOLID_GENERICS};
DRV_EXPORT PrivOps NAME(DFBPlanemaskSolidPrivOps) = {genSolidFillRects, genSolidFS, SOLID_GENERICS};
DRV_EXPORT PrivOps NAME(DFBTiledPrivOps) = {
    genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
    genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
DRV_EXPORT PrivOps NAME(DFBStippledPrivOps) = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
DRV_EXPORT PrivOps NAME(DFBPlanemaskStippledPrivOps) = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
DRV_EXPORT PrivOps NAME(DFBOpStippledPrivOps) = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};
DRV_EXPORT PrivOps NAME(DFBPlanemaskOpStippledPrivOps) = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

DRV_EXPORT WinOps NAME(WinOps2070) = {
    NAME(CopyRect2070),     NAME(DrawSolidRects2070), NAME(DrawImage),      genDrawMonoImage,
    genDrawOpaqueMonoImage, NAME(ReadImage),          NAME(DrawPoints2070), WINOPS_TAIL};
DRV_EXPORT WinOps NAME(WinOps209X) = {NAME(CopyRect209X),
                                      NAME(DrawSolidRects209X),
                                      NAME(DrawImage),
                                      NAME(DrawMonoImage209X),
                                      NAME(DrawOpaqueMonoImage209X),
                                      NAME(ReadImage),
                                      NAME(DrawPoints209X),
                                      WINOPS_TAIL};
DRV_EXPORT WinOps NAME(WinOps2200) = {NAME(CopyRect2200),
                                      NAME(DrawSolidRects2200),
                                      NAME(DrawImage),
                                      NAME(DrawMonoImage2200),
                                      NAME(DrawOpaqueMonoImage2200),
                                      NAME(ReadImage),
                                      NAME(DrawPoints2200),
                                      WINOPS_TAIL};
DRV_EXPORT WinOps NAME(DFBWinOps) = {
    genCopyRect,     genDrawSolidRects, NAME(DrawImage), genDrawMonoImage, genDrawOpaqueMonoImage,
    NAME(ReadImage), genDrawPoints,     WINOPS_TAIL};
}

PrivOps *NAME(SolidPrivOps);
PrivOps *NAME(SolidPrivOpsGXcopy);
PrivOps *NAME(PlanemaskSolidPrivOps);
PrivOps *NAME(TiledPrivOps);
PrivOps *NAME(StippledPrivOps);
PrivOps *NAME(PlanemaskStippledPrivOps);
PrivOps *NAME(OpStippledPrivOps);
PrivOps *NAME(PlanemaskOpStippledPrivOps);
WinOps *NAME(WinOps);

/* Bit i of the alu becomes bit 3 - i. */
void neoInitRasterOps(void) {
    for (int alu = 0; alu < 16; alu++)
        NAME(RasterOps)
    [alu] = (uint8_t)((alu & 1) << 3 | (alu & 2) << 1 | (alu & 4) >> 1 | (alu & 8) >> 3);
}
