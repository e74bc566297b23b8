#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/property_tags_p.h"
#include "pst/messaging/store_writer_p.h"
#include "support/le_writer.h"

#include <algorithm>

namespace plumbrae::pst::messaging {
namespace {

using namespace tags;
using ltp::Property;
using ndb::Nid;
using ndb::NidType;

const std::vector<PropertyTag> kHierarchyColumns = {
    kDisplayName,    kContentCount,   kContentUnreadCount, kSubfolders,
    kReplItemId,     kReplChangenum,  kReplVersionHistory, kReplFlags,
    kContainerClass, kPstHiddenCount, kPstHiddenUnread};

const std::vector<PropertyTag> kContentsColumns = {kMessageStatus,
                                                   kMessageClass,
                                                   kMessageFlags,
                                                   kImportance,
                                                   kSentRepresentingName,
                                                   kSubject,
                                                   kMessageDeliveryTime,
                                                   kClientSubmitTime,
                                                   kMessageSize,
                                                   kDisplayTo,
                                                   kDisplayCc,
                                                   kSensitivity,
                                                   kItemTemporaryFlags,
                                                   kConversationTopic,
                                                   kConversationIndex,
                                                   kConversationId,
                                                   makeTag(0x65C6, kInt32),
                                                   kLastModificationTime,
                                                   kReplItemId,
                                                   kReplChangenum,
                                                   kReplVersionHistory,
                                                   kReplCopiedFromItemId,
                                                   kReplCopiedFromVersionHistory,
                                                   kReplFlags,
                                                   kMessageToMe,
                                                   kMessageCcMe};

const std::vector<PropertyTag> kAssociatedContentsColumns = {kMessageStatus,
                                                             kMessageClass,
                                                             kMessageFlags,
                                                             kDisplayName,
                                                             kRoamingDatatypes,
                                                             kRoamingDictionary,
                                                             kRoamingXmlStream,
                                                             kViewDescriptorName,
                                                             kViewDescriptorVersion,
                                                             kOfflineAddressBookName,
                                                             kSendOutlookRecallReport,
                                                             kOfflineAddressBookTruncatedProperties,
                                                             kOabLangId};

const std::vector<PropertyTag> kSearchContentsColumns = {kLtpParentNid,
                                                         kParentDisplay,
                                                         kMessageStatus,
                                                         kMessageClass,
                                                         kMessageFlags,
                                                         kImportance,
                                                         kSentRepresentingName,
                                                         kSubject,
                                                         kMessageDeliveryTime,
                                                         kMessageSize,
                                                         kDisplayTo,
                                                         kDisplayCc,
                                                         kSensitivity,
                                                         kLastModificationTime,
                                                         kMessageToMe,
                                                         kMessageCcMe,
                                                         kResponsibility};

const std::vector<PropertyTag> kAttachmentColumns = {kRenderingPosition, kAttachSize, kAttachMethod,
                                                     kAttachFilename};

const std::vector<PropertyTag> kRecipientColumns = {kResponsibilityRecipient,
                                                    kAddressType,
                                                    kEmailAddress,
                                                    kEntryId,
                                                    kDisplayName,
                                                    kRecipientType,
                                                    kSearchKey,
                                                    kRecipientRecordKey,
                                                    kObjectType,
                                                    kDisplayType,
                                                    kSendRichInfo,
                                                    kSevenBitDisplayName};

const std::vector<PropertyTag> kReceiveFolderColumns = {kReceiveFolderNid, kMessageClass};

struct FolderSpec {
    Nid nid;
    Nid parent;
    const char* name;
    const char* containerClass; // empty: none
};

// The standard tree. The root is its own parent; "Top of Personal Folders" holds the folders
// a user sees.
const FolderSpec kFolders[] = {
    {kRootFolderNid, kRootFolderNid, "", ""},
    {kIpmSubtreeNid, kRootFolderNid, "Top of Personal Folders", ""},
    {kSearchRootNid, kRootFolderNid, "Search Root", ""},
    {kViewsNid, kRootFolderNid, "IPM_VIEWS", ""},
    {kCommonViewsNid, kRootFolderNid, "IPM_COMMON_VIEWS", ""},
    {kDeletedItemsNid, kIpmSubtreeNid, "Deleted Items", ""},
    {kInboxNid, kIpmSubtreeNid, "Inbox", ""},
    {kOutboxNid, kIpmSubtreeNid, "Outbox", ""},
    {kSentItemsNid, kIpmSubtreeNid, "Sent Items", ""},
    {kCalendarNid, kIpmSubtreeNid, "Calendar", "IPF.Appointment"},
    {kContactsNid, kIpmSubtreeNid, "Contacts", "IPF.Contact"},
    {kJournalNid, kIpmSubtreeNid, "Journal", "IPF.Journal"},
    {kNotesNid, kIpmSubtreeNid, "Notes", "IPF.StickyNote"},
    {kTasksNid, kIpmSubtreeNid, "Tasks", "IPF.Task"},
    {kDraftsNid, kIpmSubtreeNid, "Drafts", "IPF.Note"},
};

constexpr std::int32_t kAllFoldersValid = 0xFF;
const std::string kSearchActivityList = support::LeWriter().u32(kSpamSearchFolderNid).str();

Nid tableNid(Nid folder, NidType type) {
    return ndb::makeNid(type, ndb::nidIndex(folder));
}

Property binary(PropertyTag tag, std::string value) {
    return {tag, std::move(value)};
}
Property text(PropertyTag tag, std::string_view value) {
    return {tag, ltp::stringValue(value)};
}
Property int32(PropertyTag tag, std::int32_t value) {
    return {tag, ltp::int32Value(value)};
}
Property boolean(PropertyTag tag, bool value) {
    return {tag, ltp::booleanValue(value)};
}

ndb::NodeContent emptyTable(const std::vector<PropertyTag>& columns) {
    return ltp::TableBuilder(columns).finish();
}

class StoreBuilder {
public:
    StoreBuilder(ndb::NodeDatabase& writer, const StoreContents& store)
        : m_writer(writer), m_store(store) {}

