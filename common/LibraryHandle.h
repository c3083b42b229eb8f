#pragma once

#include <string>

namespace cryptelle {

// A shared library loaded by its file name, closed when the handle goes.
class LibraryHandle
{
public:
    LibraryHandle() = default;
    ~LibraryHandle() { reset(); }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    LibraryHandle(LibraryHandle&& other) noexcept
        : m_handle(other.m_handle)
    {
        other.m_handle = nullptr;
    }
    LibraryHandle& operator=(LibraryHandle&& other) noexcept;

    // Loads the library with every symbol bound now and none shared with
    // later loads. False when it cannot be loaded; an open handle is closed first.
    [[nodiscard]] bool open(const std::string& path);
    [[nodiscard]] bool isOpen() const { return m_handle != nullptr; }

    // The entry point of that name as a function pointer; null when missing.
    template <typename Function> [[nodiscard]] Function entry(const char* name) const
    {
        return reinterpret_cast<Function>(symbol(name));
    }
    [[nodiscard]] void* symbol(const char* name) const;

    // Leaves the library loaded for the rest of the process, for code of it
    // that may still be running.
    void keepLoaded() { m_handle = nullptr; }
    void reset();

private:
    void* m_handle = nullptr;
};

} // namespace cryptelle
