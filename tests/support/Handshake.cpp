#include "Handshake.h"

#include <cstdlib>
#include <vector>

namespace fwtest {

char const kValidResponses[] =
    "Valid-responses ok error Valid-requests Checked-in New-entry Updated Created Update-existing "
    "Merged Removed Remove-entry Copy-file Set-static-directory Clear-static-directory Set-sticky "
    "Clear-sticky Notified Mode M E F\n";

bool ReadLine(CHosePipe& pipe, std::string& line)
{
    line.clear();
    std::vector<char> buf(256);
    for (;;) {
        unsigned long len = buf.size() - 1;
        char stop = pipe.ReceiveLine(buf.data(), len, '\n');
        line.append(buf.data(), len);
        if (stop != 0)
            return true;
        if (len < buf.size() - 1)
            return false;  // the pipe had no more
    }
}

std::string PserverAuthenticateScrambled(CHosePipe& pipe, std::string const& root,
                                         std::string const& user, char const* scrambled)
{
    std::string block = "BEGIN AUTH REQUEST\n" + root + "\n" + user + "\n" + scrambled +
                        "\nEND AUTH REQUEST\n";
    pipe.SendCStr(block.c_str());
    std::string answer;
    ReadLine(pipe, answer);
    return answer;
}

bool StartProtocol(CHosePipe& pipe, std::string const& root, std::string* requests,
                   std::string* error)
{
    pipe.SendCStr(kValidResponses);
    pipe.SendCStr("valid-requests\n");
    std::string line;
    if (!ReadLine(pipe, line)) {
        if (error != nullptr)
            *error = "no answer to valid-requests: \"" + line + "\"";
        return false;
    }
    if (requests != nullptr)
        *requests = line;
    if (!ReadLine(pipe, line) || line != "ok") {
        if (error != nullptr)
            *error = "expected ok, got \"" + line + "\"";
        return false;
    }
    pipe.SendCStr(("Root " + root + "\n").c_str());
    return true;
}

void RequestGzip(CHosePipe& pipe, int level)
{
    pipe.SendCStr(("Gzip-stream " + std::to_string(level) + "\n").c_str());
}

namespace {

// Number of lines that follow a response's own line.
int ExtraLines(std::string const& name)
{
    if (name == "Checked-in" || name == "New-entry" || name == "Copy-file" || name == "Set-sticky")
        return 2;
    if (name == "Removed" || name == "Remove-entry" || name == "Set-static-directory" ||
        name == "Clear-static-directory" || name == "Clear-sticky" || name == "Notified")
        return 1;
    return 0;
}

bool IsFileResponse(std::string const& name)
{
    return name == "Created" || name == "Updated" || name == "Update-existing" || name == "Merged";
}

}  // namespace

CheckoutResult CheckoutOverPipe(CHosePipe& pipe, std::string const& root, std::string const& module)
{
    CheckoutResult result;
    pipe.SendCStr(("Argument " + module + "\nDirectory .\n" + root + "\nco\n").c_str());
    std::string line;
    while (ReadLine(pipe, line)) {
        auto space = line.find(' ');
        std::string name = line.substr(0, space);
        if (name == "ok") {
            result.ok = true;
            return result;
        }
        if (name == "error") {
            result.error = line;
            return result;
        }
        if (name == "M" || name == "E") {
            result.messages += line + "\n";
            continue;
        }
        if (IsFileResponse(name)) {
            std::string path, entry, mode, size;
            if (!ReadLine(pipe, path) || !ReadLine(pipe, entry) || !ReadLine(pipe, mode) ||
                !ReadLine(pipe, size)) {
                result.error = "file response " + name + " cut short";
                return result;
            }
            unsigned long want = std::strtoul(size.c_str(), nullptr, 10);
            std::string bytes(want, '\0');
            unsigned long have = 0;
            while (have < want) {
                unsigned long n = want - have;
                pipe.ReceiveData(bytes.data() + have, n);
                if (n == 0) {
                    result.error = "file " + path + " cut short at " + std::to_string(have);
                    return result;
                }
                have += n;
            }
            result.files[path] = std::move(bytes);
            continue;
        }
        for (int i = ExtraLines(name); i > 0; --i)
            if (!ReadLine(pipe, line)) {
                result.error = "response " + name + " cut short";
                return result;
            }
    }
    result.error = "the server stopped before ok; last line \"" + line + "\"";
    return result;
}

}  // namespace fwtest
