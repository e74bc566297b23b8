#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

namespace plumbrae::automation {

class Object;
using ObjectPtr = std::shared_ptr<Object>;

/// One argument or result of a late-bound call: nothing, text (bytes, as the core holds them),
/// a 32-bit integer, or an object.
class Variant {
public:
    Variant() = default;
    Variant(std::string text) : m_value(std::move(text)) {}
    Variant(const char* text) : m_value(std::string(text)) {}
    Variant(std::int32_t number) : m_value(number) {}
    Variant(ObjectPtr object) : m_value(std::move(object)) {}

    [[nodiscard]] bool isEmpty() const { return std::holds_alternative<std::monostate>(m_value); }
    [[nodiscard]] bool isText() const { return std::holds_alternative<std::string>(m_value); }
    [[nodiscard]] bool isInteger() const { return std::holds_alternative<std::int32_t>(m_value); }
    [[nodiscard]] bool isObject() const { return std::holds_alternative<ObjectPtr>(m_value); }

    /// The value as the given kind. Throws AutomationError ("type mismatch") when it holds
    /// another kind; integers are not turned into text or back, so a wrong argument is
    /// noticed instead of coerced.
    [[nodiscard]] const std::string& toText() const;
    [[nodiscard]] std::int32_t toInteger() const;
    [[nodiscard]] const ObjectPtr& toObject() const;

    /// A short description for messages and call logs: "text \"abc\"", "integer 2", "object".
    [[nodiscard]] std::string describe() const;

    bool operator==(const Variant&) const = default;

private:
    std::variant<std::monostate, std::string, std::int32_t, ObjectPtr> m_value;
};

} // namespace plumbrae::automation
