#include "platform/framework/Commander.h"

#include <algorithm>

CCommander* CCommander::sTarget = nullptr;
CCommander* CCommander::sRoot = nullptr;

CCommander::CCommander(CCommander* super)
{
    SetSuperCommander(super);
}

CCommander::~CCommander()
{
    // Subcommanders outlive their super only by mistake; make them roots
    // rather than leave them pointing at a dead object.
    for (CCommander* sub : mSubs)
        sub->mSuper = nullptr;
    mSubs.clear();
    SetSuperCommander(nullptr);
    if (sTarget == this)
        sTarget = nullptr;
    if (sRoot == this)
        sRoot = nullptr;
}

void CCommander::SetSuperCommander(CCommander* super)
{
    if (super == mSuper)
        return;
    // Refuse cycles: a commander cannot be its own ancestor.
    for (CCommander* c = super; c; c = c->mSuper)
        if (c == this)
            return;
    if (mSuper) {
        auto& subs = mSuper->mSubs;
        subs.erase(std::remove(subs.begin(), subs.end(), this), subs.end());
    }
    mSuper = super;
    if (mSuper)
        mSuper->mSubs.push_back(this);
}

bool CCommander::ObeyCommand(long command, void* param)
{
    return mSuper ? mSuper->ObeyCommand(command, param) : false;
}

void CCommander::FindCommandStatus(long command, SCommandStatus& status)
{
    if (mSuper)
        mSuper->FindCommandStatus(command, status);
    else
        status.enabled = false;
}

CCommander* CCommander::GetTarget()
{
    return sTarget ? sTarget : sRoot;
}

void CCommander::SetTarget(CCommander* target)
{
    sTarget = target;
}

bool CCommander::ProcessCommand(long command, void* param)
{
    CCommander* t = GetTarget();
    if (!t)
        return false;
    // A command that is not enabled right now is not carried out, even when
    // it arrives by a shortcut while its menu was never opened.
    if (!ProcessCommandStatus(command).enabled)
        return false;
    return t->ObeyCommand(command, param);
}

SCommandStatus CCommander::ProcessCommandStatus(long command)
{
    SCommandStatus status;
    if (CCommander* t = GetTarget())
        t->FindCommandStatus(command, status);
    return status;
}

long CCommander::BaseCommand(long command, bool* option)
{
    bool const variant = command >= 1101 && command <= 1199;
    if (option)
        *option = variant;
    return variant ? command - 100 : command;
}
