/*
 * simra: the drawing records the frame-buffer layer calls through.
 */
#include "simra.h"

extern "C" {

DRV_EXPORT PrivOps simraSolidPrivOps = {
    simraSolidFillRects, simraSolidFS,  {.ZeroSeg = simraSolidZeroSeg},
    genSolidGCOp4,       genSolidGCOp5, genSolidGCOp6};

DRV_EXPORT PrivOps simraTiledPrivOps = {
    simraTiledFillRects, simraTiledFS,  {.GCOp3 = genTiledGCOp3},
    genTiledGCOp4,       genTiledGCOp5, genTiledGCOp6};

DRV_EXPORT PrivOps simraStippledPrivOps = {
    simraStippledFillRects, simraStippledFS,  {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,       genStippledGCOp5, genStippledGCOp6};

DRV_EXPORT PrivOps simraOpStippledPrivOps = {
    simraOpStippledFillRects, simraOpStippledFS,  {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,       genOpStippledGCOp5, genOpStippledGCOp6};

DRV_EXPORT WinOps simraWinOps = {simraCopyRect,
                                 simraDrawSolidRects,
                                 simraDrawImage,
                                 simraDrawMonoImage,
                                 simraDrawOpaqueMonoImage,
                                 simraReadImage,
                                 simraDrawPoints,
                                 simraTileRects,
                                 simraDrawMonoGlyphs,
                                 {.DrawFontText = simraDrawFontText8},
                                 genWinOp11,
                                 genWinOp12,
                                 genWinOp13,
                                 genWinOp14,
                                 simraValidateWindowGC};
}
