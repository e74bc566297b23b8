#pragma once

#include "automation/variant.h"

#include <cstddef>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::automation {

/// A late-bound call failed: the member is unknown, an argument has the wrong kind or count,
/// or the object could not do what was asked. The message names the object, the member and
/// the cause.
class AutomationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// How a member is invoked: read as a property, assigned, or called as a method.
enum class InvokeKind { Get, Put, Call };

/// An object whose members are reached by name at run time, the way a script or a late-bound
/// client reaches an automation object. Member names match without regard to ASCII case.
/// Every failure leaves through AutomationError with a message that says which member of
/// which object failed and why.
class Object {
public:
    virtual ~Object() = default;
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    /// Reads a property. A method without arguments may be read the same way.
    Variant get(std::string_view member);
    /// Assigns a property.
    void put(std::string_view member, const Variant& value);
    /// Calls a method with its arguments in order.
    Variant call(std::string_view member, std::initializer_list<Variant> arguments = {});
    Variant call(std::string_view member, std::span<const Variant> arguments);

    /// The class name that messages use ("RDOSession").
    [[nodiscard]] virtual std::string_view className() const = 0;

protected:
    /// Performs the member. For Put, `arguments` holds the one value. Throws AutomationError
    /// for an unknown member or a wrong argument; any other exception is reported as the
    /// member's failure with its message.
    virtual Variant invoke(InvokeKind kind, std::string_view member,
                           std::span<const Variant> arguments) = 0;

    /// The error for a member this object does not have.
    [[nodiscard]] AutomationError unknownMember(std::string_view member) const;

private:
    Variant dispatch(InvokeKind kind, std::string_view member, std::span<const Variant> arguments);
};

/// Case-insensitive comparison of ASCII member names.
bool sameMemberName(std::string_view left, std::string_view right);

/// Checks the number of arguments a member was given; throws AutomationError otherwise.
void expectArgumentCount(std::string_view member, std::span<const Variant> arguments,
                         std::size_t count);

} // namespace plumbrae::automation
