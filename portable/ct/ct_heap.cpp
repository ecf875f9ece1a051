/*
 * The on-board heap: video memory beyond the visible screen, handed out
 * first fit in pixels of the screen's depth, split on allocation and joined
 * with free neighbours on release. Every chunk knows the statement that
 * owns it, so that a chunk left in use at close can be traced to its owner.
 */
#include "ct.h"

#define CT_CHUNK_FREE 1
#define CT_CHUNK_USED 2
#define CT_CHUNK_LOCKED 0x8

/* Installed memory by strap code (3 is not a code the chips define). */
#define CT_MEMORY_UNKNOWN 0x80000u

static uint32_t ctInstalledMemory(uint32_t *codeOut) {
    uint32_t code;
    uint32_t bytes;
    if (CT_IS_65550) {
        code = ctReadXR(XR_MEMORY_65550) & 0x03;
        *codeOut = code;
        return (code & 0x02) ? 0x200000u : 0x100000u;
    }
    if (ctTraits.chip == CT_65548) {
        code = ctReadXR(XR_MEMORY_65548) & 0x03;
        static const uint32_t sizes[] = {0x40000u, 0x80000u, 0x100000u};
        bytes = code < 3 ? sizes[code] : 0;
    } else {
        code = ctReadXR(XR_REVISION) & 0x03;
        static const uint32_t sizes[] = {0x80000u, 0x100000u, 0x200000u};
        bytes = code < 3 ? sizes[code] : 0;
    }
    *codeOut = code;
    if (bytes == 0) {
        ErrorF("ctOnboardInit(): hardware memory configuration not recognized\n");
        ErrorF("ctOnboardInit(): assuming 1/2Mbyte installed\n");
        bytes = CT_MEMORY_UNKNOWN;
    }
    return bytes;
}

static void ctSetOwner(ctOnboardChunk *c, const char *file, int line) {
    c->ownerFile = file;
    c->ownerLine = line;
}

Bool NAME(OnboardInit)(ScreenPtr pScreen) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    priv->heap = 0;
    ctOnboardHeap *heap = (ctOnboardHeap *)Xalloc(sizeof(ctOnboardHeap));
    ctOnboardChunk *first = (ctOnboardChunk *)Xalloc(sizeof(ctOnboardChunk));
    if (!heap || !first) {
        Xfree(heap);
        Xfree(first);
        return 0;
    }
    uint32_t code = 0;
    uint32_t installed = ctInstalledMemory(&code);
    /* The heap hands out addresses in the mapping: memory the mapping does
     * not reach cannot be given out, and the visible screen must lie in it. */
    uint32_t present = installed < priv->fbSize ? installed : priv->fbSize;
    uint32_t bpp = (uint32_t)priv->bytesPerPixel;
    heap->granule = bpp == 3 ? 4 : 64;
    uint32_t memoryPixels = present / bpp;
    uint32_t screenPixels = (uint32_t)priv->width * (uint32_t)priv->height;
    if (memoryPixels < screenPixels) {
        ErrorF("memory_bits register = 0x%x\n", code);
        ErrorF("ctOnboardInit(): selected screen resolution requires more display memory\n");
        ErrorF("ctOnboardInit(): present display memory = %dKb\n", (int)(present / 1024));
        ErrorF("ctOnboardInit(): required display memory = %dKb\n",
               (int)((uint64_t)screenPixels * bpp / 1024));
        Xfree(first);
        Xfree(heap);
        return 0;
    }
    heap->freeSize = memoryPixels - screenPixels;
    heap->freeBase = priv->fbBase + screenPixels * bpp;
    first->next = first->prev = 0;
    first->vaddr = heap->freeBase;
    first->size = heap->freeSize;
    first->pitchValue = 0;
    first->offset = (int32_t)(heap->freeBase - priv->fbBase);
    first->state = CT_CHUNK_FREE;
    ctSetOwner(first, __FILE__, __LINE__);
    heap->chunks = first;
    priv->heap = heap;
    return 1;
}

void NAME(OnboardClose)(ScreenPtr pScreen) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    ctOnboardHeap *heap = priv->heap;
    if (!heap)
        return;
    for (ctOnboardChunk *c = heap->chunks; c;) {
        ctOnboardChunk *next = c->next;
        if (c->state != CT_CHUNK_FREE)
            ErrorF("ctOnboardClose(): 0x%08x chunk not free: %s:%d size=%d\n",
                   (uint32_t)(uintptr_t)c, c->ownerFile, c->ownerLine, (int)c->size);
        Xfree(c);
        c = next;
    }
    Xfree(heap);
    priv->heap = 0;
}

