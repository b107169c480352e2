#include "filesystem/CFileClosers.h"

#include "foundation/Log.h"
#include "platform/MacFiles.h"

void CFileCloser::CloseFiles() {
    for (short i = 0; i < mCount; ++i)
        CloseFile(i);
}

CMacFileCloser::CMacFileCloser(short* inFiles, short inNumFiles)
    : CFileCloser(inFiles ? inNumFiles : 0), mFiles(inFiles) {
    FW_CHECK(inFiles);
    FW_CHECK(inNumFiles > 0);
    if (mCount < 0)
        mCount = 0;
}

short CFSCloser::CloseFile(short index) {
    if (mFiles[index] == -1)
        return -1;
    short r = FSClose(mFiles[index]);
    mFiles[index] = -1;
    return r;
}

CFILECloser::CFILECloser(FILE** inFiles, short inNumFiles) : CFileCloser(inFiles ? inNumFiles : 0), mFiles(inFiles) {
    FW_CHECK(inFiles);
    FW_CHECK(inNumFiles > 0);
    if (mCount < 0)
        mCount = 0;
}

short CFILECloser::CloseFile(short index) {
    if (!mFiles[index])
        return 0;
    short r = static_cast<short>(fclose(mFiles[index]));
    mFiles[index] = nullptr;
    return r;
}
