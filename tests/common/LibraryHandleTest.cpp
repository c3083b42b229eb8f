#include <cstring>

#include <LibraryHandle.h>
#include <gtest/gtest.h>

namespace {

using Length = std::size_t (*)(const char*);

TEST(LibraryHandleTest, FindsEntryPointsByNameAndNothingWhereThereIsNone)
{
    cryptelle::LibraryHandle library;
    EXPECT_EQ(library.entry<Length>("strlen"), nullptr) << "nothing is loaded yet";
    ASSERT_TRUE(library.open("libc.so.6"));
    const Length length = library.entry<Length>("strlen");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length("four"), 4u);
    EXPECT_EQ(library.entry<Length>("no_such_entry_point"), nullptr);

    // Moving hands the library over; the one moved from holds nothing.
    cryptelle::LibraryHandle moved = std::move(library);
    EXPECT_FALSE(library.isOpen()); // NOLINT(bugprone-use-after-move): the state after a move is the point
    EXPECT_NE(moved.entry<Length>("strlen"), nullptr);

    // A failed open leaves nothing loaded behind.
    EXPECT_FALSE(moved.open("/no/such/library.so"));
    EXPECT_FALSE(moved.isOpen());
    EXPECT_FALSE(moved.open(""));
}

} // namespace
