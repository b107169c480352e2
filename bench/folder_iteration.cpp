// Walks a tree of 100,000 files twice per round, side by side: with the folder
// iterator (names converted, sidecars looked for and read) and with a bare
// readdir + lstat walk of the same tree. Prints the ratio of the two times.
// Usage: folder_iteration [files] [rounds]
#include "filesystem/CFileSystemUtils.h"
#include "filesystem/CFolderIterator.h"
#include "platform/MacFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long BareWalk(std::string const& path) {
    DIR* d = opendir(path.c_str());
    if (!d)
        return 0;
    long count = 0;
    std::vector<std::string> subs;
    while (struct dirent* e = readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, ".."))
            continue;
        std::string full = path + "/" + e->d_name;
        struct stat st;
        if (lstat(full.c_str(), &st) != 0)
            continue;
        ++count;
        if (S_ISDIR(st.st_mode))
            subs.push_back(full);
    }
    closedir(d);
    for (auto const& s : subs)
        count += BareWalk(s);
    return count;
}

long IteratorWalk(short vRefNum, long dirID) {
    long count = 0;
    std::vector<std::string> subs;
    {
        CFolderIterator it(vRefNum, dirID);
        CFITObject obj;
        for (short r; (r = it.Next(obj)) != CFolderIterator::kNoMore;) {
            if (r != CFolderIterator::kItem)
                continue;
            ++count;
            if (obj.isFolder)
                subs.emplace_back(obj.name);
        }
    }
    for (auto const& s : subs) {
        short v = 0;
        long d = 0;
        if (GetFolderVolAndDir(vRefNum, dirID, CString(s.c_str()), v, d) == noErr)
            count += IteratorWalk(v, d);
    }
    return count;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    long files = argc > 1 ? std::atol(argv[1]) : 100000;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    char tmpl[] = "/tmp/fwbench.XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 1;
    }
    std::string root = tmpl;

    // 100 folders of 1,000 files; one file in 50 is a Mac file with a sidecar.
    long const perFolder = 1000;
    int16_t vRefNum = 0;
    int32_t rootID = 0;
    if (GetDirIDFromPath(root, &vRefNum, &rootID) != noErr)
        return 1;
    for (long i = 0; i < files; ++i) {
        std::string dir = root + "/d" + std::to_string(i / perFolder);
        if (i % perFolder == 0)
            mkdir(dir.c_str(), 0755);
        std::string name = "file " + std::to_string(i) + ".c";
        if (i % 50 == 0) {
            FSSpec spec;
            FSMakeFSSpecFromPath(dir + "/" + name, &spec);
            FSpCreate(spec, FourCC("Fnwr"), FourCC("TEXT"), 0);
        } else {
            int fd = open((dir + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            if (fd >= 0)
                close(fd);
        }
    }

    std::vector<double> bare, ours;
    long bareCount = 0, ourCount = 0;
    for (int r = 0; r < rounds; ++r) {
        // Alternate which walk goes first so that neither always meets the
        // caches the other one warmed.
        for (int k = 0; k < 2; ++k) {
            auto t0 = Clock::now();
            if ((r + k) % 2 == 0) {
                bareCount = BareWalk(root);
                bare.push_back(Seconds(Clock::now() - t0));
            } else {
                ourCount = IteratorWalk(vRefNum, rootID);
                ours.push_back(Seconds(Clock::now() - t0));
            }
        }
    }
    std::sort(bare.begin(), bare.end());
    std::sort(ours.begin(), ours.end());
    double b = bare[bare.size() / 2], o = ours[ours.size() / 2];
    std::printf("items: bare walk %ld (sidecars included), iterator %ld\n", bareCount, ourCount);
    std::printf("median of %d rounds: bare readdir+lstat %.3f s, CFolderIterator %.3f s\n", rounds, b, o);
    std::printf("ratio CFolderIterator / bare walk: %.2f (target at most 1.30)\n", o / b);

    std::system(("rm -rf '" + root + "'").c_str());
    return 0;
}
