#include "automation/registry.h"

#include "support/text.h"

#include <map>
#include <mutex>

namespace plumbrae::automation {

namespace {

// ProgIDs are looked up case-insensitively, so they are kept lower-cased.
struct Registry {
    std::mutex mutex;
    std::map<std::string, Factory, std::less<>> factories;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

Factory find(std::string_view progId) {
    Registry& reg = registry();
    const std::scoped_lock lock(reg.mutex);
    auto found = reg.factories.find(support::asciiLower(progId));
    return found == reg.factories.end() ? Factory{} : found->second;
}

} // namespace

ObjectPtr createObject(std::string_view progId) {
    const Factory factory = find(progId);
    if (!factory) {
        throw AutomationError("cannot create object \"" + std::string(progId) +
                              "\": no class is registered under that name");
    }
    ObjectPtr object;
    try {
        object = factory();
    } catch (const std::exception& error) {
        throw AutomationError("cannot create object \"" + std::string(progId) +
                              "\": " + error.what());
    }
    if (!object) {
        throw AutomationError("cannot create object \"" + std::string(progId) +
                              "\": its factory made nothing");
    }
    return object;
}

void registerFactory(std::string_view progId, Factory factory) {
    Registry& reg = registry();
    const std::scoped_lock lock(reg.mutex);
    reg.factories[support::asciiLower(progId)] = std::move(factory);
}

void unregisterFactory(std::string_view progId) {
    Registry& reg = registry();
    const std::scoped_lock lock(reg.mutex);
    reg.factories.erase(support::asciiLower(progId));
}

ScopedRegistration::ScopedRegistration(std::string_view progId, Factory factory)
    : m_progId(progId), m_previous(find(progId)) {
    registerFactory(m_progId, std::move(factory));
}

ScopedRegistration::~ScopedRegistration() {
    if (m_previous) {
        registerFactory(m_progId, std::move(m_previous));
    } else {
        unregisterFactory(m_progId);
    }
}

} // namespace plumbrae::automation
