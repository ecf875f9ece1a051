/*
 * savage's build of the routines it shares with the nelto driver; its
 * cursor image copy waits with savage's own bounded wait.
 */
#include "savage.h"

#define S3D(name) savage##name
#define S3D_PRIV(pScreen) SAVAGE_PRIV(pScreen)
#define S3D_INDEX savageScreenPrivateIndex
#define S3D_WAIT(priv) savageEngineIdleWait(priv)
#define S3D_DEPTH_MASK(depth) savageDepthMask(depth)

#include "nelto_common.inc"
