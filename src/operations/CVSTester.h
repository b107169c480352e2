#pragma once
// The smallest CVS operation: proves that a login profile connects and
// authenticates (mode 0), or lists the modules of its repository in the log
// (mode 1, "checkout -c").

#include "engine/CVSClientThread.h"

class CCVSTester : public CCVSClientNonSessThread {
public:
    enum : unsigned short { kLoginTest = 0, kListModules = 1 };

    // Takes ownership of the job (may be null: the tester sends no job lines).
    CCVSTester(CCVSJob* job, CLoginProfile const& profile, CCVSThreadBreaker* breaker, unsigned short mode);

    unsigned short Mode() const { return mMode; }

    bool SendRequests(CCVSJob* job, char* command) override;
    void ExecuteCVSCommand() override;
    bool ProcessSingleResponse(CString const& name, CString const& args) override;
    void SendCommand() override;

    // The folder the tester works in (it never writes there).
    static std::string TesterFolder();

private:
    void ProveLogin();

    unsigned short mMode;
    bool mProving = false;
    bool mProven = false;
};
