#include "LibraryHandle.h"

#include <dlfcn.h>

namespace cryptelle {

LibraryHandle& LibraryHandle::operator=(LibraryHandle&& other) noexcept
{
    if (this != &other) {
        reset();
        m_handle = other.m_handle;
        other.m_handle = nullptr;
    }
    return *this;
}

bool LibraryHandle::open(const std::string& path)
{
    reset();
    if (path.empty())
        return false;
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return m_handle != nullptr;
}

void* LibraryHandle::symbol(const char* name) const
{
    return m_handle != nullptr && name != nullptr ? ::dlsym(m_handle, name) : nullptr;
}

void LibraryHandle::reset()
{
    if (m_handle != nullptr)
        ::dlclose(m_handle);
    m_handle = nullptr;
}

} // namespace cryptelle
