/*
 * garsk: the writers that put a colour cell or glyph rows through an
 * aperture.
 */
#include "garsk.h"

/* A colour cell holds one pixel in all four bytes, so the engine reads the
 * same value whatever byte of the cell its address lands on. */
void LoadFillColor(Pixel pixel, volatile uint8_t *window, volatile uint8_t *status) {
    uint32_t cell = (pixel & 0xFF) * 0x01010101u;
    while (mmRead8(status) & GARSK_STATUS_DATA)
        ;
    mmWrite32(window, cell);
}

/* A glyph row of three bytes: the bytes that are there, never the fourth
 * one past them (the last row of a bitmap may end its buffer). */
void TriGlyphWr(volatile uint8_t *port, const uint8_t *source) {
    mmWrite8(port, source[0]);
    mmWrite8(port, source[1]);
    mmWrite8(port, source[2]);
}

/* Glyph data a word at a time, low byte first; a final part word sends
 * only the bytes the count still asks for. */
void QuickGlyph(volatile uint8_t *port, const uint32_t *source, int bytes) {
    for (; bytes >= 4; bytes -= 4, source++) {
        uint32_t w = *source;
        mmWrite8(port, (uint8_t)w);
        mmWrite8(port, (uint8_t)(w >> 8));
        mmWrite8(port, (uint8_t)(w >> 16));
        mmWrite8(port, (uint8_t)(w >> 24));
    }
    if (bytes > 0) {
        const uint8_t *tail = (const uint8_t *)source;
        for (int i = 0; i < bytes; i++)
            mmWrite8(port, tail[i]);
    }
}
