// COM interfaces and item identifier lists that release themselves when they go out of scope: the
// one way shipped code holds them, in the library and in the diagnostics beside it. Not offered to
// the library's callers.
#pragma once

#include <objbase.h>

// The out-parameter forms release what the reference held before handing out its address, as WIL's
// com_ptr put() does: a reference is never reused with a stale pointer in it. A call that fails sets
// its out-parameter to null, as COM requires, so what a failed call leaves needs no attention.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    Interface** put()
    {
        reset();
        return &pointer_;
    }
    // For QueryInterface and CoCreateInstance, which take the interface's address untyped.
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset()
    {
        Interface* const held = pointer_;
        pointer_ = nullptr;
        if (held)
            held->Release();
    }

private:
    Interface* pointer_ = nullptr;
};

// Frees an item identifier list through the shell allocator when there is one, else through the
// task allocator.
template <typename ItemId>
class ItemIdList {
public:
    explicit ItemIdList(IMalloc* allocator) : allocator_(allocator) {}
    ~ItemIdList() { reset(); }
    ItemIdList(const ItemIdList&) = delete;
    ItemIdList& operator=(const ItemIdList&) = delete;

    ItemId get() const { return id_; }
    ItemId* put()
    {
        reset();
        return &id_;
    }
    void reset()
    {
        const ItemId held = id_;
        id_ = nullptr;
        if (held && allocator_)
            allocator_->Free(held);
        else if (held)
            CoTaskMemFree(held);
    }

private:
    IMalloc* allocator_;
    ItemId id_ = nullptr;
};
