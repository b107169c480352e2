#include "engine/ConversationFailures.h"

#include "engine/EngineErrors.h"
#include "foundation/Log.h"
#include "transport/HosePipe.h"

std::string ConversationFailureText(std::int32_t code, char const* info)
{
    char buf[256];
    switch (code) {
    case kHoseTimedOut:
        FormatBoundedF(buf, sizeof buf, "Connection \xD2%s\xD3 timed out.", info);
        break;
    case kHoseRemoteDisconnect:
        FormatBoundedF(buf, sizeof buf, "CVS server initiated disconnect on connection \xD2%s\xD3.", info);
        break;
    case kHoseOperationAborted:
        FormatBoundedF(buf, sizeof buf, "CVS server initiated abort on connection \xD2%s\xD3.", info);
        break;
    case kHoseRemoteOrderlyDisconnect:
        return {};
    case kCVSErrMainThreadDead:
        FormatBoundedF(buf, sizeof buf, "Fennelwright's main thread seems dead.");
        break;
    case kCVSErrUnexpectedResponse:
        FormatBoundedF(buf, sizeof buf,
                       "Unexpected response received from CVS server on connection \xD2%s\xD3.", info);
        break;
    default:
        FormatBoundedF(buf, sizeof buf, "Exception %ld while executing CVS command on connection \xD2%s\xD3.",
                       static_cast<long>(code), info);
        break;
    }
    return buf;
}

std::string ConnectFailureText(std::int32_t code, char const* host, unsigned short port)
{
    char buf[256];
    switch (code) {
    case kHoseHostNotFound:
        FormatBoundedF(buf, sizeof buf, "CVS server \xD2%s\xD3 could not be found. [error = %ld]", host,
                       static_cast<long>(code));
        break;
    case kHoseOperationAborted:  // the classic "no data" code shares its number
    case kHoseNoAnswer:
        FormatBoundedF(buf, sizeof buf, "CVS server \xD2%s:%hu\xD3 doesn't answer. [error = %ld]", host, port,
                       static_cast<long>(code));
        break;
    default:
        FormatBoundedF(buf, sizeof buf, "Failed to connect to CVS server \xD2%s:%hu\xD3. [error = %ld]", host, port,
                       static_cast<long>(code));
        break;
    }
    return buf;
}
