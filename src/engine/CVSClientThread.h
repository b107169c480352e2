#pragma once
// One conversation with a CVS server, carried out by one client thread.
//
// The thread opens the transport of the login profile's method, wraps it for
// throttling, authenticates (password server), announces the responses it
// understands, sends the root, switches on compression, has its subclass send
// the requests of the operation, then reads and dispatches responses until the
// server says "ok" or "error". At the end it logs the statistics line; the
// object itself is destroyed on the main thread (see platform/Threads.h).
//
// CCVSClientNonSessThread takes the connection details from the login profile
// (checkout, export, import, the login test). Threads bound to an open sandbox
// derive from CCVSClientThread the same way and take them from the sandbox.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings/LoginProfile.h"
#include "engine/CVSJob.h"
#include "engine/CVSThreadBreaker.h"
#include "foundation/CString.h"
#include "foundation/Log.h"
#include "platform/MainLoop.h"
#include "platform/Threads.h"
#include "sandbox/CCVSVInfTree.h"

class CHosePipe;
class CCVSClientThread;

// A task of the main thread's idle loop, one per client thread: every fourth
// call flushes the thread's tree changes and the log and lets the client
// threads run. Its first call tells the thread that the main thread is alive.
class CYielder : public CPeriodical {
public:
    CYielder(CCVSClientThread* thread, short period = 3) : mPeriod(period), mThread(thread) {}
    void SpendTime() override;
    bool MainThreadAlive() const { return mMainThreadAlive.load(); }

private:
    short mPeriod;
    short mCounter = 0;
    CCVSClientThread* mThread;
    std::atomic<bool> mMainThreadAlive{false};
};

class CCVSClientThread : public CThread, public CErrorMinder {
public:
    // What the session does with its window when the thread has ended.
    enum : short { kViewStatusOnly = 0, kViewRescan = 1, kViewDropDeleted = 2 };

    // Takes ownership of the job. `folder` is the folder the conversation
    // works in: the thread makes a tree root "_" for it, whose children will
    // be the folders operated on.
    CCVSClientThread(CCVSJob* job, CLoginProfile const& profile, std::string const& folder,
                     CCVSThreadBreaker* breaker);
    ~CCVSClientThread() override;

    // ---- Operations subclasses override --------------------------------
    virtual bool SendRequests(CCVSJob* job, char* command) = 0;
    virtual void ExecuteCVSCommand();
    virtual void PreprocessCVSCommand() {}
    virtual void PostprocessCVSCommand();
    // Dispatches one response; true when the conversation is finished.
    virtual bool ProcessSingleResponse(CString const& name, CString const& args);
    virtual bool ProcessStdout(CString const& text);
    virtual bool ProcessStderr(CString const& text);
    virtual bool HandleError(CString const& text);
    virtual bool HandleOK(CString const& text);
    virtual void FlushCVSTree() {}
    virtual bool HaveSession() const = 0;
    virtual CString AskRoot() = 0;
    virtual CString AskUser() = 0;
    virtual CString AskPassword() = 0;
    virtual CString AskHost() = 0;
    virtual unsigned short AskPort() = 0;

    // ---- Services for the operations -----------------------------------
    // False when the operation must stop (the user aborted). Updates the
    // status line, yields and reads the breaker at most every 0.1 s.
    bool UpdateYieldAndCheckAbort();
    // Lets other threads run; raises kCVSErrMainThreadDead when the main
    // thread does not answer.
    void SafeYield();
    // At most once a second unless forced: writes unsaved tree changes and
    // refreshes the log. Also called by the yielder on the main thread.
    void FlushStuff(bool force);
    // The statistics line: in the status line, or logged when final.
    void UpdateStatus(bool final);
    // Cancels what the transport is blocked in; once only.
    void StartDisconnect();
    void AcceptRemoteDisconnect();
    // The user's Stop: cancels the transport call the thread waits in. Called
    // by the breaker on the main thread, with the baton, so the transport
    // cannot be swapped or deleted meanwhile.
    void AbortBlockedCall();

    // Sends raw request text on the conversation's transport. Requests are
    // gathered and go out together before the next receive (or once a
    // buffer's worth is waiting), so that a conversation costs a few packets
    // rather than one per request line.
    void Send(char const* text);
    void Send(CString const& text) { Send(text.c_str()); }
    void SendData(void const* data, unsigned long len);
    // Puts the gathered requests on the wire.
    void FlushSends();
    // Sends prefix, value (a null value as empty) and a line feed.
    void SendLine(char const* prefix, CString const& value);

