#pragma once
// The hose pipe of a spawned process: the protocol runs over the standard
// input and output of a local "cvs server", or of rsh or ssh running one on
// the server's host.

#include "foundation/CString.h"
#include "foundation/TPtrArray.h"
#include "transport/HosePipe.h"
#include "transport/Process.h"

#include <atomic>
#include <cstddef>
#include <vector>

class CExecHosePipe : public CHosePipe {
public:
    // Starts `path` with `argv` (argv[0] included) and the process environment
    // with `env` ("NAME=value") added, replacing variables of the same name.
    // timeout: seconds a send or receive may go without any progress.
    // The transport is OK() once the process runs; a failure to create the
    // pipes or to fork is logged and leaves it not OK(). A program that cannot
    // be executed is reported by the child on its standard output as
    // "\nProblems executing <path>.\n", so it reaches the conversation as the
    // server's answer.
    CExecHosePipe(CString const& path, TPtrArray<CString>& argv, unsigned long timeout,
                  TPtrArray<CString>& env);
    // Deleting the transport closes both pipes. A child that has not said
    // anything yet is sent SIGTERM; one that has ends by itself when it sees
    // the end of its input. Either way it is reaped by its pid.
    ~CExecHosePipe() override;

    unsigned long ReceivedBytes() override { return mReceivedBytes; }
    unsigned long SentBytes() override { return mSentBytes; }
    void SendData(void const* buf, unsigned long len) override;
    char ReceiveLine(char* buf, unsigned long& len, char term) override;
    // Reads until len bytes have arrived or the child's output ends.
    void ReceiveData(void* buf, unsigned long& len) override;
    void AcceptRemoteDisconnect() override {}
    // Sticky: once called (from any thread), every send or receive that would
    // have to wait raises kHoseOperationAborted instead.
    void AbortThreadOperation() override;
    short ConnectionState() override { return mConnectionState; }
    unsigned long StartTime() override { return mStartTime; }

    // The child's pid while it may still be sent SIGTERM (until it has written
    // its first byte), else 0.
    pid_t RecordedPid() const { return mPid; }
    // The child process (its pid stays available after RecordedPid() is 0).
    CChildProcess& Child() { return mChild; }
    // True once the child's output has ended.
    bool OutputEnded() const { return mOutputEnded; }

    // A transport that was refused before anything was started (not OK()).
    static CExecHosePipe* MakeRefused(unsigned long timeout);

private:
    explicit CExecHosePipe(unsigned long timeout);
    // Waits until fd is ready for `events`, without the baton. Raises timed out
    // when `timeout` seconds have passed since `since` (the last progress), and
    // operation aborted after AbortThreadOperation.
    void WaitReady(int fd, short events, unsigned long long sinceMs);
    // Reads what the child has into the read-ahead buffer; false at the end of
    // its output. Waits like WaitReady.
    bool FillReadAhead(unsigned long long& sinceMs);
    void NoteOutput();

    unsigned long mReceivedBytes = 0;
    unsigned long mSentBytes = 0;
    unsigned long mStartTime = 0;
    unsigned long mTimeout = 0;
    CString mPath;
    std::vector<char*> mArgv;  // owned copies, null-terminated
    pid_t mPid = 0;
    CChildProcess mChild;
    short mConnectionState = kHoseNothingOpen;

    bool mInputGone = false;    // the child no longer reads its input
    bool mOutputEnded = false;  // the child's output has ended
    std::atomic<bool> mAborted{false};
    int mAbortFd = -1;          // eventfd, readable after AbortThreadOperation

    // Bytes read from the child but not handed out yet, so that reading a line
    // costs a system call per buffer rather than per byte.
    static constexpr std::size_t kReadAhead = 8192;
    char mAhead[kReadAhead];
    std::size_t mAheadStart = 0;
    std::size_t mAheadEnd = 0;
};

// ---- Factories for the login methods -------------------------------------
// Each returns a new transport owned by the caller. A host name that begins
// with "-" or holds a control character is refused: it would reach rsh or ssh
// as an option. The refusal is logged at level 4 and the returned transport
// is not OK(); nothing is started.

// Local: runs cvsCommand (by default "/usr/bin/cvs") as "cvs server".
CExecHosePipe* MakeLocalHosePipe(unsigned short timeout, CString const& cvsCommand);
// rsh -l user host cvsCommand server
CExecHosePipe* MakeRSHHosePipe(CString const& host, CString const& user, unsigned short timeout,
                               CString const& cvsCommand);
// ssh version -l user -p port host cvsCommand server, where version is "-1"
// or "-2". With a password, ssh is told to ask the password script for it
// (SSH_ASKPASS, SSH_CVS_PASSWORD, DISPLAY=localhost). ssh has no protocol 1
// any more: "-1" is refused with a message that says so.
CExecHosePipe* MakeSSHHosePipe(CString const& version, CString const& host, unsigned short port,
                               CString const& user, CString const& password, unsigned short timeout,
                               CString const& cvsCommand);

// True when host may be placed on an rsh or ssh command line.
bool IsSafeRemoteHostName(CString const& host);

// The programs the factories run, "/usr/bin/ssh" and "/usr/bin/rsh" unless
// set otherwise (tests run stand-ins).
CString SSHProgramPath();
CString RSHProgramPath();
void SetSSHProgramPath(CString const& path);
void SetRSHProgramPath(CString const& path);

// The password script handed to ssh as SSH_ASKPASS. By default the first one
// found of <program folder>/../share/fennelwright/password.sh,
// <program folder>/resources/password.sh and the source tree's copy.
CString PasswordScriptPath();
void SetPasswordScriptPath(CString const& path);
