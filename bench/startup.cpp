// Start-up to the first painted window: Fennelwright against a minimal Qt
// program that shows one empty window, both started as fresh processes side
// by side in the same run (alternating), on the same display platform.
//
//   startup [runs]        prints the medians and their ratio (target: <= 1.5)
//
// The children are this executable in another mode; each writes one line when
// its first window has been painted and ends at once.

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ui/QtApp.h"

extern char** environ;

namespace {

void Painted()
{
    static char const line[] = "painted\n";
    if (write(STDOUT_FILENO, line, sizeof line - 1) < 0) {
    }
    _exit(0);
}

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && o->isWidgetType())
            QMetaObject::invokeMethod(this, [] { Painted(); }, Qt::QueuedConnection);
        return false;
    }
};

int MinimalChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    FirstPaint watcher;
    app.installEventFilter(&watcher);
    QWidget w;
    w.resize(720, 420);
    w.show();
    return QApplication::exec();
}

int AppChild(int argc, char** argv)
{
    SRunOptions options;
    options.firstPainted = [] { Painted(); };
    options.singleInstance = true;
    return RunFennelwright(argc, argv, options);
}

// Starts `self mode` and returns the seconds until it reports its first paint
// (negative on failure).
double Measure(std::string const& self, char const* mode)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], STDOUT_FILENO);
    int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    posix_spawn_file_actions_adddup2(&fa, devnull, STDERR_FILENO);
    std::vector<char*> argv = {const_cast<char*>(self.c_str()), const_cast<char*>(mode), nullptr};
    auto const start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    int const rc = posix_spawn(&pid, self.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    close(devnull);
    double result = -1;
    if (rc == 0) {
        pollfd p{fds[0], POLLIN, 0};
        char buf[16];
        if (poll(&p, 1, 30000) > 0 && read(fds[0], buf, sizeof buf) > 0)
            result = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(fds[0]);
    return result;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--minimal") == 0)
        return MinimalChild(1, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--app") == 0)
        return AppChild(1, argv);

    int const runs = argc >= 2 ? std::max(3, std::atoi(argv[1])) : 15;
    // Private folders, so that neither the user's preferences nor a running
    // Fennelwright take part.
    char tmpl[] = "/tmp/fw-bench-startup-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    std::string const home = tmpl;
    std::filesystem::create_directories(home + "/run");
    std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    if (!getenv("QT_QPA_PLATFORM") && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string const self = std::filesystem::canonical("/proc/self/exe").string();

    // Warm-up: the first start writes the preferences; caches get filled.
    Measure(self, "--app");
    Measure(self, "--minimal");
    std::vector<double> app, minimal;
    for (int i = 0; i < runs; ++i) {
        double const m = Measure(self, "--minimal");
        double const a = Measure(self, "--app");
        if (m < 0 || a < 0) {
            std::fprintf(stderr, "a child did not paint its window\n");
            std::filesystem::remove_all(home);
            return 1;
        }
        minimal.push_back(m);
        app.push_back(a);
    }
    std::filesystem::remove_all(home);
    double const mm = Median(minimal), ma = Median(app);
    std::printf("start-up to first paint, median of %d runs (platform %s)\n", runs,
                getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "default");
    std::printf("  minimal Qt window: %8.1f ms\n", mm * 1000);
    std::printf("  Fennelwright:      %8.1f ms\n", ma * 1000);
    std::printf("  ratio:             %8.2f (target <= 1.5)\n", ma / mm);
    return ma / mm <= 1.5 ? 0 : 2;
}
