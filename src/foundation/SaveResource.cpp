#include "foundation/SaveResource.h"

#include "platform/ResourceFile.h"

#include <string>
#include <vector>

bool SaveResource(FSSpec const& file, bool lockAfter, OSType creator, OSType type, ScriptCode script,
                  OSType resType, short resID, unsigned char const* name, long length, char const* data) {
    if (length < 0 || (length > 0 && !data)) return false;
    FSpRstFLock(file);
    auto done = [&](bool ok) {
        if (lockAfter) FSpSetFLock(file);
        return ok;
    };

    CResourceFile fork;
    OSErr err = FSpReadResourceFile(file, fork);
    if (err == eofErr || err == fnfErr) {
        if (creator == 0 || type == 0) return done(false);
        if (FSpCreateResFile(file, creator, type, script) != noErr) return done(false);
        err = FSpReadResourceFile(file, fork);
    }
    if (err != noErr) return done(false);

    std::vector<uint8_t> bytes(data, data + length);
    if (auto* r = fork.GetMutable(resType, resID)) {
        r->data = std::move(bytes);
    } else {
        std::string resName;
        if (name) resName.assign(reinterpret_cast<char const*>(name + 1), name[0]);
        if (fork.Add(resType, resID, name ? resName.c_str() : nullptr, std::move(bytes)) != noErr) return done(false);
    }
    return done(FSpWriteResourceFile(file, fork) == noErr);
}
