/*
 * simra: waiting for the engine, the banked window and host data.
 */
#include "simra.h"

/* The polls have no bound: the engine drains one queued write per status
 * read, so only a dead adapter keeps them going. */
void simraWaitQueue(int queued) {
    while ((ioIn16(WD_STATUS) & WD_STATUS_QUEUE) > (uint16_t)queued)
        ;
}

void simraWaitIdle(void) {
    while (ioIn16(WD_STATUS) & WD_STATUS_BUSY)
        ;
}

void simraSetBank(simraScreenPrivPtr priv, uint32_t bankBase) {
    outw(VGA_GC_INDEX, (uint16_t)((bankBase >> WINDOW_SHIFT) << 8 | GR_BANK));
    priv->bankBase = bankBase;
}

void simraWalkStart(simraScreenPrivPtr priv, simraWalk *w, uint32_t offset, uint32_t n) {
    int64_t rel = (int64_t)offset - (int64_t)priv->bankBase;
    if (rel < 0 || rel > (int64_t)WINDOW_BYTES - (int64_t)n) {
        simraSetBank(priv, offset & ~(uint32_t)(WINDOW_GRANULE - 1));
        rel = (int64_t)offset - (int64_t)priv->bankBase;
    }
    w->n = n;
    w->rel = (int32_t)rel;
    w->at = priv->fbBase + rel;
}

/* The next row; when it would end beyond the window, the window moves on so
 * that the row starts in its second granule and keeps whole rows ahead. */
void simraWalkNext(simraScreenPrivPtr priv, simraWalk *w) {
    int32_t rel = w->rel + (int32_t)priv->pitch;
    if (rel > (int32_t)(WINDOW_BYTES - w->n)) {
        int32_t move = (rel & ~(int32_t)(WINDOW_GRANULE - 1)) - WINDOW_GRANULE;
        simraSetBank(priv, priv->bankBase + (uint32_t)move);
        rel -= move;
    }
    w->rel = rel;
    w->at = priv->fbBase + rel;
}

/* Whole words where the window is aligned, bytes at the ends. */
void simraWindowRead(uint8_t *dst, const uint8_t *window, uint32_t n) {
    uint32_t i = 0;
    while (i < n && ((uintptr_t)(window + i) & 3))
        dst[i] = mmRead8(window + i), i++;
    uint32_t words = (n - i) / 4;
    if (words) {
        mmReadBlock32(window + i, dst + i, words);
        i += 4 * words;
    }
    for (; i < n; i++)
        dst[i] = mmRead8(window + i);
}

void simraWindowWrite(uint8_t *window, const uint8_t *src, uint32_t n) {
    uint32_t i = 0;
    while (i < n && ((uintptr_t)(window + i) & 3))
        mmWrite8(window + i, src[i]), i++;
    uint32_t words = (n - i) / 4;
    if (words) {
        mmWriteBlock32(window + i, src + i, words);
        i += 4 * words;
    }
    for (; i < n; i++)
        mmWrite8(window + i, src[i]);
}

/* Each source byte, bit-reversed so that its leftmost pixel is in bit 7,
 * goes as two groups: the high nibble (shifted down), then the byte itself,
 * of which the engine takes bits 3-0. */
void simraSendMonoRow(const uint8_t *bits, int groups, Bool oddStart) {
    if (groups <= 0)
        return;
    if (oddStart) {
        ioOut16(WD_HOST_LOW, ddxBitSwap[*bits++]);
        groups--;
    }
    for (; groups >= 2; groups -= 2) {
        uint8_t b = ddxBitSwap[*bits++];
        ioOut16(WD_HOST_LOW, (uint16_t)(b >> 4));
        ioOut16(WD_HOST_LOW, b);
    }
    if (groups)
        ioOut16(WD_HOST_LOW, (uint16_t)(ddxBitSwap[*bits] >> 4));
}
