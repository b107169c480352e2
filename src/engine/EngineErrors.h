#pragma once
// The program's own failure codes inside a CVS conversation (raised as
// CHoseException beside the transport's conditions and system errors).

#include <cstdint>

enum : std::int32_t {
    kCVSErrDocumentFull = 100003,
    kCVSErrDocumentMissing = 100004,
    kCVSErrShortRead = 100400,                  // a file's bytes ended early
    kCVSErrMainThreadDead = 0x1000FFF0,         // the main thread stopped answering
    kCVSErrUnexpectedResponse = 0x1000FFF1,     // a response the operation cannot take
};
