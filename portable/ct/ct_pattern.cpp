/*
 * Plane-mask patterns in off-screen memory: 8 x 8 pixels holding a plane
 * mask, for engine operations that apply an alu to the mask's planes only.
 * The 16-bit builds keep one pattern, rewritten for another mask; the 8-bit
 * builds keep all 256.
 */
#include "ct.h"

static ctOnboardChunk *tile_chunk = 0;
#if CT_16BIT
static uint16_t last_plane_mask = 0xFFFF;
#endif

#define CT_PATTERN_PIXELS 64

#if CT_16BIT
static void ctFillPattern(uint16_t mask) {
    uint8_t *at = NAME(OnboardVAddr)(tile_chunk);
    for (int i = 0; i < CT_PATTERN_PIXELS; i++)
        memcpy(at + 2 * i, &mask, sizeof mask);
}
#endif

Bool NAME(MaskPatternInit)(ScreenPtr pScreen) {
    tile_chunk = 0;
#if CT_16BIT
    tile_chunk = NAME(OnboardAlloc)(pScreen, 8, 8, 16, __FILE__, __LINE__);
    if (!tile_chunk)
        return 0;
    ctWaitIdle();
    ctFillPattern(0xFFFF);
    last_plane_mask = 0xFFFF;
#else
    tile_chunk = NAME(OnboardAlloc)(pScreen, 64, 256, 64, __FILE__, __LINE__);
    if (!tile_chunk)
        return 0;
    ctWaitIdle();
    uint8_t *at = NAME(OnboardVAddr)(tile_chunk);
    for (uint32_t m = 0; m < 256; m++)
        for (uint32_t w = 0; w < 16; w++) {
            uint32_t word = m * 0x01010101u;
            memcpy(at + m * 64 + w * 4, &word, sizeof word);
        }
#endif
    return 1;
}

void NAME(MaskPatternClose)(ScreenPtr pScreen) {
    if (tile_chunk)
        NAME(OnboardFree)(pScreen, tile_chunk, __FILE__, __LINE__);
    tile_chunk = 0;
}

int NAME(MaskPatternOffset)(uint32_t planemask) {
    if (!tile_chunk)
        return 0;
    int offset = NAME(OnboardOffset)(tile_chunk, 0, 0);
#if CT_16BIT
    uint16_t mask = (uint16_t)planemask;
    if (mask != last_plane_mask) {
        ctWaitIdle();
        ctFillPattern(mask);
        last_plane_mask = mask;
    }
    return offset;
#else
    return offset + (int)(planemask & 0xFF) * 64;
#endif
}
