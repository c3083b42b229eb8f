#pragma once

namespace cryptelle {

// A base for classes that own something (a descriptor, a loaded library, a
// cursor override, a pending file): a copy would give it up twice.
class NonCopyable
{
public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;

protected:
    NonCopyable() = default;
    ~NonCopyable() = default;
};

} // namespace cryptelle
