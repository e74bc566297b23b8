#include "automation/variant.h"

#include "automation/object.h"
#include "support/text.h"

namespace plumbrae::automation {

namespace {

const char* kindName(const Variant& value) {
    if (value.isText()) {
        return "text";
    }
    if (value.isInteger()) {
        return "an integer";
    }
    if (value.isObject()) {
        return "an object";
    }
    return "nothing";
}

[[noreturn]] void mismatch(const Variant& value, const char* wanted) {
    throw AutomationError(std::string("type mismatch: expected ") + wanted + ", got " +
                          kindName(value));
}

} // namespace

const std::string& Variant::toText() const {
    if (const auto* text = std::get_if<std::string>(&m_value)) {
        return *text;
    }
    mismatch(*this, "text");
}

std::int32_t Variant::toInteger() const {
    if (const auto* number = std::get_if<std::int32_t>(&m_value)) {
        return *number;
    }
    mismatch(*this, "an integer");
}

const ObjectPtr& Variant::toObject() const {
    const auto* object = std::get_if<ObjectPtr>(&m_value);
    if (object != nullptr && *object) {
        return *object;
    }
    mismatch(*this, "an object");
}

std::string Variant::describe() const {
    if (const auto* text = std::get_if<std::string>(&m_value)) {
        return "\"" + *text + "\"";
    }
    if (const auto* number = std::get_if<std::int32_t>(&m_value)) {
        return support::decimal(*number);
    }
    if (const auto* object = std::get_if<ObjectPtr>(&m_value)) {
        return *object ? std::string((*object)->className()) : "Nothing";
    }
    return "Empty";
}

} // namespace plumbrae::automation
