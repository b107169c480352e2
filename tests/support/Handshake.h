#pragma once
// A small client side of the CVS protocol for transport tests: enough to
// authenticate, start the protocol, switch on compression and check out a
// module over any hose pipe, so that every transport is proved against the
// real server.
//
// Exceptions raised by the pipe travel through unchanged.

#include <map>
#include <memory>
#include <string>

#include "transport/HosePipe.h"
#include "transport/Scramble.h"

namespace fwtest {

// The responses the client understands (what a real client announces).
extern char const kValidResponses[];

// Reads one line through ReceiveLine, growing the buffer as needed. False
// when the pipe delivered nothing more (the line so far is in line).
bool ReadLine(CHosePipe& pipe, std::string& line);

// Sends the authentication block with an already scrambled password and
// returns the server's first answer line ("I LOVE YOU", "I HATE YOU", ...).
std::string PserverAuthenticateScrambled(CHosePipe& pipe, std::string const& root,
                                         std::string const& user, char const* scrambled);
inline std::string PserverAuthenticate(CHosePipe& pipe, std::string const& root,
                                       std::string const& user, std::string const& password)
{
    std::unique_ptr<char[]> s(scramble(password.c_str()));
    return PserverAuthenticateScrambled(pipe, root, user, s.get());
}

// Sends "Valid-responses ...", "valid-requests", reads and skips the
// "Valid-requests" line, expects "ok", then sends "Root <root>". On success
// returns true and the list of requests in *requests; else false with the
// reason in *error.
bool StartProtocol(CHosePipe& pipe, std::string const& root, std::string* requests,
                   std::string* error);

// Sends "Gzip-stream <level>"; the caller then wraps the pipe.
void RequestGzip(CHosePipe& pipe, int level);

// What a checkout brought back.
struct CheckoutResult {
    bool ok = false;                          // the conversation ended with "ok"
    std::string error;                        // why not
    std::map<std::string, std::string> files;  // path as the server names it ("module/file") -> bytes
    std::string messages;                     // M and E lines
};

// Checks out module ("Argument", "Directory .", root, "co") and reads the
// responses up to "ok" or "error", file contents through ReceiveData.
CheckoutResult CheckoutOverPipe(CHosePipe& pipe, std::string const& root, std::string const& module);

}  // namespace fwtest
