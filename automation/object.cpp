#include "automation/object.h"

#include "support/text.h"

#include <exception>

namespace plumbrae::automation {

namespace {

unsigned char lowerAscii(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

} // namespace

bool sameMemberName(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    // Both sides usually spell the name from the same contract constant, or at least in the
    // same case: those match without a look at each letter's case.
    if (left.data() == right.data() || left == right) {
        return true;
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (lowerAscii(left[i]) != lowerAscii(right[i])) {
            return false;
        }
    }
    return true;
}

void expectArgumentCount(std::string_view member, std::span<const Variant> arguments,
                         std::size_t count) {
    if (arguments.size() != count) {
        throw AutomationError(std::string(member) + " takes " +
                              support::decimal(static_cast<std::int64_t>(count)) +
                              " argument(s), was given " +
                              support::decimal(static_cast<std::int64_t>(arguments.size())));
    }
}

Variant Object::get(std::string_view member) {
    return dispatch(InvokeKind::Get, member, {});
}

void Object::put(std::string_view member, const Variant& value) {
    dispatch(InvokeKind::Put, member, std::span<const Variant>(&value, 1));
}

Variant Object::call(std::string_view member, std::initializer_list<Variant> arguments) {
    return dispatch(InvokeKind::Call, member,
                    std::span<const Variant>(arguments.begin(), arguments.size()));
}

Variant Object::call(std::string_view member, std::span<const Variant> arguments) {
    return dispatch(InvokeKind::Call, member, arguments);
}

AutomationError Object::unknownMember(std::string_view member) const {
    return AutomationError(std::string(className()) + " has no member \"" + std::string(member) +
                           "\"");
}

Variant Object::dispatch(InvokeKind kind, std::string_view member,
                         std::span<const Variant> arguments) {
    // Every failure leaves with the object and member in front of its cause, once: a failure
    // that already names this object (an unknown member) passes through unchanged.
    auto named = [&](std::string_view cause) {
        return AutomationError(std::string(className()) + "." + std::string(member) + ": " +
                               std::string(cause));
    };
    try {
        return invoke(kind, member, arguments);
    } catch (const AutomationError& error) {
        const std::string_view text = error.what();
        const std::string_view name = className();
        if (text.starts_with(name) && text.size() > name.size() &&
            (text[name.size()] == ' ' || text[name.size()] == '.')) {
            throw;
        }
        throw named(error.what());
    } catch (const std::exception& error) {
        throw named(error.what());
    }
}

} // namespace plumbrae::automation
