#pragma once

#include "automation/object.h"
#include "automation/registry.h"
#include "automation/session_contract.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace plumbrae::testing {

/// What a recording session and the objects it hands out were asked, in order, as lines such
/// as `RDOStores.AddPSTStore("/out/x.pst", 1, "name")`, `RDOContactItem.FirstName = "Ann"` and
/// `RDOSession released`.
struct AutomationLog {
    std::vector<std::string> lines;
    /// The call that fails (its line up to the opening parenthesis or " =", such as
    /// "RDOContactItem.Save" or "RDOContactItem.Body"), and at which occurrence (1-based).
    std::string failOn;
    int failOccurrence = 1;
    int seen = 0;
};

/// An object of the session's family that records every call and answers with the next object
/// of the chain: session, stores, store, folder, items, contact item.
class RecordingObject : public automation::Object {
public:
    RecordingObject(std::string name, std::shared_ptr<AutomationLog> log)
        : m_name(std::move(name)), m_log(std::move(log)) {}
    ~RecordingObject() override { m_log->lines.push_back(m_name + " released"); }
    RecordingObject(const RecordingObject&) = delete;
    RecordingObject& operator=(const RecordingObject&) = delete;

    [[nodiscard]] std::string_view className() const override { return m_name; }

    static constexpr const char* StoreId = "0000000038A1BB10";

protected:
    automation::Variant invoke(automation::InvokeKind kind, std::string_view member,
                               std::span<const automation::Variant> arguments) override {
        const std::string call = m_name + "." + std::string(member);
        std::string line = call;
        if (kind == automation::InvokeKind::Put) {
            line += " = " + arguments[0].describe();
        } else if (kind == automation::InvokeKind::Call) {
            line += "(";
            for (std::size_t i = 0; i < arguments.size(); ++i) {
                line += (i == 0 ? "" : ", ") + arguments[i].describe();
            }
            line += ")";
        }
        m_log->lines.push_back(line);
        if (call == m_log->failOn && ++m_log->seen == m_log->failOccurrence) {
            throw std::runtime_error("injected failure");
        }
        return answer(member);
    }

private:
    automation::Variant answer(std::string_view member) {
        auto next = [&](const char* name) -> automation::Variant {
            return automation::ObjectPtr(std::make_shared<RecordingObject>(name, m_log));
        };
        if (member == "Stores") {
            return next("RDOStores");
        }
        if (member == "AddPSTStore" || member == "GetStoreFromID") {
            return next("RDOStore");
        }
        if (member == "EntryID") {
            return automation::Variant(StoreId);
        }
        if (member == "GetDefaultFolder") {
            return next("RDOFolder");
        }
        if (member == "Items") {
            return next("RDOItems");
        }
        if (member == "Add") {
            return next("RDOContactItem");
        }
        return {};
    }

    std::string m_name;
    std::shared_ptr<AutomationLog> m_log;
};

/// Registers a recording session under the session's ProgID for the lifetime of the object.
/// When `log->failOn` is "create", creating the session fails.
class RecordingSessionClass {
public:
    explicit RecordingSessionClass(std::shared_ptr<AutomationLog> log)
        : m_log(std::move(log)),
          m_registration(automation::contract::SessionProgId,
                         [log = m_log]() -> automation::ObjectPtr {
                             log->lines.emplace_back("create Redemption.RDOSession");
                             if (log->failOn == "create") {
                                 throw std::runtime_error("class not registered");
                             }
                             return std::make_shared<RecordingObject>("RDOSession", log);
                         }) {}

private:
    std::shared_ptr<AutomationLog> m_log;
    automation::ScopedRegistration m_registration;
};

} // namespace plumbrae::testing
