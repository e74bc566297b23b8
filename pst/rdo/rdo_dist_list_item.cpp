#include "automation/session_contract.h"
#include "pst/rdo/rdo_objects_p.h"

namespace plumbrae::pst::rdo {

namespace {
namespace contract = automation::contract;
} // namespace

automation::Variant RdoDistListItem::invoke(automation::InvokeKind kind, std::string_view member,
                                            std::span<const automation::Variant> arguments) {
    using automation::InvokeKind;
    using automation::sameMemberName;
    if (sameMemberName(member, contract::distList::DlName) && kind != InvokeKind::Call) {
        if (kind == InvokeKind::Get) {
            return m_list.name;
        }
        m_list.name = arguments[0].toText();
        return {};
    }
    if (sameMemberName(member, contract::distList::AddMemberEx) && kind == InvokeKind::Call) {
        // Name, address, address type: a one-off member, as a mail client adds an address
        // that is in no address book.
        automation::expectArgumentCount(member, arguments, 3);
        m_list.members.push_back(
            {arguments[0].toText(), arguments[2].toText(), arguments[1].toText()});
        return {};
    }
    if (sameMemberName(member, contract::distList::MemberCount) && kind == InvokeKind::Get) {
        return static_cast<std::int32_t>(m_list.members.size());
    }
    if (sameMemberName(member, contract::item::MessageClass) && kind == InvokeKind::Get) {
        return std::string(contract::DistListClass);
    }
    if (sameMemberName(member, contract::item::Save) && kind != InvokeKind::Put) {
        if (m_saved) {
            // The writer appends items; changing one already in the file is not offered.
            throw automation::AutomationError("the item was already saved");
        }
        m_store->openFile().addDistList(m_list);
        m_saved = true;
        return {};
    }
    throw unknownMember(member);
}

} // namespace plumbrae::pst::rdo
