#pragma once

#include <string_view>

namespace plumbrae::writers {

/// The property an instant-messaging address goes to, by the service its address names
/// ("xmpp://ann@example.org" goes to X-JABBER), and the address behind the service; an address
/// of a service no reader knows goes to X-IM whole.
struct ImLine {
    std::string_view property;
    std::string_view address;
};

ImLine imLine(std::string_view value);

} // namespace plumbrae::writers
