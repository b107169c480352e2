#include "operations/CVSTester.h"

#include <sys/stat.h>

#include <cstdlib>

#include "engine/EngineErrors.h"
#include "transport/HosePipe.h"

CCVSTester::CCVSTester(CCVSJob* job, CLoginProfile const& profile, CCVSThreadBreaker* breaker,
                       unsigned short mode)
    : CCVSClientNonSessThread(job, profile, TesterFolder(), breaker), mMode(mode)
{
}

std::string CCVSTester::TesterFolder()
{
    // The desktop, where the log saves its files; the tester never writes
    // there, so a missing desktop is not created: the home folder serves.
    struct stat st;
    std::string desktop = CConsole::DesktopFolder();
    if (stat(desktop.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return desktop;
    char const* home = std::getenv("HOME");
    if (home && *home == '/' && stat(home, &st) == 0 && S_ISDIR(st.st_mode))
        return home;
    return "/";
}

void CCVSTester::SendCommand()
{
    Send("co\n");
}

bool CCVSTester::SendRequests(CCVSJob* job, char* command)
{
    FW_CHECK(!job && !command);
    Send("Argument -c\n");
    SendCommand();
    return true;
}

void CCVSTester::ExecuteCVSCommand()
{
    switch (mMode) {
    case kLoginTest:
        ProveLogin();
        break;
    case kListModules:
        CCVSClientNonSessThread::ExecuteCVSCommand();
        break;
    default:
        FW_FAIL("CCVSTester::ExecuteCVSCommand() : what???");
        break;
    }
}

void CCVSTester::ProveLogin()
{
    // Only the password server checks the root while logging in; the other
    // methods start a server that has not looked at the repository yet. Ask
    // it to open the root and answer a "noop" before calling the login good.
    mProving = true;
    SendLine("Root ", AskRoot());
    Send("noop\n");
    ProcessResponses();
    mProving = false;
    if (mProven && !Aborted())
        GAlert(kAlertNote, "Login for \xD2%s\xD3 succeeded.", LoginProfile().InfoString().c_str());
}

bool CCVSTester::ProcessSingleResponse(CString const& name, CString const& args)
{
    if (name == "E" || name == "M" || name == "F" || name == "error")
        return CCVSClientNonSessThread::ProcessSingleResponse(name, args);
    if (name == "ok") {
        if (mProving)
            mProven = true;
        else
            GLogPrintf(1, "OK.");
        return true;
    }
    ThrowHoseCode(kCVSErrUnexpectedResponse);
}
