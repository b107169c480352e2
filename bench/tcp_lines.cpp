// Receiving 50 MB of protocol lines through CTCPHosePipe::ReceiveLine versus a
// plain recv loop on the same kind of loopback socket, measured side by side.
// Prints the throughput ratio (pipe / plain); the median of paired runs should
// stay at 0.8 or above.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "transport/TCPHosePipe.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Times {
    double wall = 1e9;
    double cpu = 1e9;  // of the receiving thread
};

double ThreadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

std::string MakeLines(size_t total, size_t* lineCount)
{
    std::string s;
    s.reserve(total + 200);
    size_t n = 0;
    for (unsigned i = 0; s.size() < total; ++i, ++n) {
        s += "M ";
        s.append(20 + (i * 37) % 100, static_cast<char>('a' + i % 26));
        s += '\n';
    }
    *lineCount = n;
    return s;
}

// Listens on 127.0.0.1 and sends the data to the first comer.
struct Sender {
    int listenFd = -1;
    unsigned short port = 0;
    std::thread thread;

    explicit Sender(std::string const& data)
    {
        listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listenFd, 1);
        getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        thread = std::thread([this, &data] {
            int fd = accept(listenFd, nullptr, nullptr);
            size_t done = 0;
            while (done < data.size()) {
                ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                done += static_cast<size_t>(n);
            }
            close(fd);
        });
    }
    ~Sender()
    {
        thread.join();
        close(listenFd);
    }
};

Times PlainRecv(std::string const& data)
{
    Sender sender(data);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(sender.port);
    connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    std::vector<char> buf(64 * 1024);
    size_t got = 0;
    auto start = Clock::now();
    double cpuStart = ThreadCpu();
    while (got < data.size()) {
        ssize_t n = recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    Times t;
    t.wall = std::chrono::duration<double>(Clock::now() - start).count();
    t.cpu = ThreadCpu() - cpuStart;
    close(fd);
    if (got != data.size())
        std::fprintf(stderr, "plain: short read %zu\n", got);
    return t;
}

Times PipeLines(std::string const& data, size_t lines)
{
    Sender sender(data);
    CTCPHosePipe pipe(CString("127.0.0.1"), sender.port, 20, false);
    std::vector<char> buf(4096);
    size_t seen = 0, bytes = 0;
    auto start = Clock::now();
    double cpuStart = ThreadCpu();
    while (seen < lines) {
        unsigned long len = buf.size() - 1;
        if (pipe.ReceiveLine(buf.data(), len, '\n') == 0)
            break;
        bytes += len + 1;
        ++seen;
    }
    Times t;
    t.wall = std::chrono::duration<double>(Clock::now() - start).count();
    t.cpu = ThreadCpu() - cpuStart;
    if (bytes != data.size())
        std::fprintf(stderr, "pipe: short read %zu\n", bytes);
    return t;
}

}  // namespace

int main()
{
    size_t lines = 0;
    std::string data = MakeLines(50u * 1024 * 1024, &lines);
    // Rounds alternate between the two so that both see the same machine.
    // The headline is the median of the wall ratios of runs made right after
    // each other: each pair shares the load of the moment, and the median
    // ignores the odd pair that a neighbour disturbed. The ratio of the best
    // times is printed too, but it sets the luckiest plain run against the
    // luckiest pipe run, taken in different rounds, so on a shared machine it
    // follows the plain loop's rare fast outliers more than the code.
    std::vector<double> wallRatios, cpuRatios;
    Times plain, piped;
    for (int round = 0; round < 15; ++round) {
        Times a = PlainRecv(data), b = PipeLines(data, lines);
        wallRatios.push_back(a.wall / b.wall);
        cpuRatios.push_back(a.cpu / b.cpu);
        plain.wall = std::min(plain.wall, a.wall);
        plain.cpu = std::min(plain.cpu, a.cpu);
        piped.wall = std::min(piped.wall, b.wall);
        piped.cpu = std::min(piped.cpu, b.cpu);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    double mb = data.size() / (1024.0 * 1024.0);
    std::printf("tcp_lines: %.0f MB, %zu lines\n", mb, lines);
    std::printf("  plain recv loop (best):           %7.1f MB/s wall, %7.1f MB/s per receiver CPU second\n",
                mb / plain.wall, mb / plain.cpu);
    std::printf("  CTCPHosePipe::ReceiveLine (best): %7.1f MB/s wall, %7.1f MB/s per receiver CPU second\n",
                mb / piped.wall, mb / piped.cpu);
    std::printf("  ratio (pipe / plain), median of %zu pairs: %.2f wall (target >= 0.80), %.2f receiver CPU\n",
                wallRatios.size(), median(wallRatios), median(cpuRatios));
    std::printf("  ratio (pipe / plain) of the best runs:   %.2f wall, %.2f receiver CPU\n",
                plain.wall / piped.wall, plain.cpu / piped.cpu);
    return 0;
}
