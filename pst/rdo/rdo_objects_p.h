#pragma once

// The object family behind the session ProgID. A late-bound client walks it as
// session -> Stores -> AddPSTStore -> store -> GetDefaultFolder -> folder -> Items -> Add ->
// contact item, and each object keeps alive what it needs of the chain, so releasing the
// objects in any order is safe. The files themselves belong to the session's state: the last
// object to go commits them.

#include "automation/object.h"
#include "pst/messaging/pst_file.h"

#include <memory>
#include <string>
#include <vector>

namespace plumbrae::pst::rdo {

/// One PST file attached to a session.
struct AttachedStore {
    std::unique_ptr<messaging::PstFile> file;
    std::string entryId; ///< the store's entry id as hexadecimal text
    std::string displayName;

    /// The file, or AutomationError when the session closed it.
    messaging::PstFile& openFile() const;
};

/// What a session and every object it handed out share.
struct SessionState {
    bool loggedOn = false;
    std::vector<std::shared_ptr<AttachedStore>> stores;

    /// Throws AutomationError unless the session is logged on.
    void requireLogon() const;
    /// Closes every attached file (a final commit each). Reports the first failure after
    /// trying them all.
    void closeStores();
    ~SessionState();
};

using SessionPtr = std::shared_ptr<SessionState>;
using StorePtr = std::shared_ptr<AttachedStore>;

class RdoSession : public automation::Object {
public:
    RdoSession();
    ~RdoSession() override;
    [[nodiscard]] std::string_view className() const override { return "RDOSession"; }

protected:
    automation::Variant invoke(automation::InvokeKind kind, std::string_view member,
                               std::span<const automation::Variant> arguments) override;

private:
    automation::Variant getStoreFromId(std::span<const automation::Variant> arguments) const;
    SessionPtr m_state;
};

class RdoStores : public automation::Object {
public:
    explicit RdoStores(SessionPtr state) : m_state(std::move(state)) {}
    [[nodiscard]] std::string_view className() const override { return "RDOStores"; }

protected:
    automation::Variant invoke(automation::InvokeKind kind, std::string_view member,
                               std::span<const automation::Variant> arguments) override;

private:
    automation::Variant addPstStore(std::span<const automation::Variant> arguments);
    SessionPtr m_state;
};

/// An object handed out for one store of one session; it keeps both alive.
class StoreBoundObject : public automation::Object {
public:
    StoreBoundObject(SessionPtr session, StorePtr store)
        : m_session(std::move(session)), m_store(std::move(store)) {}

protected:
    SessionPtr m_session;
    StorePtr m_store;
};

class RdoStore : public StoreBoundObject {
public:
    using StoreBoundObject::StoreBoundObject;
    [[nodiscard]] std::string_view className() const override { return "RDOStore"; }

protected:
    automation::Variant invoke(automation::InvokeKind kind, std::string_view member,
                               std::span<const automation::Variant> arguments) override;
};

/// The store's default Contacts folder, the only folder this store hands out.
class RdoFolder : public StoreBoundObject {
public:
    using StoreBoundObject::StoreBoundObject;
    [[nodiscard]] std::string_view className() const override { return "RDOFolder"; }

protected:
    automation::Variant invoke(automation::InvokeKind kind, std::string_view member,
                               std::span<const automation::Variant> arguments) override;
};

class RdoItems : public StoreBoundObject {
public:
    using StoreBoundObject::StoreBoundObject;
    [[nodiscard]] std::string_view className() const override { return "RDOItems"; }

protected:
    automation::Variant invoke(automation::InvokeKind kind, std::string_view member,
                               std::span<const automation::Variant> arguments) override;
};

/// A new contact item: its properties are kept until Save adds it to the file.
class RdoContactItem : public StoreBoundObject {
public:
    using StoreBoundObject::StoreBoundObject;
    [[nodiscard]] std::string_view className() const override { return "RDOContactItem"; }

protected:
    automation::Variant invoke(automation::InvokeKind kind, std::string_view member,
                               std::span<const automation::Variant> arguments) override;

private:
    std::string* findTextProperty(std::string_view member);
    void addPicture(const std::string& path);
    void save();

    messaging::Contact m_contact;
    bool m_saved = false;
    std::size_t m_nextProperty = 0;
};

/// A new distribution list item (a contact group): its name and members are kept until Save
/// adds it to the file.
class RdoDistListItem : public StoreBoundObject {
public:
    using StoreBoundObject::StoreBoundObject;
    [[nodiscard]] std::string_view className() const override { return "RDODistListItem"; }

protected:
    automation::Variant invoke(automation::InvokeKind kind, std::string_view member,
                               std::span<const automation::Variant> arguments) override;

private:
    messaging::DistList m_list;
    bool m_saved = false;
};

} // namespace plumbrae::pst::rdo
