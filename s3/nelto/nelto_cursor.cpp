/*
 * nelto's build of the routines it shares with the savage driver.
 */
#include "nelto.h"

#define S3D(name) nelto##name
#define S3D_PRIV(pScreen) NELTO_PRIV(pScreen)
#define S3D_INDEX neltoScreenPrivateIndex
#define S3D_WAIT(priv) neltoEngineIdleWait(priv)
#define S3D_DEPTH_MASK(depth) neltoDepthMask(depth)

#include "nelto_common.inc"
