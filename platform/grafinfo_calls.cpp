// The grafinfo calls the drivers import, answered from the stand-in's store.
// Absence always returns 0 and writes nothing, so a driver's default stands.
#include <cstdarg>
#include <string>
#include <vector>

#include "grafinfo.h"
#include "grafstore.h"

namespace {

// The default area is the one without a name; drivers' messages call it MEMORY.
const graf::MemoryArea *findArea(const graf::Config &c, const char *name) {
    std::string wanted = name ? name : "";
    if (wanted == "MEMORY")
        wanted.clear();
    for (const graf::MemoryArea &a : c.areas)
        if (a.name == wanted)
            return &a;
    return nullptr;
}

bool isFlag(const graf::Config &c, const std::string &name) {
    for (const std::string &f : c.flags)
        if (f == name)
            return true;
    return false;
}

} // namespace

extern "C" {

int grafGetInt(GrafinfoHandle h, const char *name, int *value) {
    const graf::Config *c = graf::findConfig(h);
    if (!c || !name)
        return 0;
    auto it = c->ints.find(name);
    if (it == c->ints.end())
        return 0;
    if (value)
        *value = it->second;
    return 1;
}

int grafGetString(GrafinfoHandle h, const char *name, char **value) {
    graf::Config *c = graf::findConfig(h);
    if (!c || !name)
        return 0;
    auto it = c->strings.find(name);
    if (it == c->strings.end())
        return 0;
    // The store keeps the string; drivers only read it.
    if (value)
        *value = it->second.data();
    return 1;
}

// Presence alone counts: a flag, or any key of that name whatever its value.
int grafQuery(GrafinfoHandle h, const char *name) {
    const graf::Config *c = graf::findConfig(h);
    if (!c || !name)
        return 0;
    return isFlag(*c, name) || c->ints.count(name) || c->strings.count(name);
}

int grafGetMemInfo(GrafinfoHandle h, const char *area, uint32_t *physBase, uint32_t *length,
                   void **mapped) {
    const graf::Config *c = graf::findConfig(h);
    if (!c)
        return 0;
    const graf::MemoryArea *a = findArea(*c, area);
    // An area nobody mapped cannot be used by the driver: it counts as absent.
    if (!a || !a->mapped)
        return 0;
    if (physBase)
        *physBase = a->physBase;
    if (length)
        *length = a->length;
    if (mapped)
        *mapped = a->mapped;
    return 1;
}

// The four further integers are read only when the procedure declares
// parameters; callers that pass none run procedures that take none.
int grafExec(GrafinfoHandle h, const char *procedure, int *result, ...) {
    if (!procedure)
        return 0;
    int params = graf::parameterCount(h, procedure);
    if (params < 0)
        return 0;
    std::vector<int> args;
    if (params > 0) {
        va_list ap;
        va_start(ap, result);
        for (int i = 0; i < 4; ++i)
            args.push_back(va_arg(ap, int));
        va_end(ap);
    }
    graf::Variables vars;
    int r = 0;
    if (!graf::runProcedure(h, procedure, args, vars, r))
        return 0;
    if (result)
        *result = r;
    return 1;
}

// A video BIOS call is the procedure "VideoBIOS", seeing the registers as the
// variables eax, ebx, ecx and edx and handing back their final values.
int grafVBRun(GrafinfoHandle h, int registers[4], int count) {
    static const char *const names[4] = {"eax", "ebx", "ecx", "edx"};
    if (!registers || count < 0)
        count = 0;
    if (count > 4)
        count = 4;
    if (graf::parameterCount(h, "VideoBIOS") < 0)
        return 0;
    graf::Variables vars;
    for (int i = 0; i < 4; ++i)
        vars[names[i]] = i < count ? registers[i] : 0;
    int r = 0;
    if (!graf::runProcedure(h, "VideoBIOS", {}, vars, r))
        return 0;
    for (int i = 0; i < count; ++i)
        registers[i] = vars[names[i]];
    return 1;
}

int grafGetFunction(GrafinfoHandle h, const char *procedure, GrafCode *code) {
    if (!procedure)
        return 0;
    GrafCode found = graf::codeOf(h, procedure);
    if (!found)
        return 0;
    if (code)
        *code = found;
    return 1;
}

int grafRunCode(GrafCode code, int /*unused*/) {
    int r = 0;
    return graf::runCode(code, r) ? 1 : 0;
}

} // extern "C"
