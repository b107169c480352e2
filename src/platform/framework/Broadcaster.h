#pragma once
// Broadcasters and listeners: one object tells any number of others about
// changes by message number. Either side may go away first; a listener may
// stop listening (or be deleted) while a message is being broadcast.

#include <vector>

class CBroadcaster;

class CListener {
public:
    CListener() = default;
    virtual ~CListener();
    CListener(CListener const&) = delete;
    CListener& operator=(CListener const&) = delete;

    virtual void ListenToMessage(long message, void* param) = 0;

private:
    friend class CBroadcaster;
    std::vector<CBroadcaster*> mBroadcasters;
};

class CBroadcaster {
public:
    CBroadcaster() = default;
    virtual ~CBroadcaster();
    CBroadcaster(CBroadcaster const&) = delete;
    CBroadcaster& operator=(CBroadcaster const&) = delete;

    void AddListener(CListener* listener);
    void RemoveListener(CListener* listener);
    bool HasListener(CListener* listener) const;
    void BroadcastMessage(long message, void* param = nullptr);

private:
    friend class CListener;
    void Forget(CListener* listener);
    std::vector<CListener*> mListeners;
    // Depth of BroadcastMessage calls, so removals during one leave holes
    // that are swept afterwards.
    int mBroadcasting = 0;
};
