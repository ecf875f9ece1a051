/*
 * Colormap entries as the server keeps them, for drivers that reload the
 * palette themselves after a mode set.
 */
#ifndef DRV_XCOLOR_H
#define DRV_XCOLOR_H

#include <stdint.h>

#include "nfb.h"

/* The colour a shared component holds; a component not there reads as 0. */
static inline uint16_t xSharedComponent(const SHAREDCOLOR *c) {
    return c ? c->color : 0;
}

/* An entry's three components, in place or through its shared colours; no
 * entry, or a shared colour not there, gives 0 for what is missing. */
static inline void xEntryColor(const Entry *e, uint16_t *red, uint16_t *green, uint16_t *blue) {
    if (!e) {
        *red = *green = *blue = 0;
    } else if (e->fShared) {
        *red = xSharedComponent(e->co.shco.red);
        *green = xSharedComponent(e->co.shco.green);
        *blue = xSharedComponent(e->co.shco.blue);
    } else {
        *red = e->co.local.red;
        *green = e->co.local.green;
        *blue = e->co.local.blue;
    }
}

/* A component widened as (v | v << 8) kept to 16 bits, so that an 8-bit value
 * in its low byte still reaches the DAC's top bits. */
static inline uint16_t xWidenComponent(uint16_t v) {
    return (uint16_t)(v | (v << 8));
}

/* Hands every entry of the screen's installed colormap, below its visual's
 * ColormapEntries, to `setColor` with widened components. Nothing happens
 * while no colormap is installed. */
static inline void xReloadInstalledColormap(ScreenPtr pScreen, SetColorProc setColor) {
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    if (!cmap || !cmap->red || !cmap->pVisual)
        return;
    int entries = cmap->pVisual->ColormapEntries;
    for (int i = 0; i < entries; i++) {
        uint16_t r, g, b;
        xEntryColor(&cmap->red[i], &r, &g, &b);
        setColor(0, i, xWidenComponent(r), xWidenComponent(g), xWidenComponent(b), pScreen);
    }
}

#endif
