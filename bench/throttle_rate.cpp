// CThrottledHosePipe at 64 KiB/s: the rate it lets through, measured over a
// real process pipe, against the target rate and against the same pipe
// without the throttle.
//
//   throttle_rate [seconds per run, default 5]

#include "transport/ExecHosePipe.h"
#include "transport/ThrottledHosePipe.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr unsigned long kLimit = 64 * 1024;

CExecHosePipe* Sink()
{
    TPtrArray<CString> argv(kPArrOwning);
    argv.append(new CString("sh"));
    argv.append(new CString("-c"));
    argv.append(new CString("exec cat >/dev/null"));
    TPtrArray<CString> env(kPArrOwning);
    return new CExecHosePipe(CString("/bin/sh"), argv, 30, env);
}

// Sends pieces of `piece` bytes for about `seconds`; returns bytes per second.
double Rate(CHosePipe& pipe, unsigned long piece, double seconds)
{
    std::string data(piece, 'x');
    auto start = std::chrono::steady_clock::now();
    unsigned long long sent = 0;
    double elapsed = 0;
    do {
        pipe.SendData(data.data(), piece);
        sent += piece;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    return static_cast<double>(sent) / elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    if (seconds <= 0)
        seconds = 5.0;

    std::unique_ptr<CHosePipe> plain(Sink());
    if (!plain->OK()) {
        std::fprintf(stderr, "cannot start the sink process\n");
        return 2;
    }
    double unthrottled = Rate(*plain, 4000, 1.0);

    bool ok = true;
    std::printf("target %lu B/s; the same pipe without throttle: %.0f B/s\n", kLimit, unthrottled);
    for (unsigned long piece : {4000UL, 100UL, 100000UL}) {
        CThrottledHosePipe throttle(Sink(), kLimit);
        double rate = Rate(throttle, piece, seconds);
        double ratio = rate / static_cast<double>(kLimit);
        bool within = std::fabs(ratio - 1.0) <= 0.05;
        ok = ok && within;
        std::printf("pieces of %6lu bytes: %8.0f B/s, ratio to target %.4f (%s 5%%)\n", piece, rate, ratio,
                    within ? "within" : "NOT within");
    }
    return ok ? 0 : 1;
}