    // The transport, with every gathered request sent: whoever uses it
    // directly sees the stream in order.
    CHosePipe* HosePipe()
    {
        FlushSends();
        return mHosePipe;
    }
    CLoginProfile const& LoginProfile() const { return mLoginProfile; }
    CCVSJob* Job() const { return mJob; }
    CCVSThreadBreaker* Breaker() const { return mBreaker; }
    short ErrorLevel() const { return mErrorLevel; }
    bool Aborted() const { return mAborted; }
    bool CommandStageReached() const { return mCommandStageReached; }
    short ViewUpdateKind() const { return mViewUpdateKind; }
    CString const& ModeText() const { return mModeText; }
    std::string const& BaseFolder() const { return mBaseFolder; }
    // The tree whose children are the top folders operated on, and the node
    // the conversation works relative to ("Directory ." refers to it; null
    // until the command starts).
    CCVSVInfTree* VInfParent() const { return mVInfParent; }
    CCVSVInfTree* VInfBase() const { return mVInfBase; }

    // CErrorMinder: the log raises the level of the messages logged while
    // this thread runs.
    void RaiseLevel(short level) override;

    // Longest response name and argument text the response loop accepts; a
    // longer one is a protocol error that ends the conversation.
    static constexpr std::size_t kMaxResponseName = 1024;
    static constexpr std::size_t kMaxResponseArgs = 32u * 1024 * 1024;

protected:
    void Run() override;
    void RunEscaped(std::exception_ptr error) override;

    // Reads and dispatches responses until the conversation is finished or the
    // user aborts. Returns the last dispatch result.
    bool ProcessResponses();

    // Responses that change the sandbox tree or carry files. The default
    // cannot take them: it logs them and ends the conversation, since the
    // lines that follow them would otherwise be read as responses.
    virtual bool ProcessTreeResponse(CString const& name, CString const& args);
    // Chooses mVInfBase: the highest selected node under the first child of
    // mVInfParent if there is such a child, else mVInfParent itself.
    virtual void ChooseWorkingBase();
    // A thread bound to a sandbox works on the session's tree (not owned)
    // instead of a root of its own.
    void UseTree(CCVSVInfTree* tree);
    // After the conversation (also after failures): filter and recount the
    // tree of the folder operated on.
    virtual void PostprocessTree() {}

    // Reads one line of at most `max` bytes into the line buffer. Returns the
    // stopping byte (line feed or term) or 0 when the line was longer or the
    // stream ended; `len` receives the bytes read.
    char ReceiveShortLine(unsigned long max, unsigned long& len, char term = '\n');

    std::vector<char> mLineBuffer;  // BufferSize() + 1 bytes
    int mExpectedFinalResponses = 1;
    CCVSVInfTree* mVInfParent = nullptr;
    CCVSVInfTree* mVInfBase = nullptr;
    short mViewUpdateKind = kViewStatusOnly;
    CString mModeText;

private:
    void Converse();
    void MakeTransport();
    bool ProfileFieldsSafe();
    void Authenticate();
    std::string ReadAuthenticationTail();
    void ReportFailure(std::int32_t code);
    void DiscardSends();
    void NoteUserAbort();
    void EndConversation();
    char ReadResponsePart(std::vector<char>& buf, std::size_t& used, char term, std::size_t limit,
                          std::size_t step);

    short mErrorLevel = 0;
    CHosePipe* mHosePipe = nullptr;
    std::string mPendingSends;
    bool mDisconnecting = false;
    bool mCompressing = false;
    bool mAuthenticating = false;
    CYielder mYielder;
    unsigned long mLastYieldTime = 0;
    bool mAborted = false;
    bool mAbortLogged = false;
    CCVSThreadBreaker* mBreaker;
    bool mCommandStageReached = false;
    unsigned long mLastFlushTime = 0;
    std::chrono::steady_clock::time_point mConnectStart{};
    std::string mBaseFolder;
    bool mOwnsVInfParent = true;
    CCVSJob* mJob;
    CLoginProfile mLoginProfile;
};

class CCVSClientNonSessThread : public CCVSClientThread {
public:
    CCVSClientNonSessThread(CCVSJob* job, CLoginProfile const& profile, std::string const& folder,
                            CCVSThreadBreaker* breaker);
    ~CCVSClientNonSessThread() override;

    bool HaveSession() const override { return false; }
    CString AskRoot() override;
    CString AskUser() override;
    CString AskPassword() override;
    CString AskHost() override;
    unsigned short AskPort() override;

    virtual void SendCommand() = 0;
};
