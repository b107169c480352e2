// Scope guards that close a caller's array of open files on every way out of a
// function. A function that closes a file by hand sets its slot to -1 (or null)
// so that the guard leaves it alone.
#pragma once

#include <cstdio>

class CFileCloser {
public:
    virtual ~CFileCloser() = default;
    void CloseFiles();
    virtual short CloseFile(short index) = 0;

protected:
    explicit CFileCloser(short count) : mCount(count) {}
    short mCount;
};

class CMacFileCloser : public CFileCloser {
protected:
    CMacFileCloser(short* inFiles, short inNumFiles);
    short* mFiles;
};

// Open forks (FSClose).
class CFSCloser : public CMacFileCloser {
public:
    CFSCloser(short* files, short count) : CMacFileCloser(files, count) {}
    ~CFSCloser() override { CloseFiles(); }
    short CloseFile(short index) override;
};

// stdio streams (fclose).
class CFILECloser : public CFileCloser {
public:
    CFILECloser(FILE** inFiles, short inNumFiles);
    ~CFILECloser() override { CloseFiles(); }
    short CloseFile(short index) override;

private:
    FILE** mFiles;
};
