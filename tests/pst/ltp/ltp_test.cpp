// What a file cannot show: the limits the table builders refuse to pass, and the string
// encoding at its edge. The structures themselves are checked in written files by the
// independent checker and the outside readers (tests/pst/messaging/reader_interop_test.cpp).

#include "pst/ltp/heap_builder.h"
#include "pst/ltp/property_context.h"

#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

using namespace pst::ltp;

TEST(Heap, RefusesAllocationsPastTheLimit) {
    HeapBuilder heap(HeapClient::BTree);
    EXPECT_NO_THROW(heap.allocate(std::string(MaxHeapAllocation, 'x')));
    EXPECT_THROW(heap.allocate(std::string(MaxHeapAllocation + 1, 'x')), std::length_error);
}

TEST(PropertyContext, RefusesAPropertySetTwice) {
    EXPECT_THROW(buildPropertyContext({{makeTag(0x3001, PropertyType::String), "a"},
                                       {makeTag(0x3001, PropertyType::Binary), "b"}}),
                 std::invalid_argument);
}

TEST(Strings, AreUtf16WithSurrogatePairsAndNoTerminator) {
    EXPECT_EQ(stringValue("A\xF0\x9F\x98\x80"), std::string("A\0\x3D\xD8\x00\xDE", 6));
}

} // namespace
} // namespace plumbrae::testing
