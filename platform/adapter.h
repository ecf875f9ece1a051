// Simulated graphics adapters. A grafinfo configuration names the adapter it
// is meant for (`adapter MODEL`); the harness asks the registry for that
// model, which builds its device models on the machine, maps the
// configuration's memory areas the way the real board decodes them, and
// stores each area's process address in the configuration.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "grafstore.h"
#include "machine.h"

namespace sim {

class Adapter {
  public:
    virtual ~Adapter() = default;
    virtual std::string model() const = 0;
    // The adapter's video memory (null for adapters without one of their own).
    virtual VideoMemory *vram() = 0;
    // Run the engine to completion and release video memory to the processor,
    // so a test can inspect it (the driver itself must wait on its own).
    virtual void drain() {}
    // Carry out what the adapter has taken so far (register writes waiting in
    // a queue), so video memory shows every call made, while the engine stays
    // as busy as the driver would find it: a look between two calls, which a
    // server never waits for. Models that draw at a start need nothing.
    virtual void settle() {}
    // Human-readable state for traces and the runner (cursor, palette, mode).
    virtual std::string describe() const { return model(); }
    // Bytes per line of the picture as the display registers now set it up
    // (0 when the model does not know or they were never programmed).
    virtual uint32_t displayPitch() const { return 0; }
    // A picture that is not one run of pixels at displayPitch() (4-bit pixels
    // packed two to a byte, 16-bit pixels split into two byte halves): true,
    // and pictureAt() / setPictureAt() read and write pixel (x, y) of the
    // visible screen. False for a linear picture, which the harness reads
    // straight from video memory.
    virtual bool nonLinearPicture() const { return false; }
    virtual uint32_t pictureAt(int x, int y) const {
        (void)x;
        (void)y;
        return 0;
    }
    virtual void setPictureAt(int x, int y, uint32_t value) {
        (void)x;
        (void)y;
        (void)value;
    }
};

// Builds an adapter for a configuration on the current machine. It maps
// every memory area of `cfg` (setting MemoryArea::mapped); areas it does not
// decode itself become plain memory.
using AdapterFactory = std::function<std::unique_ptr<Adapter>(graf::Config &cfg, Machine &)>;

void registerAdapter(const std::string &model, AdapterFactory);
// Null when no model of that name is registered.
std::unique_ptr<Adapter> makeAdapter(graf::Config &cfg, Machine &);
std::vector<std::string> adapterModels();

// Map every area of `cfg` that has no mapping yet as plain memory.
void mapPlainAreas(graf::Config &cfg, Machine &);

// A factory that builds adapter class `A` (constructed from the model name,
// the configuration and the machine) for `model`.
template <class A> AdapterFactory adapterFactory(const std::string &model) {
    return [model](graf::Config &cfg, Machine &m) -> std::unique_ptr<Adapter> {
        return std::make_unique<A>(model, cfg, m);
    };
}

// Registers a model at static-initialisation time.
struct AdapterRegistration {
    AdapterRegistration(const std::string &model, AdapterFactory f) {
        registerAdapter(model, std::move(f));
    }
};

} // namespace sim
