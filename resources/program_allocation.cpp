// The shipped programs' allocation functions. The C++ runtime's would bring its exception support,
// and with it the thread library, into programs that catch nothing: here a failed allocation ends
// the process at once, as the uncaught exception did. The nothrow forms hand a failure back: the
// runtime's would call the form above and end the process after all.
#include <stdlib.h>

#include <new>

void* operator new(size_t size)
{
    void* block = malloc(size != 0 ? size : 1);
    if (!block)
        abort();
    return block;
}

void* operator new[](size_t size)
{
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return malloc(size != 0 ? size : 1);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return malloc(size != 0 ? size : 1);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    free(block);
}

void operator delete(void* block) noexcept
{
    free(block);
}

void operator delete[](void* block) noexcept
{
    free(block);
}

void operator delete(void* block, size_t) noexcept
{
    free(block);
}

void operator delete[](void* block, size_t) noexcept
{
    free(block);
}
