// A scratch folder registered with the File Manager stand-in, the log collected
// and alerts answered from a script.
#pragma once

#include "FsTestUtil.h"

#include "filesystem/CFileSystemUtils.h"
#include "foundation/Log.h"
#include "platform/MacFiles.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace fstest {

class FsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(mRoot.path().empty());
        mOldConsole = gConsoleP;
        gConsoleP = &mConsole;
        ASSERT_EQ(noErr, GetDirIDFromPath(mRoot.path(), &mVRefNum, &mDirID));
    }
    void TearDown() override { gConsoleP = mOldConsole; }

    // The location of a path relative to the scratch folder.
    FSSpec Spec(std::string const& rel) {
        FSSpec spec;
        OSErr err = FSMakeFSSpecFromPath(mRoot / rel, &spec);
        EXPECT_TRUE(err == noErr || err == fnfErr) << rel << " " << err;
        return spec;
    }
    // The location of a folder (its own location) and its directory ID.
    int32_t DirID(std::string const& rel) {
        int16_t v = 0;
        int32_t d = 0;
        EXPECT_EQ(noErr, GetDirIDFromPath(rel.empty() ? mRoot.path() : mRoot / rel, &v, &d)) << rel;
        return d;
    }
    void MakeDir(std::string const& rel) { ASSERT_EQ(0, mkdir((mRoot / rel).c_str(), 0755)) << rel; }
    void Write(std::string const& rel, std::string const& content) { ASSERT_TRUE(WriteFile(mRoot / rel, content)) << rel; }
    // A file with type, creator and a resource fork (so with a sidecar).
    void WriteMacFile(std::string const& rel, std::string const& data, std::string const& rsrc) {
        FSSpec spec = Spec(rel);
        ASSERT_EQ(noErr, FSpCreate(spec, FourCC("Fnwr"), FourCC("TEXT"), 0));
        Write(rel, data);
        if (!rsrc.empty()) {
            ASSERT_EQ(noErr, FSpWriteResourceFork(spec, std::vector<uint8_t>(rsrc.begin(), rsrc.end())));
        }
    }
    std::string ReadRsrc(std::string const& rel) {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(noErr, FSpReadFork(Spec(rel), true, bytes)) << rel;
        return std::string(bytes.begin(), bytes.end());
    }
    // Every name in a folder, as on disk (sidecars included).
    std::set<std::string> Names(std::string const& rel) {
        std::set<std::string> out;
        std::string listing = RunShell("ls -A " + Quote(rel.empty() ? mRoot.path() : mRoot / rel));
        size_t start = 0;
        for (size_t nl; (nl = listing.find('\n', start)) != std::string::npos; start = nl + 1)
            out.insert(listing.substr(start, nl - start));
        return out;
    }
    // The log entries at a level (all levels with -1).
    std::string Logged(short level = -1) {
        std::string out;
        for (unsigned long i = 0; i < mConsole.Count(); ++i) {
            short l = 0;
            mConsole.AskEntry(i, &l);
            if (level < 0 || l == level)
                out += mConsole.EntryText(i) + "\n";
        }
        return out;
    }

    ScratchDir mRoot;
    CConsole mConsole;
    CConsole* mOldConsole = nullptr;
    int16_t mVRefNum = 0;
    int32_t mDirID = 0;
};

}  // namespace fstest
