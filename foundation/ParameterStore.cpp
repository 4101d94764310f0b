#include "foundation/ParameterStore.h"

#include "foundation/FrameLock.h"

ParameterStore::ParameterStore()
{
    for (auto& slot : params_)
        slot.store(0, std::memory_order_relaxed);
    for (auto& option : intOptions_)
        option.store(0, std::memory_order_relaxed);
    store(Param::DisplayBuffers, reinterpret_cast<intptr_t>(&buffers_[0]));
    store(Param::LatestBuffer, -1);
}

ParameterStore::~ParameterStore()
{
    while (observers_) {
        ObserverNode* next = observers_->next;
        delete observers_;
        observers_ = next;
    }
}

void ParameterStore::addObserver(ParameterObserver* observer)
{
    if (!observer)
        return;
    for (ObserverNode* node = observers_; node; node = node->next)
        if (node->observer == observer)
            return;
    observers_ = new ObserverNode{observer, observers_};
}

void ParameterStore::removeObserver(ParameterObserver* observer)
{
    for (ObserverNode** link = &observers_; *link; link = &(*link)->next) {
        if ((*link)->observer == observer) {
            ObserverNode* gone = *link;
            *link = gone->next;
            delete gone;
            return;
        }
    }
}

void ParameterStore::set(int id, intptr_t value)
{
    if (id >= 0 && id < Param::Count) {
        if (params_[id].exchange(value, std::memory_order_acq_rel) == value)
            return;
    } else if (Option::isInt(id)) {
        const int v = static_cast<int>(value);
        if (intOptions_[id - Option::kIntBase].exchange(v, std::memory_order_acq_rel) == v)
            return;
    }
    notifyObservers(id);
}

int ParameterStore::get(int id) const
{
    if (Option::isInt(id))
        return intOptions_[id - Option::kIntBase].load(std::memory_order_acquire);
    if (id < 0 || id >= Param::Count)
        return 0;
    return static_cast<int>(params_[id].load(std::memory_order_acquire));
}

void ParameterStore::setText(Option::Text id, const std::wstring& text)
{
    if (!Option::isText(id))
        return;
    {
        std::lock_guard<std::mutex> hold(textLock_);
        std::wstring& kept = texts_[id - Option::kTextBase];
        if (kept == text)
            return;
        kept = text;
    }
    notifyObservers(id);
}

std::wstring ParameterStore::text(Option::Text id) const
{
    if (!Option::isText(id))
        return std::wstring();
    std::lock_guard<std::mutex> hold(textLock_);
    return texts_[id - Option::kTextBase];
}

intptr_t ParameterStore::address(int id) const
{
    if (id < 0 || id >= Param::Count)
        return 0;
    return params_[id].load(std::memory_order_acquire);
}

void ParameterStore::store(int id, intptr_t value)
{
    params_[id].store(value, std::memory_order_release);
}

void ParameterStore::notifyObservers(int id)
{
    for (ObserverNode* node = observers_; node; node = node->next)
        node->observer->parameterChanged(id);
}

int ParameterStore::acquireLatestDisplayBuffer()
{
    auto* lock = pointer<FrameLock*>(Param::BufferLock);
    if (!lock)
        return -1;
    FrameLockGuard hold(*lock);
    int index = get(Param::LatestBuffer);
    if (index >= 0 && index < 3)
        buffers_[index].inUse.store(1, std::memory_order_release);
    else
        index = -1;
    return index;
}

void ParameterStore::releaseDisplayBuffers()
{
    for (auto& buffer : buffers_)
        buffer.inUse.store(0, std::memory_order_release);
}

#ifndef _WIN32
// The native build (benchmarks, sanitizers) has no GDI: colours are kept,
// no drawing objects exist.
void ParameterStore::createGdiObjects() {}
void ParameterStore::deleteGdiObjects() {}
void ParameterStore::setColours(int back, int grid, int ref, int noise, int thresh, int filter)
{
    const int colours[6] = {back, grid, ref, noise, thresh, filter};
    for (int i = 0; i < 6; ++i)
        set(Param::BackColor + i, colours[i]);
}
#endif
