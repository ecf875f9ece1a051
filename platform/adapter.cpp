// The registry of adapter models. Models register from static initialisers in
// their own translation units, so the table is created on first use.
#include "adapter.h"

#include <map>

namespace sim {

namespace {

std::map<std::string, AdapterFactory> &registry() {
    static std::map<std::string, AdapterFactory> table;
    return table;
}

} // namespace

void registerAdapter(const std::string &model, AdapterFactory factory) {
    registry()[model] = std::move(factory);
}

std::unique_ptr<Adapter> makeAdapter(graf::Config &cfg, Machine &machine) {
    auto it = registry().find(cfg.adapter);
    if (it == registry().end())
        return nullptr;
    return it->second(cfg, machine);
}

std::vector<std::string> adapterModels() {
    std::vector<std::string> names;
    for (const auto &entry : registry())
        names.push_back(entry.first);
    return names;
}

// The default area has no name in the configuration; the machine calls it
// MEMORY, the name procedures use for it.
void mapPlainAreas(graf::Config &cfg, Machine &machine) {
    for (auto &area : cfg.areas) {
        if (area.mapped != nullptr)
            continue;
        const std::string name = area.name.empty() ? "MEMORY" : area.name;
        area.mapped = machine.addArea(name, area.physBase, area.length);
    }
}

} // namespace sim
