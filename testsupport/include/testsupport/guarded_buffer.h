// The caller's buffer in a two-call size protocol test, kept as Wine's conformance tests keep it:
// every character pre-filled with a sentinel, so an untouched one shows, and guard characters past
// the capacity that no call may write.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class GuardedBuffer {
public:
    static constexpr wchar_t kSentinel = 0xBEEF;

    explicit GuardedBuffer(int capacity);
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    wchar_t* data() { return chars_.data(); }
    // A buffer reference (the address of a pointer to the buffer) for readers that take one;
    // text() fails when the reader replaced the pointer.
    wchar_t** reference() { return &pointer_; }
    int capacity() const { return capacity_; }

    // Success when every character from `from` on, guards included, still holds the sentinel.
    ::testing::AssertionResult untouched(int from = 0) const;

    // The text before the first terminator. Fails at file:line when a guard character changed,
    // the buffer reference was replaced, or no terminator lies within the first `size` characters
    // (the text is then those characters). Use through GUARDED_TEXT.
    std::wstring text(const char* file, int line, int size) const;

private:
    int capacity_;
    std::vector<wchar_t> chars_;
    wchar_t* pointer_;
};

// What a getter does with a buffer one character short of the size: leaves it as it was, or makes
// its first character the terminator and leaves the rest.
enum class ShortBuffer { kUntouched, kEmptied };

// The two-call protocol of read(buffer, capacity), a null buffer asking for the size: `size` first;
// then a buffer one character short gets the size back and is left as `short_buffer` says; then one
// of exactly the size (one character at least) gets `filled` back and holds `text`.
void expect_two_calls(const std::function<int(GuardedBuffer*, int)>& read, int size, int filled,
                      const std::wstring& text, ShortBuffer short_buffer = ShortBuffer::kEmptied);

} // namespace testsupport

// The text of a GuardedBuffer whose terminator must lie within `size`, checked at the caller's line.
#define GUARDED_TEXT(buffer, size) (buffer).text(__FILE__, __LINE__, (size))
