#pragma once

// Parameterised cases print as their name in test lists and failure messages, not as the bytes
// of the case. A test file brings this in with `using plumbrae::testing::PrintTo;` in the
// namespace of its case types, where GoogleTest looks for it.

#include <ostream>

namespace plumbrae::testing {

template <typename Case>
concept NamedCase = requires(const Case& c, std::ostream& out) {
    out << c.name;
};

template <NamedCase Case> void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

} // namespace plumbrae::testing