    void build() {
        writeStoreObject();
        m_writer.putNode(kNameToIdMapNid, 0, m_store.names->build());
        m_writer.putNode(kSearchManagementQueueNid, 0, {});
        m_writer.putNode(kSearchActivityListNid, 0, {{kSearchActivityList}, {}});
        m_writer.putNode(kHierarchyTemplateNid, 0, emptyTable(kHierarchyColumns));
        m_writer.putNode(kContentsTemplateNid, 0, emptyTable(kContentsColumns));
        m_writer.putNode(kAssociatedContentsTemplateNid, 0, emptyTable(kAssociatedContentsColumns));
        m_writer.putNode(kSearchContentsTemplateNid, 0, emptyTable(kSearchContentsColumns));
        m_writer.putNode(kAttachmentTemplateNid, 0, emptyTable(kAttachmentColumns));
        m_writer.putNode(kRecipientTemplateNid, 0, emptyTable(kRecipientColumns));
        writeReceiveFolders();
        writeSpamSearchFolder();
        for (const auto& folder : kFolders) {
            writeFolder(folder);
        }
    }

private:
    [[nodiscard]] std::string entryId(Nid nid) const { return entryIdFor(m_store.recordKey, nid); }

    void writeStoreObject() {
        const std::string key(m_store.recordKey.begin(), m_store.recordKey.end());
        const std::vector<Property> properties = {
            binary(kRecordKey, key),
            text(kDisplayName, m_store.displayName),
            int32(kValidFolderMask, kAllFoldersValid),
            binary(kIpmSubtreeEntryId, entryId(kIpmSubtreeNid)),
            binary(kIpmOutboxEntryId, entryId(kOutboxNid)),
            binary(kIpmWastebasketEntryId, entryId(kDeletedItemsNid)),
            binary(kIpmSentMailEntryId, entryId(kSentItemsNid)),
            binary(kViewsEntryId, entryId(kViewsNid)),
            binary(kCommonViewsEntryId, entryId(kCommonViewsNid)),
            binary(kFinderEntryId, entryId(kSearchRootNid)),
            int32(kPstPassword, 0),
        };
        m_writer.putNode(kMessageStoreNid, 0, ltp::buildPropertyContext(properties));
    }

    void writeReceiveFolders() {
        // Every message class that has no receive folder of its own arrives in the Inbox.
        ltp::TableBuilder table(kReceiveFolderColumns);
        std::uint32_t rowId = 1;
        for (const char* messageClass : {"", "IPM", "Report.IPM"}) {
            table.addRow(rowId++, {int32(kReceiveFolderNid, static_cast<std::int32_t>(kInboxNid)),
                                   text(kMessageClass, messageClass)});
        }
        m_writer.putNode(kReceiveFolderTableNid, 0, table.finish());
    }

