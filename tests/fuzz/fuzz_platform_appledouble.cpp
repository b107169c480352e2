// Decodes arbitrary bytes as an AppleDouble sidecar; what decodes must encode
// and decode again to the same entries.
#include "platform/AppleDouble.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    CAppleDouble ad;
    if (!ad.Decode(data, size)) return 0;
    (void)ad.IsEmpty();
    (void)ad.Locked();
    uint8_t fi[32];
    ad.GetFinderInfo(fi);
    ad.SetLocked(!ad.Locked());
    ad.SetFinderInfo(fi);
    std::vector<uint8_t> out;
    ad.Encode(out);
    CAppleDouble back;
    if (!back.Decode(out.data(), out.size())) std::abort();
    if (back.Entries().size() != ad.Entries().size()) std::abort();
    for (auto const& e : ad.Entries()) {
        auto const* f = back.Find(e.id);
        if (!f || (e.id != CAppleDouble::kFinderInfo && f->bytes != e.bytes)) std::abort();
        if (e.id == CAppleDouble::kFinderInfo && f->bytes.size() != e.bytes.size()) std::abort();
    }
    return 0;
}
