#include "pst/rdo/rdo_session.h"

#include "automation/registry.h"
#include "automation/session_contract.h"
#include "pst/rdo/rdo_objects_p.h"
#include "support/file_path.h"

#include <filesystem>
#include <system_error>

namespace plumbrae::pst::rdo {

namespace {

using automation::AutomationError;
using automation::InvokeKind;
using automation::ObjectPtr;
using automation::Variant;

namespace contract = automation::contract;

constexpr std::string_view HexDigits = "0123456789ABCDEF";

std::string hexText(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text += HexDigits[value >> 4U];
        text += HexDigits[value & 0x0FU];
    }
    return text;
}

} // namespace

messaging::PstFile& AttachedStore::openFile() const {
    if (!file) {
        throw AutomationError("the store \"" + displayName + "\" was closed with its session");
    }
    return *file;
}

void SessionState::requireLogon() const {
    if (!loggedOn) {
        throw AutomationError("the session is not logged on");
    }
}

void SessionState::closeStores() {
    std::string firstFailure;
    for (const StorePtr& store : stores) {
        if (!store->file) {
            continue;
        }
        try {
            store->file->close();
        } catch (const std::exception& error) {
            if (firstFailure.empty()) {
                firstFailure = error.what();
            }
        }
        store->file.reset();
    }
    if (!firstFailure.empty()) {
        throw AutomationError(firstFailure);
    }
}

SessionState::~SessionState() {
    // Releasing only cleans up: each file keeps what its last commit wrote. Logoff is the final
    // commit, and the one that reports a failure.
    for (const StorePtr& store : stores) {
        store->file.reset();
    }
}

RdoSession::RdoSession() : m_state(std::make_shared<SessionState>()) {}

RdoSession::~RdoSession() = default;

Variant RdoSession::invoke(InvokeKind kind, std::string_view member,
                           std::span<const Variant> arguments) {
    using automation::sameMemberName;
    if (sameMemberName(member, contract::session::Logon) && kind != InvokeKind::Put) {
        // The profile, password and dialog arguments have no meaning without a mail profile.
        m_state->loggedOn = true;
        return {};
    }
    if (sameMemberName(member, contract::session::Logoff) && kind != InvokeKind::Put) {
        m_state->requireLogon();
        m_state->loggedOn = false;
        m_state->closeStores();
        return {};
    }
    if (sameMemberName(member, contract::session::LoggedOn) && kind == InvokeKind::Get) {
        return m_state->loggedOn ? 1 : 0;
    }
    if (sameMemberName(member, contract::session::Stores) && kind != InvokeKind::Put) {
        m_state->requireLogon();
        return ObjectPtr(std::make_shared<RdoStores>(m_state));
    }
    if (sameMemberName(member, contract::session::GetStoreFromId) && kind == InvokeKind::Call) {
        return getStoreFromId(arguments);
    }
    throw unknownMember(member);
}

Variant RdoSession::getStoreFromId(std::span<const Variant> arguments) const {
    // A second argument (open flags) is allowed and has nothing to choose here.
    if (arguments.empty() || arguments.size() > 2) {
        automation::expectArgumentCount(contract::session::GetStoreFromId, arguments, 1);
    }
    m_state->requireLogon();
    const std::string& wanted = arguments[0].toText();
    for (const StorePtr& store : m_state->stores) {
        if (automation::sameMemberName(store->entryId, wanted)) {
            return ObjectPtr(std::make_shared<RdoStore>(m_state, store));
        }
    }
    throw AutomationError("no store of this session has the entry id \"" + wanted + "\"");
}

Variant RdoStores::invoke(InvokeKind kind, std::string_view member,
                          std::span<const Variant> arguments) {
    using automation::sameMemberName;
    if (sameMemberName(member, contract::stores::AddPstStore) && kind == InvokeKind::Call) {
        return addPstStore(arguments);
    }
    if (sameMemberName(member, contract::stores::Count) && kind == InvokeKind::Get) {
        return static_cast<std::int32_t>(m_state->stores.size());
    }
    throw unknownMember(member);
}

Variant RdoStores::addPstStore(std::span<const Variant> arguments) {
    automation::expectArgumentCount(contract::stores::AddPstStore, arguments, 3);
    m_state->requireLogon();
    const std::string& path = arguments[0].toText();
    const std::int32_t format = arguments[1].toInteger();
    const std::string& displayName = arguments[2].toText();
    if (format != contract::DefaultStoreFormat && format != contract::UnicodeStoreFormat) {
        throw AutomationError("store format " + std::to_string(format) + " is not supported (" +
                              std::to_string(contract::DefaultStoreFormat) + " or " +
                              std::to_string(contract::UnicodeStoreFormat) +
                              ": a Unicode PST file)");
    }
    // An existing file is never replaced: two runs in the same second would otherwise write
    // over the first run's contacts.
    std::error_code ignored;
    const auto file = support::pathFromUtf8(path);
    if (std::filesystem::exists(file, ignored)) {
        throw AutomationError("cannot create \"" + path + "\": a file of that name already exists");
    }
    auto store = std::make_shared<AttachedStore>();
    store->file = messaging::PstFile::create(file, displayName);
    store->entryId = hexText(store->file->storeEntryId());
    store->displayName = displayName;
    m_state->stores.push_back(store);
    return ObjectPtr(std::make_shared<RdoStore>(m_state, store));
}

automation::ObjectPtr makeRdoSession() {
    return std::make_shared<RdoSession>();
}

void registerRdoSession() {
    automation::registerFactory(contract::SessionProgId, makeRdoSession);
}

} // namespace plumbrae::pst::rdo