ctOnboardChunk *NAME(OnboardAlloc)(ScreenPtr pScreen, int width, int height, int pitchValue,
                                   const char *file, int line) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    ctOnboardHeap *heap = priv->heap;
    if (!heap || width > priv->pitch)
        return 0;
    /* Nothing to hold: no chunk rather than one of no size. */
    if (width <= 0 || height <= 0)
        return 0;
    uint64_t needed64 = (uint64_t)width * (uint32_t)height;
    needed64 = (needed64 + heap->granule - 1) / heap->granule * heap->granule;
    ctOnboardChunk *c = heap->chunks;
    while (c && !(c->state == CT_CHUNK_FREE && c->size >= needed64))
        c = c->next;
    if (!c) {
        ErrorF("ctOnboardAlloc(): out of space: %d x %d from %s:%d\n", width, height, file, line);
        return 0;
    }
    uint32_t needed = (uint32_t)needed64;
    if (c->size == needed) {
        c->pitchValue = pitchValue;
        c->state = CT_CHUNK_USED;
        ctSetOwner(c, file, line);
        return c;
    }
    ctOnboardChunk *front = (ctOnboardChunk *)Xalloc(sizeof(ctOnboardChunk));
    if (!front)
        return 0;
    front->prev = c->prev;
    front->next = c;
    if (c->prev)
        c->prev->next = front;
    else
        heap->chunks = front;
    c->prev = front;
    front->vaddr = c->vaddr;
    front->size = needed;
    front->pitchValue = pitchValue;
    front->offset = (int32_t)(front->vaddr - priv->fbBase);
    front->state = CT_CHUNK_USED;
    ctSetOwner(front, file, line);
    c->vaddr += needed * (uint32_t)priv->bytesPerPixel;
    c->size -= needed;
    c->offset = (int32_t)(c->vaddr - priv->fbBase);
    return front;
}

/* A chunk is released only when it is a used chunk of this screen's list:
 * a second free, or a chunk of another heap, would otherwise tear the list. */
static Bool ctChunkInUse(const ctOnboardHeap *heap, const ctOnboardChunk *chunk) {
    for (const ctOnboardChunk *c = heap->chunks; c; c = c->next)
        if (c == chunk)
            return (c->state & ~CT_CHUNK_LOCKED) == CT_CHUNK_USED;
    return 0;
}

void NAME(OnboardFree)(ScreenPtr pScreen, ctOnboardChunk *chunk, const char *file, int line) {
    (void)file;
    (void)line;
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    ctOnboardHeap *heap = priv->heap;
    if (!heap) {
        ErrorF("ctOnboardFree(): free of chunk without heap\n");
        return;
    }
    if (!chunk || !ctChunkInUse(heap, chunk)) {
        ErrorF("ctOnboardFree(): free of chunk not in use in this heap\n");
        return;
    }
    chunk->state = CT_CHUNK_FREE;
    ctSetOwner(chunk, "", 0);
    uint32_t bpp = (uint32_t)priv->bytesPerPixel;
    for (ctOnboardChunk *cur = chunk; cur;) {
        ctOnboardChunk *prev = cur->prev;
        ctOnboardChunk *next = cur->next;
        if (next && next->state == CT_CHUNK_FREE) {
            if (cur->vaddr + cur->size * bpp != next->vaddr) {
                ErrorF("ctOnboardFree(): failed join of chunk - bad addresses\n");
                return;
            }
            next->vaddr = cur->vaddr;
            next->size += cur->size;
            next->pitchValue = 0;
            next->offset = (int32_t)(next->vaddr - priv->fbBase);
            ctSetOwner(next, "", 0);
            next->prev = prev;
            if (prev)
                prev->next = next;
            else
                heap->chunks = next;
            Xfree(cur);
        }
        cur = prev && prev->state == CT_CHUNK_FREE ? prev : 0;
    }
}

void NAME(OnboardLock)(ctOnboardChunk *chunk) {
    chunk->state |= CT_CHUNK_LOCKED;
}

void NAME(OnboardUnlock)(ctOnboardChunk *chunk) {
    chunk->state &= ~CT_CHUNK_LOCKED;
}

int NAME(OnboardOffset)(ctOnboardChunk *chunk, int x, int y) {
    return chunk->offset + x * CT_BPP + y * chunk->pitchValue;
}

uint8_t *NAME(OnboardVAddr)(ctOnboardChunk *chunk) {
    return chunk->vaddr;
}

uint32_t NAME(OnboardAvailable)(ScreenPtr pScreen) {
    ctOnboardHeap *heap = CT_PRIV(pScreen)->heap;
    return heap ? heap->freeSize : 0;
}