    [[nodiscard]] std::vector<Property> spamSearchFolderProperties() const {
        return {text(kDisplayName, "SPAM Search Folder 2"), int32(kContentCount, 0),
                int32(kContentUnreadCount, 0), boolean(kSubfolders, false)};
    }

    void writeSpamSearchFolder() {
        m_writer.putNode(kSpamSearchFolderNid, kRootFolderNid,
                         ltp::buildPropertyContext(spamSearchFolderProperties()));
        m_writer.putNode(tableNid(kSpamSearchFolderNid, NidType::SearchUpdateQueue), 0, {});
        m_writer.putNode(tableNid(kSpamSearchFolderNid, NidType::SearchCriteriaObject), 0,
                         ltp::buildPropertyContext({int32(kSearchFolderFlags, 0)}));
        m_writer.putNode(tableNid(kSpamSearchFolderNid, NidType::SearchContentsTable), 0,
                         emptyTable(kSearchContentsColumns));
    }

    [[nodiscard]] std::vector<const FolderSpec*> childrenOf(Nid nid) const {
        std::vector<const FolderSpec*> children;
        for (const auto& folder : kFolders) {
            if (folder.parent == nid && folder.nid != nid) {
                children.push_back(&folder);
            }
        }
        return children;
    }

    [[nodiscard]] std::vector<Property> folderProperties(const FolderSpec& folder) const {
        const auto contentCount = folder.nid == kContactsNid
                                      ? static_cast<std::int32_t>(m_store.contactsTable->rowCount())
                                      : 0;
        std::vector<Property> properties = {
            text(kDisplayName, folder.name), int32(kContentCount, contentCount),
            int32(kContentUnreadCount, 0),
            boolean(kSubfolders, !childrenOf(folder.nid).empty() || folder.nid == kRootFolderNid)};
        if (*folder.containerClass != '\0') {
            properties.push_back(text(kContainerClass, folder.containerClass));
        }
        if (folder.nid == kRootFolderNid || folder.nid == kInboxNid) {
            // Clients find the default Calendar, Contacts, ... folders through these.
            properties.push_back(binary(kIpmAppointmentEntryId, entryId(kCalendarNid)));
            properties.push_back(binary(kIpmContactEntryId, entryId(kContactsNid)));
            properties.push_back(binary(kIpmJournalEntryId, entryId(kJournalNid)));
            properties.push_back(binary(kIpmNoteEntryId, entryId(kNotesNid)));
            properties.push_back(binary(kIpmTaskEntryId, entryId(kTasksNid)));
            properties.push_back(binary(kIpmDraftsEntryId, entryId(kDraftsNid)));
        }
        return properties;
    }

    void writeFolder(const FolderSpec& folder) {
        m_writer.putNode(folder.nid, folder.parent,
                         ltp::buildPropertyContext(folderProperties(folder)));
        ltp::TableBuilder hierarchy(kHierarchyColumns);
        for (const auto* child : childrenOf(folder.nid)) {
            hierarchy.addRow(child->nid, folderProperties(*child));
        }
        if (folder.nid == kRootFolderNid) {
            hierarchy.addRow(kSpamSearchFolderNid, spamSearchFolderProperties());
        }
        m_writer.putNode(tableNid(folder.nid, NidType::HierarchyTable), 0, hierarchy.finish());
        m_writer.putNode(tableNid(folder.nid, NidType::ContentsTable), 0,
                         folder.nid == kContactsNid ? m_store.contactsTable->finish()
                                                    : emptyTable(kContentsColumns));
        m_writer.putNode(tableNid(folder.nid, NidType::AssociatedContentsTable), 0,
                         emptyTable(kAssociatedContentsColumns));
    }

    ndb::NodeDatabase& m_writer;
    const StoreContents& m_store;
};

} // namespace

const std::vector<ltp::PropertyTag>& contentsTableColumns() {
    return kContentsColumns;
}

std::string entryIdFor(const Guid& recordKey, ndb::Nid nid) {
    std::string id(4, '\0');
    id.append(recordKey.begin(), recordKey.end());
    support::LeWriter(id).u32(nid);
    return id;
}

void stageStore(ndb::NodeDatabase& database, const StoreContents& store) {
    StoreBuilder(database, store).build();
}

} // namespace plumbrae::pst::messaging
