#pragma once

#include "automation/object.h"

#include <functional>
#include <string>
#include <string_view>

namespace plumbrae::automation {

/// Makes a new object for a ProgID.
using Factory = std::function<ObjectPtr()>;

/// Creates a new object of the class registered under `progId`. Throws AutomationError when
/// nothing is registered under it ("cannot create object") or when the factory fails.
ObjectPtr createObject(std::string_view progId);

/// Registers (or replaces) the factory for a ProgID. ProgIDs match without regard to ASCII case.
void registerFactory(std::string_view progId, Factory factory);

/// Removes the factory for a ProgID; nothing happens when none is registered.
void unregisterFactory(std::string_view progId);

/// Puts a factory under a ProgID for its lifetime and restores what was there before; tests
/// use it to put a double in place of the real class.
class ScopedRegistration {
public:
    ScopedRegistration(std::string_view progId, Factory factory);
    ~ScopedRegistration();
    ScopedRegistration(const ScopedRegistration&) = delete;
    ScopedRegistration& operator=(const ScopedRegistration&) = delete;

private:
    std::string m_progId;
    Factory m_previous;
};

} // namespace plumbrae::automation
