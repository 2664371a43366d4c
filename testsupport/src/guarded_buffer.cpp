#include "testsupport/guarded_buffer.h"

#include <algorithm>

namespace testsupport {

namespace {

constexpr int kGuardChars = 16;

} // namespace

GuardedBuffer::GuardedBuffer(int capacity)
    : capacity_(capacity > 0 ? capacity : 0),
      chars_(static_cast<size_t>(capacity_) + kGuardChars, kSentinel),
      pointer_(chars_.data())
{
}

::testing::AssertionResult GuardedBuffer::untouched(int from) const
{
    for (size_t at = static_cast<size_t>(from); at < chars_.size(); ++at) {
        if (chars_[at] != kSentinel)
            return ::testing::AssertionFailure() << "character " << at << " of a capacity of " << capacity_
                                                 << " was written (now " << static_cast<int>(chars_[at]) << ")";
    }
    return ::testing::AssertionSuccess();
}

std::wstring GuardedBuffer::text(const char* file, int line, int size) const
{
    const ::testing::AssertionResult guards = untouched(capacity_);
    if (!guards)
        ADD_FAILURE_AT(file, line) << "written past the capacity: " << guards.message();
    if (pointer_ != chars_.data())
        ADD_FAILURE_AT(file, line) << "the caller's buffer pointer was replaced";
    if (size < 0 || size > capacity_) {
        ADD_FAILURE_AT(file, line) << "a size of " << size << " lies outside the capacity of " << capacity_;
        size = size < 0 ? 0 : capacity_;
    }
    const wchar_t* begin = chars_.data();
    const wchar_t* end = std::find(begin, begin + size, L'\0');
    if (end == begin + size)
        ADD_FAILURE_AT(file, line) << "no terminator within the first " << size << " characters";
    return std::wstring(begin, end);
}

void expect_two_calls(const std::function<int(GuardedBuffer*, int)>& read, int size, int filled,
                      const std::wstring& text, ShortBuffer short_buffer)
{
    ASSERT_EQ(size, read(nullptr, 0));
    if (size > 1) {
        GuardedBuffer small(size - 1);
        EXPECT_EQ(size, read(&small, size - 1)) << "too small";
        const bool emptied = short_buffer == ShortBuffer::kEmptied;
        EXPECT_TRUE(!emptied || GUARDED_TEXT(small, 1).empty()) << "too small: not left empty";
        EXPECT_TRUE(small.untouched(emptied ? 1 : 0)) << "too small";
    }
    GuardedBuffer buffer(size > 0 ? size : 1);
    EXPECT_EQ(filled, read(&buffer, size)) << "filling";
    EXPECT_EQ(text, GUARDED_TEXT(buffer, buffer.capacity()));
}

} // namespace testsupport
