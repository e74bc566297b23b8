#include "automation/session_contract.h"
#include "pst/rdo/rdo_objects_p.h"

namespace plumbrae::pst::rdo {

namespace {

using automation::AutomationError;
using automation::InvokeKind;
using automation::ObjectPtr;
using automation::sameMemberName;
using automation::Variant;

namespace contract = automation::contract;

bool readable(InvokeKind kind) {
    return kind != InvokeKind::Put;
}

} // namespace

Variant RdoStore::invoke(InvokeKind kind, std::string_view member,
                         std::span<const Variant> arguments) {
    if (sameMemberName(member, contract::store::EntryId) && kind == InvokeKind::Get) {
        return m_store->entryId;
    }
    if (sameMemberName(member, contract::store::DisplayName) && kind == InvokeKind::Get) {
        return m_store->displayName;
    }
    if (sameMemberName(member, contract::store::ValidateIpmTree) && readable(kind)) {
        // The file is created with its whole standard folder tree, so there is nothing to
        // repair; what is checked is that the store can still be used.
        (void)m_store->openFile();
        return {};
    }
    if (sameMemberName(member, contract::store::GetDefaultFolder) && kind == InvokeKind::Call) {
        automation::expectArgumentCount(member, arguments, 1);
        const std::int32_t folderKind = arguments[0].toInteger();
        if (folderKind != contract::ContactsFolder) {
            throw AutomationError("default folder " + std::to_string(folderKind) +
                                  " is not available: this store hands out its Contacts "
                                  "folder (" +
                                  std::to_string(contract::ContactsFolder) + ") only");
        }
        (void)m_store->openFile();
        return ObjectPtr(std::make_shared<RdoFolder>(m_session, m_store));
    }
    throw unknownMember(member);
}

Variant RdoFolder::invoke(InvokeKind kind, std::string_view member,
                          std::span<const Variant> arguments) {
    (void)arguments;
    if (sameMemberName(member, contract::folder::Items) && readable(kind)) {
        return ObjectPtr(std::make_shared<RdoItems>(m_session, m_store));
    }
    if (sameMemberName(member, contract::folder::Name) && kind == InvokeKind::Get) {
        return "Contacts";
    }
    throw unknownMember(member);
}

Variant RdoItems::invoke(InvokeKind kind, std::string_view member,
                         std::span<const Variant> arguments) {
    if (sameMemberName(member, contract::items::Add) && kind == InvokeKind::Call) {
        automation::expectArgumentCount(member, arguments, 1);
        if (arguments[0].isText()) {
            // An item of a message class; this folder holds distribution lists besides contacts.
            if (!sameMemberName(arguments[0].toText(), contract::DistListClass)) {
                throw AutomationError("items of class \"" + arguments[0].toText() +
                                      "\" are not supported: only \"" +
                                      std::string(contract::DistListClass) + "\" can be added");
            }
            (void)m_store->openFile();
            return ObjectPtr(std::make_shared<RdoDistListItem>(m_session, m_store));
        }
        const std::int32_t itemKind = arguments[0].toInteger();
        if (itemKind != contract::ContactItem) {
            throw AutomationError("item kind " + std::to_string(itemKind) +
                                  " is not supported: only contact items (" +
                                  std::to_string(contract::ContactItem) + ") can be added");
        }
        (void)m_store->openFile();
        return ObjectPtr(std::make_shared<RdoContactItem>(m_session, m_store));
    }
    if (sameMemberName(member, contract::items::Count) && kind == InvokeKind::Get) {
        return static_cast<std::int32_t>(m_store->openFile().contactCount());
    }
    throw unknownMember(member);
}

} // namespace plumbrae::pst::rdo
