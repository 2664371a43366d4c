// The shipped programs' allocation functions. The C++ runtime's would bring its exception support,
// and with it the thread library, into programs that catch nothing: here a failed allocation ends
// the process at once, as the uncaught exception did.
#include <stdlib.h>

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
