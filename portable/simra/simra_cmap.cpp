/*
 * simra: the VGA DAC at depth 8, through the server's outb.
 */
#include "simra.h"

#define DAC_ENTRIES 256
#define COMPONENT_BITS 16

extern "C" VisualRec simraVisual;

/* 16-bit components down to the visual's bits. A shift outside 0-15 would
 * be undefined; Init keeps RGBBITS inside 1-16, and any other visual falls
 * back to the DAC's own 6 bits. */
static int simraDacShift(const VisualRec *visual) {
    int bits = visual ? visual->bitsPerRGBValue : simraVisual.bitsPerRGBValue;
    if (bits < 1 || bits > COMPONENT_BITS)
        bits = 6;
    return COMPONENT_BITS - bits;
}

void simraSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen) {
    (void)unused;
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    const int shift = simraDacShift(cmap ? cmap->pVisual : 0);
    outb(VGA_DAC_WRITE_INDEX, (uint8_t)index);
    outb(VGA_DAC_DATA, (uint8_t)(red >> shift));
    outb(VGA_DAC_DATA, (uint8_t)(green >> shift));
    outb(VGA_DAC_DATA, (uint8_t)(blue >> shift));
}

static void simraEntryRGB(const Entry *e, uint16_t rgb[3]) {
    if (e->fShared) {
        rgb[0] = e->co.shco.red->color;
        rgb[1] = e->co.shco.green->color;
        rgb[2] = e->co.shco.blue->color;
    } else {
        rgb[0] = e->co.local.red;
        rgb[1] = e->co.local.green;
        rgb[2] = e->co.local.blue;
    }
}

void simraLoadColormap(ColormapPtr cmap) {
    if (!cmap)
        return;
    const VisualRec *v = cmap->pVisual;
    const int shift = simraDacShift(v);
    uint8_t staged[DAC_ENTRIES][3];
    __builtin_memset(staged, 0, sizeof(staged));
    if (v->class_ == TrueColor || v->class_ == TrueColor + 1) {
        for (uint32_t i = 0; i < DAC_ENTRIES; i++) {
            staged[i][0] =
                (uint8_t)(cmap->red[(i & v->redMask) >> v->offsetRed].co.local.red >> shift);
            staged[i][1] =
                (uint8_t)(cmap->green[(i & v->greenMask) >> v->offsetGreen].co.local.green >>
                          shift);
            staged[i][2] =
                (uint8_t)(cmap->blue[(i & v->blueMask) >> v->offsetBlue].co.local.blue >> shift);
        }
    } else {
        int n = v->ColormapEntries < DAC_ENTRIES ? v->ColormapEntries : DAC_ENTRIES;
        for (int i = 0; i < n; i++) {
            uint16_t rgb[3];
            simraEntryRGB(&cmap->red[i], rgb);
            for (int c = 0; c < 3; c++)
                staged[i][c] = (uint8_t)(rgb[c] >> shift);
        }
    }
    outb(VGA_DAC_WRITE_INDEX, 0);
    for (int i = 0; i < DAC_ENTRIES; i++)
        for (int c = 0; c < 3; c++)
            outb(VGA_DAC_DATA, staged[i][c]);
}
