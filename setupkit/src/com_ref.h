// COM interfaces and item identifier lists that release themselves when they go out of scope: the
// one clean-up style of the shell code.
#pragma once

#include <objbase.h>

template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (pointer_)
            pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    Interface** typed_receive() { return &pointer_; }
    void** receive() { return reinterpret_cast<void**>(&pointer_); }
    // After a failed call: whatever it left in the pointer is not ours to release.
    void forget() { pointer_ = nullptr; }

private:
    Interface* pointer_ = nullptr;
};

// Frees an item identifier list through the shell allocator when there is one, else through the
// task allocator.
template <typename ItemId>
class ItemIdList {
public:
    explicit ItemIdList(IMalloc* allocator) : allocator_(allocator) {}
    ~ItemIdList()
    {
        if (!id_)
            return;
        if (allocator_)
            allocator_->Free(id_);
        else
            CoTaskMemFree(id_);
    }
    ItemIdList(const ItemIdList&) = delete;
    ItemIdList& operator=(const ItemIdList&) = delete;

    ItemId get() const { return id_; }
    ItemId* receive() { return &id_; }

private:
    IMalloc* allocator_;
    ItemId id_ = nullptr;
};
