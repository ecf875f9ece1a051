// The harness's windows placed anywhere on the screen and its calls of the
// X GC's own operation vector (gcops.h), for drivers that build that vector
// themselves; the rest of harness::Screen is in harness.cpp.
#include "harness.h"

#include <algorithm>

namespace harness {

WindowPtr Screen::createWindow(int x, int y, int width, int height) {
    if (!driverReady("createWindow"))
        return nullptr;
    WindowPtr w =
        server::createWindow(screen_, x, y, width, height, config_.depth, config_.bitsPerPixel);
    w->parent = root_;
    windows_.push_back(w);
    if (nfb() && nfb()->ValidateWindowPriv)
        call("ValidateWindowPriv", [&] { nfb()->ValidateWindowPriv(w); });
    return w;
}

void applyGCLines(GCPtr gc, const GCLines &s) {
    gc->lineWidth = static_cast<uint16_t>(s.lineWidth);
    gc->lineStyle = static_cast<uint32_t>(s.lineStyle) & 3;
    gc->capStyle = static_cast<uint32_t>(s.capStyle) & 3;
    gc->dashOffset = static_cast<uint16_t>(s.dashOffset);
    server::setGCDashes(gc, s.dashes);
    gc->font = s.font;
    server::setGCClip(gc, s.clip.empty() ? nullptr : &s.clip);
}

GCPtr Screen::createGCOn(DrawablePtr drawable, const GCSpec &values, const GCLines &lines) {
    if (!driverReady("createGC"))
        return nullptr;
    GCPtr gc = server::createGC(screen_, config_.depth);
    gcs_.push_back(gc);
    // The values first; the validation is on `drawable`, not the root.
    applyGCSpec(gc, values);
    applyGCLines(gc, lines);
    validateOn(gc, drawable, kAllGCChanges);
    return gc;
}

int Screen::validateOn(GCPtr gc, DrawablePtr drawable, uint32_t changes) {
    WinOps *ops = nullptr;
    if (drawable && drawable->type == DRAWABLE_WINDOW)
        if (nfbWindowPrivate *wp = NFB_WINDOW_PRIV(reinterpret_cast<WindowPtr>(drawable)))
            ops = wp->ops;
    if (!ops || !ops->ValidateWindowGC) {
        report(driver_ + ": no ValidateWindowGC slot to validate a GC with");
        return 0;
    }
    // As the server validates: through the GC's function vector, whose
    // server slot calls the window's ValidateWindowGC.
    if (!gc->funcs || !gc->funcs->ValidateGC) {
        report(driver_ + ": the GC's function vector has no ValidateGC slot");
        return 0;
    }
    server::takeValidateResult();
    call("ValidateWindowGC", [&] { gc->funcs->ValidateGC(gc, changes, drawable); });
    return server::takeValidateResult();
}

void Screen::gcChangeGC(GCPtr gc, uint32_t mask) {
    if (gc && gc->funcs && gc->funcs->ChangeGC)
        call("ChangeGC", [&] { gc->funcs->ChangeGC(gc, mask); });
}

void Screen::gcCopyGC(GCPtr src, uint32_t mask, GCPtr dst) {
    if (dst && dst->funcs && dst->funcs->CopyGC)
        call("CopyGC", [&] { dst->funcs->CopyGC(src, mask, dst); });
}

void Screen::gcChangeClip(GCPtr gc, int type, void *value, int nrects) {
    if (gc && gc->funcs && gc->funcs->ChangeClip)
        call("ChangeClip", [&] { gc->funcs->ChangeClip(gc, type, value, nrects); });
}

void Screen::gcDestroyClip(GCPtr gc) {
    if (gc && gc->funcs && gc->funcs->DestroyClip)
        call("DestroyClip", [&] { gc->funcs->DestroyClip(gc); });
}

void Screen::gcCopyClip(GCPtr dst, GCPtr src) {
    if (dst && dst->funcs && dst->funcs->CopyClip)
        call("CopyClip", [&] { dst->funcs->CopyClip(dst, src); });
}

void Screen::destroyGC(GCPtr gc) {
    auto it = std::find(gcs_.begin(), gcs_.end(), gc);
    if (it == gcs_.end())
        return;
    gcs_.erase(it);
    call("DestroyGC", [&] { server::destroyGC(gc); });
}

namespace {

// The slot, or a report that the vector has none.
template <class Proc> bool haveSlot(GCOps *ops, Proc GCOps::*slot) {
    return ops != nullptr && ops->*slot != nullptr;
}

} // namespace

#define GC_SLOT_OR_REPORT(slot)                                                                    \
    GCOps *ops = gc ? gcOps(gc) : nullptr;                                                         \
    if (!haveSlot(ops, &GCOps::slot)) {                                                            \
        report(driver_ + ": the GC's operation vector has no " #slot " slot");                     \
        return;                                                                                    \
    }

void Screen::gcFillSpans(GCPtr gc, DrawablePtr d, const std::vector<DDXPointRec> &starts,
                         const std::vector<int> &widths) {
    GC_SLOT_OR_REPORT(FillSpans)
    std::vector<DDXPointRec> p = starts;
    std::vector<int> w = widths;
    const int n = static_cast<int>(std::min(p.size(), w.size()));
    call("FillSpans", [&] { ops->FillSpans(d, gc, n, p.data(), w.data(), 1); });
}

void Screen::gcPolyPoint(GCPtr gc, DrawablePtr d, const std::vector<DDXPointRec> &points,
                         int mode) {
    GC_SLOT_OR_REPORT(PolyPoint)
    std::vector<DDXPointRec> p = points;
    call("PolyPoint", [&] { ops->PolyPoint(d, gc, mode, static_cast<int>(p.size()), p.data()); });
}

void Screen::gcPolylines(GCPtr gc, DrawablePtr d, const std::vector<DDXPointRec> &points,
                         int mode) {
    GC_SLOT_OR_REPORT(Polylines)
    std::vector<DDXPointRec> p = points;
    call("Polylines", [&] { ops->Polylines(d, gc, mode, static_cast<int>(p.size()), p.data()); });
}

void Screen::gcPolySegment(GCPtr gc, DrawablePtr d, const std::vector<xSegment> &segs) {
    GC_SLOT_OR_REPORT(PolySegment)
    std::vector<xSegment> s = segs;
    call("PolySegment", [&] { ops->PolySegment(d, gc, static_cast<int>(s.size()), s.data()); });
}

void Screen::gcPolyRectangle(GCPtr gc, DrawablePtr d, const std::vector<xRectangle> &rects) {
    GC_SLOT_OR_REPORT(PolyRectangle)
    std::vector<xRectangle> r = rects;
    call("PolyRectangle", [&] { ops->PolyRectangle(d, gc, static_cast<int>(r.size()), r.data()); });
}

void Screen::gcPolyArc(GCPtr gc, DrawablePtr d, const std::vector<xArc> &arcs) {
    GC_SLOT_OR_REPORT(PolyArc)
    std::vector<xArc> a = arcs;
    call("PolyArc", [&] { ops->PolyArc(d, gc, static_cast<int>(a.size()), a.data()); });
}

void Screen::gcPolyFillRect(GCPtr gc, DrawablePtr d, const std::vector<xRectangle> &rects) {
    GC_SLOT_OR_REPORT(PolyFillRect)
    std::vector<xRectangle> r = rects;
    call("PolyFillRect", [&] { ops->PolyFillRect(d, gc, static_cast<int>(r.size()), r.data()); });
}

int Screen::gcPolyText8(GCPtr gc, DrawablePtr d, int x, int y, const std::string &chars) {
    GCOps *ops = gc ? gcOps(gc) : nullptr;
    if (!haveSlot(ops, &GCOps::PolyText8)) {
        report(driver_ + ": the GC's operation vector has no PolyText8 slot");
        return x;
    }
    std::string c = chars;
    int r = x;
    call("PolyText8",
         [&] { r = ops->PolyText8(d, gc, x, y, static_cast<int>(c.size()), c.data()); });
    return r;
}

void Screen::gcImageText8(GCPtr gc, DrawablePtr d, int x, int y, const std::string &chars) {
    GC_SLOT_OR_REPORT(ImageText8)
    std::string c = chars;
    call("ImageText8", [&] { ops->ImageText8(d, gc, x, y, static_cast<int>(c.size()), c.data()); });
}

} // namespace harness
