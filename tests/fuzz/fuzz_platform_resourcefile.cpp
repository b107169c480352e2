// Decodes arbitrary bytes as a resource file; what decodes must encode (or be
// refused cleanly) and decode again to the same resources.
#include "platform/ResourceFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    CResourceFile rf;
    if (rf.Decode(data, size) != noErr) return 0;
    std::vector<uint8_t> out;
    if (rf.Encode(out) != noErr) return 0;
    CResourceFile back;
    if (back.Decode(out.data(), out.size()) != noErr) std::abort();
    if (back.CountTypes() != rf.CountTypes() || back.Count() != rf.Count()) std::abort();
    for (size_t t = 0; t < rf.CountTypes(); ++t) {
        OSType type = rf.IndType(t);
        for (size_t i = 0; i < rf.CountResources(type); ++i) {
            auto const* a = rf.IndResource(type, i);
            auto const* b = back.Get(type, a->id);
            if (!b || b->data != a->data || b->hasName != a->hasName || b->name != a->name ||
                b->attributes != (a->attributes & ~resChanged))
                std::abort();
        }
    }
    return 0;
}
