#include "platform/framework/Broadcaster.h"

#include <algorithm>

CListener::~CListener()
{
    for (CBroadcaster* b : mBroadcasters)
        b->Forget(this);
}

CBroadcaster::~CBroadcaster()
{
    for (CListener* l : mListeners)
        if (l) {
            auto& v = l->mBroadcasters;
            v.erase(std::remove(v.begin(), v.end(), this), v.end());
        }
}

void CBroadcaster::AddListener(CListener* listener)
{
    if (!listener || HasListener(listener))
        return;
    mListeners.push_back(listener);
    listener->mBroadcasters.push_back(this);
}

void CBroadcaster::RemoveListener(CListener* listener)
{
    if (!listener || !HasListener(listener))
        return;
    auto& v = listener->mBroadcasters;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    Forget(listener);
}

bool CBroadcaster::HasListener(CListener* listener) const
{
    return listener && std::find(mListeners.begin(), mListeners.end(), listener) != mListeners.end();
}

void CBroadcaster::Forget(CListener* listener)
{
    for (auto& l : mListeners)
        if (l == listener)
            l = nullptr;
    if (mBroadcasting == 0)
        mListeners.erase(std::remove(mListeners.begin(), mListeners.end(), nullptr), mListeners.end());
}

void CBroadcaster::BroadcastMessage(long message, void* param)
{
    ++mBroadcasting;
    // Listeners added during the broadcast hear the next message only.
    size_t const n = mListeners.size();
    for (size_t i = 0; i < n; ++i)
        if (CListener* l = mListeners[i])
            l->ListenToMessage(message, param);
    if (--mBroadcasting == 0)
        mListeners.erase(std::remove(mListeners.begin(), mListeners.end(), nullptr), mListeners.end());
}
