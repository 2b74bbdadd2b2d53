#pragma once

#include <QList>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Delegates that are called from any thread, never with the list's lock held,
// and that may be removed at any time: remove() waits until no other thread is
// still inside a call to the removed delegate, so its owner may destroy it as
// soon as remove() returns. A delegate may remove itself from its own callback.
template <typename Delegate>
class HLVDelegateList
{
public:
    bool add(Delegate* delegate)
    {
        std::lock_guard lock(_mutex);
        if (!delegate || _delegates.contains(delegate))
            return false;
        _delegates.append(delegate);
        return true;
    }

    bool remove(Delegate* delegate)
    {
        if (!delegate)
            return false;
        std::unique_lock lock(_mutex);
        _delegates.removeAll(delegate);
        const auto self = std::this_thread::get_id();
        _callEnded.wait(lock, [&] {
            return std::none_of(_calls.begin(), _calls.end(),
                                [&](const Call& call) { return call.first == delegate && call.second != self; });
        });
        return true;
    }

    // Replaces every delegate by this one (or none), waiting for calls to the old ones.
    void set(Delegate* delegate)
    {
        QList<Delegate*> old;
        {
            std::lock_guard lock(_mutex);
            old = _delegates;
        }
        for (Delegate* d : old) {
            if (d != delegate)
                remove(d);
        }
        add(delegate);
    }

    Delegate* first() const
    {
        std::lock_guard lock(_mutex);
        return _delegates.isEmpty() ? nullptr : _delegates.first();
    }

    bool isEmpty() const
    {
        std::lock_guard lock(_mutex);
        return _delegates.isEmpty();
    }

    // Calls fn(delegate) for each delegate in registration order, skipping one
    // removed meanwhile.
    template <typename Fn>
    void forEach(Fn&& fn)
    {
        QList<Delegate*> snapshot;
        {
            std::lock_guard lock(_mutex);
            snapshot = _delegates;
        }
        for (Delegate* delegate : std::as_const(snapshot)) {
            const Call call{delegate, std::this_thread::get_id()};
            {
                std::lock_guard lock(_mutex);
                if (!_delegates.contains(delegate))
                    continue;
                _calls.push_back(call);
            }
            fn(delegate);
            {
                std::lock_guard lock(_mutex);
                _calls.erase(std::find(_calls.begin(), _calls.end(), call));
            }
            _callEnded.notify_all();
        }
    }

private:
    using Call = std::pair<Delegate*, std::thread::id>;
    mutable std::mutex _mutex;
    std::condition_variable _callEnded;
    QList<Delegate*> _delegates;
    std::vector<Call> _calls;
};
