#include "engine/CVSClientThread.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/ConversationFailures.h"
#include "engine/EngineErrors.h"
#include "engine/TransferStatistics.h"
#include "platform/MacClock.h"
#include "platform/MacFiles.h"
#include "transport/ExecHosePipe.h"
#include "transport/GZIPHosePipe.h"
#include "transport/HosePipe.h"
#include "transport/Scramble.h"
#include "transport/TCPHosePipe.h"
#include "transport/ThrottledHosePipe.h"

namespace {

char const kValidResponses[] =
    "Valid-responses ok error Valid-requests Checked-in New-entry Updated Created Update-existing Merged "
    "Removed Remove-entry Copy-file Set-static-directory Clear-static-directory Set-sticky Clear-sticky "
    "Notified Mode M E F\n";

char const kAccessDenied[] = "CVS access denied for \xD2%s\xD3. Please check login profile details.";
char const kAccessGranted[] = "CVS access granted for \xD2%s\xD3.";

// How often the yielder runs (every fourth call flushes and yields).
constexpr std::chrono::milliseconds kYielderPeriod{16};

// How long SafeYield waits for the main thread before it gives up on it.
constexpr std::chrono::milliseconds kMainThreadPatience{5000};

bool HasControlChar(CString const& s)
{
    for (char const* p = s.c_str(); p && *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// Wipes a secret before its memory is given back.
void Wipe(char* p, std::size_t n)
{
    volatile char* v = p;
    while (n--)
        *v++ = 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// CYielder

void CYielder::SpendTime()
{
    mMainThreadAlive.store(true);
    if (mCounter < mPeriod) {
        ++mCounter;
        return;
    }
    mCounter = 0;
    mThread->FlushStuff(false);
    YieldBaton();
}

// ---------------------------------------------------------------------------
// Construction and destruction

CCVSClientThread::CCVSClientThread(CCVSJob* job, CLoginProfile const& profile, std::string const& folder,
                                   CCVSThreadBreaker* breaker)
    : mYielder(this), mBreaker(breaker), mBaseFolder(folder), mJob(job), mLoginProfile(profile)
{
    // A buffer below 1 KiB gains nothing; a buffer above the throughput limit
    // would make one block exceed what the throttle may send at once.
    FW_CHECK(!mLoginProfile.HaveThroughputLimit() || mLoginProfile.ThroughputLimit() >= 1024);
    FW_CHECK(mLoginProfile.BufferSize() >= 1024);
    if (mLoginProfile.BufferSize() < 1024)
        mLoginProfile.SetBufferSize(1024);
    if (mLoginProfile.HaveThroughputLimit()) {
        if (mLoginProfile.ThroughputLimit() < 1024)
            mLoginProfile.SetThroughputLimit(1024);
        if (mLoginProfile.BufferSize() > mLoginProfile.ThroughputLimit())
            mLoginProfile.SetBufferSize(mLoginProfile.ThroughputLimit());
    }
    mLineBuffer.assign(static_cast<std::size_t>(mLoginProfile.BufferSize()) + 1, 0);

    mVInfParent = new CCVSVInfTree(CString("_"), nullptr);
    if (!folder.empty()) {
        int16_t vRefNum = 0;
        int32_t dirID = 0;
        if (FW_CHECK(GetDirIDFromPath(folder, &vRefNum, &dirID) == noErr))
            mVInfParent->SetMacFolder(vRefNum, dirID);
    }

    // Called about as often as an idle loop passes when nothing happens; a
    // period of zero would keep the main loop spinning for the baton.
    mYielder.StartIdling(kYielderPeriod);
    if (mBreaker)
        mBreaker->Attach(this);
    if (gConsoleP)
        gConsoleP->BufferUpdate();
}

CCVSClientThread::~CCVSClientThread()
{
    if (mBreaker)
        mBreaker->Detach(this);
    mYielder.StopIdling();
    GLogStatusPrintf("off line.");
    delete mJob;
    mJob = nullptr;
    if (mOwnsVInfParent)
        delete mVInfParent;
    mVInfParent = nullptr;
    mVInfBase = nullptr;
    if (gConsoleP)
        gConsoleP->UnBufferUpdate();
    delete mHosePipe;
    mHosePipe = nullptr;
}

void CCVSClientThread::RaiseLevel(short level)
{
    if (level > mErrorLevel)
        mErrorLevel = level;
}

// ---------------------------------------------------------------------------
// The thread's body

void CCVSClientThread::Run()
{
    StErrorMinder minder(this);
    try {
        Converse();
    } catch (CHoseException const& e) {
        GLogPrintf(4, "%s", ConnectFailureText(e.Code(), AskHost().c_str(), AskPort()).c_str());
    } catch (...) {
        GLogPrintf(4, "%s", ConnectFailureText(-1, AskHost().c_str(), AskPort()).c_str());
    }
    try {
        PostprocessTree();
    } catch (...) {
        FW_FAIL("CCVSClientThread::Run(): tree post-processing failed");
    }
    EndConversation();
}

void CCVSClientThread::RunEscaped(std::exception_ptr)
{
    // Run() catches everything; reaching here means EndConversation itself
    // failed. The object is still destroyed on the main thread.
    FW_FAIL("CCVSClientThread::Run(): exception escaped");
}

bool CCVSClientThread::ProfileFieldsSafe()
{
    // Every one of these goes on the wire or onto a command line; a line feed
    // in any of them would add requests or arguments of its own.
    if (!mLoginProfile.WireFieldsClean() || HasControlChar(AskRoot()) || HasControlChar(AskUser()) || HasControlChar(AskPassword()) ||
        HasControlChar(AskHost()) || HasControlChar(mLoginProfile.CVSCommand())) {
        GLogPrintf(4, "Login profile \xD2%s\xD3 holds a control character; nothing was sent.",
                   mLoginProfile.Description().c_str());
        return false;
    }
    return true;
}

void CCVSClientThread::MakeTransport()
{
    CLoginProfile const& p = mLoginProfile;
    unsigned short timeout = p.TimeOut();
    switch (p.LoginMethod()) {
    case kLoginPserver:
        mHosePipe = new CTCPHosePipe(AskHost(), p.Port(), timeout, false);
        break;
    case kLoginRSH:
        mHosePipe = MakeRSHHosePipe(AskHost(), AskUser(), timeout, p.CVSCommand());
        break;
    case kLoginLocal:
        mHosePipe = MakeLocalHosePipe(timeout, p.CVSCommand());
        break;
    case kLoginSSH1:
    case kLoginSSH2:
        mHosePipe = MakeSSHHosePipe(p.LoginMethod() == kLoginSSH1 ? "-1" : "-2", AskHost(), p.Port(), AskUser(),
                                    AskPassword(), timeout, p.CVSCommand());
        break;
    case kLoginRSHPassive:
        GLogPrintf(4, "Login method not supported in Mac OS X version of Fennelwright.");
        GLogPrintf(4, kAccessDenied, p.InfoString().c_str());
        break;
    default:
        FW_FAIL("Bad login method.");
        break;
    }
    mConnectStart = std::chrono::steady_clock::now();
}

void CCVSClientThread::Converse()
{
    if (!ProfileFieldsSafe())
        return;
    MakeTransport();
    if (!mHosePipe || !mHosePipe->OK())
        return;
    if (mLoginProfile.HaveThroughputLimit())
        mHosePipe = new CThrottledHosePipe(mHosePipe, mLoginProfile.ThroughputLimit());

    CString info = mLoginProfile.InfoString();
    GLogStatusPrintf("Connecting \xD2%s\xD3\xC9", info.c_str());
    YieldBaton();

    try {
        Authenticate();
    } catch (CHoseException const& e) {
        ReportFailure(e.Code());
    } catch (std::bad_alloc const&) {
        ReportFailure(-108);  // out of memory
    } catch (std::exception const&) {
        ReportFailure(-1);
    }
}

char CCVSClientThread::ReceiveShortLine(unsigned long max, unsigned long& len, char term)
{
    if (max + 1 > mLineBuffer.size())
        max = static_cast<unsigned long>(mLineBuffer.size() - 1);
    FlushSends();
    len = max;
    char stop = mHosePipe->ReceiveLine(mLineBuffer.data(), len, term);
    if (len > max)
        len = max;
    mLineBuffer[len] = 0;
    return stop;
}

void CCVSClientThread::Authenticate()
{
    CLoginProfile const& p = mLoginProfile;
    CString info = p.InfoString();
    bool pserver = p.LoginMethod() == kLoginPserver;
    std::string reply = "I LOVE YOU";

    if (pserver) {
        mAuthenticating = true;
        Send("BEGIN AUTH REQUEST\n");
        SendLine("", AskRoot());
        SendLine("", AskUser());
        CString password = AskPassword();
        char* scrambled = scramble(password.c_str());
        if (password.Buffer())
            Wipe(password.Buffer(), static_cast<std::size_t>(password.Length()));
        try {
            Send(scrambled);
        } catch (...) {
            Wipe(scrambled, std::strlen(scrambled));
            delete[] scrambled;
            throw;
        }
        Wipe(scrambled, std::strlen(scrambled));
        delete[] scrambled;
        Send("\nEND AUTH REQUEST\n");

        unsigned long len = 0;
        char stop = ReceiveShortLine(255, len);
        if (stop == 0 && len < 255)  // the server closed without a word
            ThrowHoseCode(kHoseRemoteOrderlyDisconnect);
        reply.assign(mLineBuffer.data(), len);
        mAuthenticating = false;
    }

    if (reply == "I HATE YOU") {
        GLogPrintf(4, kAccessDenied, info.c_str());
        StartDisconnect();
        return;
    }
    if (reply != "I LOVE YOU") {
        bool told = false;
        if (reply.compare(0, 2, "E ") == 0) {
            GLogPrintf(4, "%s", reply.c_str() + 2);
            told = true;
            // The reason often follows ("E Fatal error, aborting." and then
            // "error 0 <user>: no such user"): show it too.
            reply = ReadAuthenticationTail();
        }
        if (reply.compare(0, 6, "error ") == 0) {
            // "error <code> <text>": the server refused the login.
            std::size_t text = reply.find(' ', 6);
            GLogPrintf(3, "%s", text == std::string::npos ? reply.c_str() : reply.c_str() + text + 1);
            if (!told)
                GLogPrintf(4, kAccessDenied, info.c_str());
        } else if (reply == "I HATE YOU") {
            if (!told)
                GLogPrintf(4, kAccessDenied, info.c_str());
        } else if (told) {
            if (!reply.empty())
                GLogPrintf(3, "%s", reply.c_str());
        } else {
            GLogPrintf(2, "Response unexpected:");
            GLogPrintf(2, "%s", reply.c_str());
            GLogPrintf(4, kAccessDenied, info.c_str());
        }
        StartDisconnect();
        return;
    }

    if (pserver)
        GLogPrintf(0, kAccessGranted, info.c_str());
    Send(kValidResponses);
    Send("valid-requests\n");

    // Skip the server's list of valid requests.
    for (;;) {
        unsigned long len = 0;
        char stop = ReceiveShortLine(60, len);
        if (stop != 0 || len == 0)
            break;
    }
    unsigned long len = 0;
    ReceiveShortLine(60, len);
    std::string answer(mLineBuffer.data(), len);
    if (answer != "ok") {
        GLogPrintf(3, "CVS server says \xD2%s\xD3", answer.c_str());
        if (pserver)
            GLogPrintf(4, "CVS server is not responding as expected.");
        else
            GLogPrintf(4, kAccessDenied, info.c_str());
        StartDisconnect();
        return;
    }
    short method = p.LoginMethod();
    if (method == kLoginRSH || method == kLoginRSHPassive)
        GLogPrintf(0, kAccessGranted, info.c_str());
    GLogStatusPrintf("Connected \xD2%s\xD3.", info.c_str());
    ExecuteCVSCommand();
}

std::string CCVSClientThread::ReadAuthenticationTail()
{
    // Further "E" lines are logged; the first other line is returned ("" when
    // the server has closed the connection).
    for (int lines = 0; lines < 20; ++lines) {
        unsigned long len = 0;
        char stop = 0;
        try {
            stop = ReceiveShortLine(255, len);
        } catch (CHoseException const& e) {
            if (e.Code() == kHoseRemoteOrderlyDisconnect || e.Code() == kHoseRemoteDisconnect)
                return {};
            throw;
        }
        if (stop == 0 && len < 255)
            return {};
        std::string line(mLineBuffer.data(), len);
        if (line.compare(0, 2, "E ") != 0)
            return line;
        GLogPrintf(3, "%s", line.c_str() + 2);
    }
    return {};
}

void CCVSClientThread::ReportFailure(std::int32_t code)
{
    if (code == kHoseOperationAborted && mBreaker &&
        mBreaker->CVSOperationStatus() == CCVSThreadBreaker::kAbort) {
        // The user's Stop cancelled what the thread was waiting for.
        mAborted = true;
        NoteUserAbort();
        mAuthenticating = false;
        return;
    }
    CString info = mLoginProfile.InfoString();
    if (code == kHoseRemoteOrderlyDisconnect)
        AcceptRemoteDisconnect();
    else
        GLogPrintf(4, "%s", ConversationFailureText(code, info.c_str()).c_str());
    if (mAuthenticating && (code == kHoseRemoteOrderlyDisconnect || code == kHoseRemoteDisconnect)) {
        // A password server that does not serve the root closes the
        // connection without a word.
        GLogPrintf(4, kAccessDenied, info.c_str());
    }
    mAuthenticating = false;
}

void CCVSClientThread::EndConversation()
{
    DiscardSends();
    mDisconnecting = true;
    if (!mHosePipe)
        return;
    try {
        UpdateStatus(true);
    } catch (...) {
    }
    try {
        delete mHosePipe;
    } catch (CHoseException const& e) {
        GLogPrintf(4, "Ooops... CCVSClientThread::CloseNet() failed. [error = %ld]", static_cast<long>(e.Code()));
    } catch (...) {
        GLogPrintf(4, "Ooops... CCVSClientThread::CloseNet() failed. [error = %ld]", -1L);
    }
    mHosePipe = nullptr;
}

// ---------------------------------------------------------------------------
// The command

void CCVSClientThread::Send(char const* text)
{
    if (text)
        SendData(text, static_cast<unsigned long>(std::strlen(text)));
}

void CCVSClientThread::SendData(void const* data, unsigned long len)
{
    mPendingSends.append(static_cast<char const*>(data), len);
    if (mPendingSends.size() >= mLoginProfile.BufferSize())
        FlushSends();
}

void CCVSClientThread::FlushSends()
{
    if (mPendingSends.empty() || !mHosePipe)
        return;
    try {
        mHosePipe->SendData(mPendingSends.data(), static_cast<unsigned long>(mPendingSends.size()));
    } catch (...) {
        DiscardSends();
        throw;
    }
    DiscardSends();
}

void CCVSClientThread::DiscardSends()
{
    // The gathered text may hold the scrambled password.
    Wipe(mPendingSends.data(), mPendingSends.size());
    mPendingSends.clear();
}

void CCVSClientThread::SendLine(char const* prefix, CString const& value)
{
    std::string line(prefix);
    if (value.c_str())
        line += value.c_str();
    line += '\n';
    Send(line.c_str());
}

void CCVSClientThread::ExecuteCVSCommand()
{
    SendLine("Root ", AskRoot());
    mCommandStageReached = true;

    short level = mLoginProfile.CompressionLevel();
    if (level != 0) {
        char line[40];
        FormatBoundedF(line, sizeof line, "Gzip-stream %ld\n", static_cast<long>(level));
        Send(line);
        FlushSends();
        mHosePipe = new CGZIPHosePipe(mHosePipe, static_cast<unsigned short>(level), mLoginProfile.BufferSize());
        mCompressing = true;
    }

    ChooseWorkingBase();
    if (!mVInfBase) {
        // Nothing to work relative to (a sandbox with nothing selected).
        GLogPrintf(3, "Nothing selected to send to CVS server \xD2%s\xD3.", AskHost().c_str());
        StartDisconnect();
        return;
    }
    std::string basePath;
    if (GetDirPath(static_cast<int32_t>(mVInfBase->DirID()), basePath) != noErr)
        basePath = mBaseFolder;
    static char const kBaseFormat[] = "CVS base folder . is \xD2%s\xD3";
    CString base(basePath.c_str());
    base.ShortenAtFrontTo(257 - static_cast<long>(std::strlen(kBaseFormat)), true);
    GLogPrintf(0, kBaseFormat, base.c_str());

    if (SendRequests(nullptr, nullptr)) {
        PreprocessCVSCommand();
        ProcessResponses();
        PostprocessCVSCommand();
    } else {
        if (!mBreaker || mBreaker->CVSOperationStatus() != CCVSThreadBreaker::kAbort)
            GLogPrintf(4, "Failed to send requests to CVS server \xD2%s\xD3.", AskHost().c_str());
        StartDisconnect();
    }
}

void CCVSClientThread::ChooseWorkingBase()
{
    CDirData* top = mVInfParent ? mVInfParent->Contents() : nullptr;
    if (top && top->mChildren.Count() > 0)
        mVInfBase = top->mChildren[0]->FindHighestSelection();
    else
        mVInfBase = mVInfParent;
}

void CCVSClientThread::UseTree(CCVSVInfTree* tree)
{
    if (mOwnsVInfParent)
        delete mVInfParent;
    mVInfParent = tree;
    mOwnsVInfParent = false;
}

void CCVSClientThread::PostprocessCVSCommand()
{
    if (!mJob || !mJob->Option(CCVSJob::kPruneEmptyFolders) || !mVInfParent || !mVInfParent->Contents())
        return;
    TPtrArray<CCVSVInfTree>& children = mVInfParent->Contents()->mChildren;
    for (int i = 0; i < children.Count(); ++i)
        if (children[i]->PruneEmptyFolders(1, HaveSession()) > 0)
            mViewUpdateKind = kViewRescan;
}

// ---------------------------------------------------------------------------
// The response loop

char CCVSClientThread::ReadResponsePart(std::vector<char>& buf, std::size_t& used, char term, std::size_t limit,
                                        std::size_t step)
{
    FlushSends();
    for (;;) {
        if (buf.size() < used + 2) {
            if (buf.size() >= limit + 1) {
                GLogPrintf(3, "A response from the CVS server is longer than %lu bytes.",
                           static_cast<unsigned long>(limit));
                ThrowHoseCode(kCVSErrUnexpectedResponse);
            }
            // Grow geometrically: a long line must not cost a copy per block.
            std::size_t want = std::max(buf.size() * 2, buf.size() + step);
            buf.resize(std::min(want, limit + 1));
        }
        unsigned long room = static_cast<unsigned long>(buf.size() - used - 1);
        unsigned long len = room;
        char stop = mHosePipe->ReceiveLine(buf.data() + used, len, term);
        if (len > room)
            len = room;
        used += len;
        if (stop != 0)
            return stop;
        if (len < room) {
            // The transport ran out of data in the middle of a response: the
            // server has gone.
            ThrowHoseCode(kHoseRemoteDisconnect);
        }
    }
}

bool CCVSClientThread::ProcessResponses()
{
    std::vector<char> name(100 + 1);
    std::vector<char> args(static_cast<std::size_t>(mLoginProfile.BufferSize()) + 1);
    bool finished = false;
    while (!finished && UpdateYieldAndCheckAbort()) {
        std::size_t nameLen = 0;
        std::size_t argsLen = 0;
        char stop = ReadResponsePart(name, nameLen, ' ', kMaxResponseName, 100);
        if (stop != '\n')
            ReadResponsePart(args, argsLen, '\n', kMaxResponseArgs, mLoginProfile.BufferSize());
        CString n(name.data(), static_cast<int>(nameLen));
        CString a(args.data(), static_cast<int>(argsLen));
        finished = ProcessSingleResponse(n, a);
    }
    UpdateStatus(false);
    FlushStuff(true);
    return finished;
}

bool CCVSClientThread::ProcessSingleResponse(CString const& name, CString const& args)
{
    if (name == "E")
        return ProcessStderr(args);
    if (name == "M")
        return ProcessStdout(args);
    if (name == "F")
        return false;
    if (name == "Mode") {
        mModeText = args;
        return false;
    }
    if (name == "ok") {
        if (--mExpectedFinalResponses <= 0) {
            HandleOK("OK.");
            return true;
        }
        return false;
    }
    if (name == "error") {
        // A subclass may take an error as an expected outcome (a diff that
        // found differences); the conversation then goes on to the next
        // final response like after "ok".
        if (HandleError(args))
            return --mExpectedFinalResponses <= 0;
        return true;
    }
    static char const* const kTreeResponses[] = {
        "Copy-file", "Checked-in", "New-entry", "Set-sticky", "Clear-sticky", "Set-static-directory",
        "Clear-static-directory", "Removed", "Remove-entry", "Updated", "Update-existing", "Created",
        "Merged", "Notified",
    };
    for (char const* r : kTreeResponses)
        if (name == r)
            return ProcessTreeResponse(name, args);
    GLogPrintf(2, "Unexpected response and arguments:");
    GLogPrintf(2, "%s: %s", name.c_str(), args.c_str());
    return false;
}

bool CCVSClientThread::ProcessTreeResponse(CString const& name, CString const& args)
{
    GLogPrintf(2, "Unexpected response and arguments:");
    GLogPrintf(2, "%s: %s", name.c_str(), args.c_str());
    ThrowHoseCode(kCVSErrUnexpectedResponse);
}

bool CCVSClientThread::ProcessStdout(CString const& text)
{
    GLogCString(0, text.IsNull() ? CString("") : text);
    return false;
}

bool CCVSClientThread::ProcessStderr(CString const& text)
{
    GLogCString(1, text.IsNull() ? CString("") : text);
    return false;
}

bool CCVSClientThread::HandleError(CString const& text)
{
    short level = std::clamp<short>(mErrorLevel, 1, 3);
    if (text.Empty() || text == " ")
        GLogPrintf(level, "Failure.");
    else
        GLogPrintf(level, "Failure: %s.", text.c_str());
    return false;
}

bool CCVSClientThread::HandleOK(CString const& text)
{
    if (mErrorLevel > 1)
        GLogPrintf(std::min<short>(mErrorLevel, 3), "Failure.");
    else
        GLogPrintf(1, "%s", text.c_str());
    return true;
}

// ---------------------------------------------------------------------------
// Yields, aborts, flushes, statistics

bool CCVSClientThread::UpdateYieldAndCheckAbort()
{
    if (mAborted)
        return false;
    unsigned long now = TickCount();
    if (now - mLastYieldTime < 6)
        return true;
    mLastYieldTime = now;
    UpdateStatus(false);
    do {
        SafeYield();
    } while (mBreaker && mBreaker->CVSOperationStatus() == CCVSThreadBreaker::kPause);
    if (mBreaker && mBreaker->CVSOperationStatus() == CCVSThreadBreaker::kAbort) {
        mAborted = true;
        NoteUserAbort();
    }
    return !mAborted;
}

void CCVSClientThread::NoteUserAbort()
{
    if (mAbortLogged)
        return;
    mAbortLogged = true;
    GLogPrintf(3, "User ABORTED operation.");
}

void CCVSClientThread::AbortBlockedCall()
{
    if (mHosePipe && !mDisconnecting)
        mHosePipe->AbortThreadOperation();
}

void CCVSClientThread::SafeYield()
{
    YieldBaton();
    if (mYielder.MainThreadAlive())
        return;
    if (HaveMainLoop())
        YieldToMainThread(kMainThreadPatience);
    if (!mYielder.MainThreadAlive())
        ThrowHoseCode(kCVSErrMainThreadDead);
}

void CCVSClientThread::FlushStuff(bool force)
{
    unsigned long now = TickCount();
    if (!force && now - mLastFlushTime < 60)
        return;
    mLastFlushTime = now;
    FlushCVSTree();
    if (gConsoleP)
        gConsoleP->DoRefresh();
}

void CCVSClientThread::UpdateStatus(bool final)
{
    if (!mHosePipe)
        return;
    STransferCounts c;
    c.sent = mHosePipe->SentBytes();
    c.received = mHosePipe->ReceivedBytes();
    if (mCompressing && mHosePipe->HoseNext()) {
        c.compressed = true;
        c.wireSent = mHosePipe->HoseNext()->SentBytes();
        c.wireReceived = mHosePipe->HoseNext()->ReceivedBytes();
        c.level = static_cast<unsigned short>(mLoginProfile.CompressionLevel());
    }
    // Elapsed time on the monotonic clock: a change of the wall clock (or of
    // daylight saving time) must not make it negative.
    auto elapsed = std::chrono::steady_clock::now() - mConnectStart;
    c.elapsed = static_cast<unsigned long>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
    std::string line = FormatTransferStatistics(c);
    if (final)
        GLogPrintf(0, "[%s]", line.c_str());
    else
        GLogStatusPrintf("%s.", line.c_str());
}

void CCVSClientThread::StartDisconnect()
{
    if (mDisconnecting)
        return;
    mDisconnecting = true;
    if (mHosePipe)
        mHosePipe->AbortThreadOperation();
}

void CCVSClientThread::AcceptRemoteDisconnect()
{
    if (mHosePipe)
        mHosePipe->AcceptRemoteDisconnect();
    GLogPrintf(4, "CVS server initiated orderly disconnect.");
}

// ---------------------------------------------------------------------------
// CCVSClientNonSessThread

CCVSClientNonSessThread::CCVSClientNonSessThread(CCVSJob* job, CLoginProfile const& profile,
                                                 std::string const& folder, CCVSThreadBreaker* breaker)
    : CCVSClientThread(job, profile, folder, breaker)
{
    if (breaker)
        breaker->WaitForThread();
}

CCVSClientNonSessThread::~CCVSClientNonSessThread()
{
    if (Breaker())
        Breaker()->ThreadFinished();
}

CString CCVSClientNonSessThread::AskRoot()
{
    return LoginProfile().Root();
}

CString CCVSClientNonSessThread::AskUser()
{
    return LoginProfile().User();
}

CString CCVSClientNonSessThread::AskPassword()
{
    return LoginProfile().Password();
}

CString CCVSClientNonSessThread::AskHost()
{
    return LoginProfile().Host();
}

unsigned short CCVSClientNonSessThread::AskPort()
{
    return LoginProfile().Port();
}
