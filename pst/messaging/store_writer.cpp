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

const std::vector<PropertyTag> HierarchyColumns = {
    DisplayName,    ContentCount,   ContentUnreadCount, Subfolders,
    ReplItemId,     ReplChangenum,  ReplVersionHistory, ReplFlags,
    ContainerClass, PstHiddenCount, PstHiddenUnread};

const std::vector<PropertyTag> ContentsColumns = {MessageStatus,
                                                  MessageClass,
                                                  MessageFlags,
                                                  Importance,
                                                  SentRepresentingName,
                                                  Subject,
                                                  MessageDeliveryTime,
                                                  ClientSubmitTime,
                                                  MessageSize,
                                                  DisplayTo,
                                                  DisplayCc,
                                                  Sensitivity,
                                                  ItemTemporaryFlags,
                                                  ConversationTopic,
                                                  ConversationIndex,
                                                  ConversationId,
                                                  makeTag(0x65C6, Int32),
                                                  LastModificationTime,
                                                  ReplItemId,
                                                  ReplChangenum,
                                                  ReplVersionHistory,
                                                  ReplCopiedFromItemId,
                                                  ReplCopiedFromVersionHistory,
                                                  ReplFlags,
                                                  MessageToMe,
                                                  MessageCcMe};

const std::vector<PropertyTag> AssociatedContentsColumns = {MessageStatus,
                                                            MessageClass,
                                                            MessageFlags,
                                                            DisplayName,
                                                            RoamingDatatypes,
                                                            RoamingDictionary,
                                                            RoamingXmlStream,
                                                            ViewDescriptorName,
                                                            ViewDescriptorVersion,
                                                            OfflineAddressBookName,
                                                            SendOutlookRecallReport,
                                                            OfflineAddressBookTruncatedProperties,
                                                            OabLangId};

const std::vector<PropertyTag> SearchContentsColumns = {LtpParentNid,
                                                        ParentDisplay,
                                                        MessageStatus,
                                                        MessageClass,
                                                        MessageFlags,
                                                        Importance,
                                                        SentRepresentingName,
                                                        Subject,
                                                        MessageDeliveryTime,
                                                        MessageSize,
                                                        DisplayTo,
                                                        DisplayCc,
                                                        Sensitivity,
                                                        LastModificationTime,
                                                        MessageToMe,
                                                        MessageCcMe,
                                                        Responsibility};

const std::vector<PropertyTag> AttachmentColumns = {RenderingPosition, AttachSize, AttachMethod,
                                                    AttachFilename};

const std::vector<PropertyTag> RecipientColumns = {ResponsibilityRecipient,
                                                   AddressType,
                                                   EmailAddress,
                                                   EntryId,
                                                   DisplayName,
                                                   RecipientType,
                                                   SearchKey,
                                                   RecipientRecordKey,
                                                   ObjectType,
                                                   DisplayType,
                                                   SendRichInfo,
                                                   SevenBitDisplayName};

const std::vector<PropertyTag> ReceiveFolderColumns = {ReceiveFolderNid, MessageClass};

struct FolderDefinition {
    Nid nid;
    Nid parent;
    const char* name;
    const char* containerClass; // empty: none
};

// The standard tree. The root is its own parent; "Top of Personal Folders" holds the folders
// a user sees.
const FolderDefinition Folders[] = {
    {RootFolderNid, RootFolderNid, "", ""},
    {IpmSubtreeNid, RootFolderNid, "Top of Personal Folders", ""},
    {SearchRootNid, RootFolderNid, "Search Root", ""},
    {ViewsNid, RootFolderNid, "IPM_VIEWS", ""},
    {CommonViewsNid, RootFolderNid, "IPM_COMMON_VIEWS", ""},
    {DeletedItemsNid, IpmSubtreeNid, "Deleted Items", ""},
    {InboxNid, IpmSubtreeNid, "Inbox", ""},
    {OutboxNid, IpmSubtreeNid, "Outbox", ""},
    {SentItemsNid, IpmSubtreeNid, "Sent Items", ""},
    {CalendarNid, IpmSubtreeNid, "Calendar", "IPF.Appointment"},
    {ContactsNid, IpmSubtreeNid, "Contacts", "IPF.Contact"},
    {JournalNid, IpmSubtreeNid, "Journal", "IPF.Journal"},
    {NotesNid, IpmSubtreeNid, "Notes", "IPF.StickyNote"},
    {TasksNid, IpmSubtreeNid, "Tasks", "IPF.Task"},
    {DraftsNid, IpmSubtreeNid, "Drafts", "IPF.Note"},
};

constexpr std::int32_t AllFoldersValid = 0xFF;
const std::string SearchActivityList = support::LeWriter().u32(SpamSearchFolderNid).str();

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
        m_writer.putNode(NameToIdMapNid, 0, m_store.names->build());
        m_writer.putNode(SearchManagementQueueNid, 0, {});
        m_writer.putNode(SearchActivityListNid, 0, {{SearchActivityList}, {}});
        // No folder is searched yet: the list of folders search folders look at is empty.
        m_writer.putNode(SearchDomainObjectNid, 0, {});
        m_writer.putNode(HierarchyTemplateNid, 0, emptyTable(HierarchyColumns));
        m_writer.putNode(ContentsTemplateNid, 0, emptyTable(ContentsColumns));
        m_writer.putNode(AssociatedContentsTemplateNid, 0, emptyTable(AssociatedContentsColumns));
        m_writer.putNode(SearchContentsTemplateNid, 0, emptyTable(SearchContentsColumns));
        m_writer.putNode(AttachmentTemplateNid, 0, emptyTable(AttachmentColumns));
        m_writer.putNode(RecipientTemplateNid, 0, emptyTable(RecipientColumns));
        writeReceiveFolders();
        writeSpamSearchFolder();
        for (const auto& folder : Folders) {
            writeFolder(folder);
        }
    }

private:
    [[nodiscard]] std::string entryId(Nid nid) const { return entryIdFor(m_store.recordKey, nid); }

    void writeStoreObject() {
        const std::string key(m_store.recordKey.begin(), m_store.recordKey.end());
        const std::vector<Property> properties = {
            binary(RecordKey, key),
            text(DisplayName, m_store.displayName),
            int32(ValidFolderMask, AllFoldersValid),
            binary(IpmSubtreeEntryId, entryId(IpmSubtreeNid)),
            binary(IpmOutboxEntryId, entryId(OutboxNid)),
            binary(IpmWastebasketEntryId, entryId(DeletedItemsNid)),
            binary(IpmSentMailEntryId, entryId(SentItemsNid)),
            binary(ViewsEntryId, entryId(ViewsNid)),
            binary(CommonViewsEntryId, entryId(CommonViewsNid)),
            binary(FinderEntryId, entryId(SearchRootNid)),
            int32(PstPassword, 0),
        };
        m_writer.putNode(MessageStoreNid, 0, ltp::buildPropertyContext(properties));
    }

    void writeReceiveFolders() {
        // Every message class that has no receive folder of its own arrives in the Inbox.
        ltp::TableBuilder table(ReceiveFolderColumns);
        std::uint32_t rowId = 1;
        for (const char* messageClass : {"", "IPM", "Report.IPM"}) {
            table.addRow(rowId++, {int32(ReceiveFolderNid, static_cast<std::int32_t>(InboxNid)),
                                   text(MessageClass, messageClass)});
        }
        m_writer.putNode(ReceiveFolderTableNid, 0, table.finish());
    }

    [[nodiscard]] std::vector<Property> spamSearchFolderProperties() const {
        return {text(DisplayName, "SPAM Search Folder 2"), int32(ContentCount, 0),
                int32(ContentUnreadCount, 0), boolean(Subfolders, false)};
    }

    void writeSpamSearchFolder() {
        m_writer.putNode(SpamSearchFolderNid, RootFolderNid,
                         ltp::buildPropertyContext(spamSearchFolderProperties()));
        m_writer.putNode(tableNid(SpamSearchFolderNid, NidType::SearchUpdateQueue), 0, {});
        m_writer.putNode(tableNid(SpamSearchFolderNid, NidType::SearchCriteriaObject), 0,
                         ltp::buildPropertyContext({int32(SearchFolderFlags, 0)}));
        m_writer.putNode(tableNid(SpamSearchFolderNid, NidType::SearchContentsTable), 0,
                         emptyTable(SearchContentsColumns));
    }

    [[nodiscard]] std::vector<const FolderDefinition*> childrenOf(Nid nid) const {
        std::vector<const FolderDefinition*> children;
        for (const auto& folder : Folders) {
            if (folder.parent == nid && folder.nid != nid) {
                children.push_back(&folder);
            }
        }
        return children;
    }

    [[nodiscard]] std::vector<Property> folderProperties(const FolderDefinition& folder) const {
        const auto contentCount = folder.nid == ContactsNid
                                      ? static_cast<std::int32_t>(m_store.contactsTable->rowCount())
                                      : 0;
        std::vector<Property> properties = {
            text(DisplayName, folder.name), int32(ContentCount, contentCount),
            int32(ContentUnreadCount, 0),
            boolean(Subfolders, !childrenOf(folder.nid).empty() || folder.nid == RootFolderNid)};
        if (*folder.containerClass != '\0') {
            properties.push_back(text(ContainerClass, folder.containerClass));
        }
        if (folder.nid == RootFolderNid || folder.nid == InboxNid) {
            // Clients find the default Calendar, Contacts, ... folders through these.
            properties.push_back(binary(IpmAppointmentEntryId, entryId(CalendarNid)));
            properties.push_back(binary(IpmContactEntryId, entryId(ContactsNid)));
            properties.push_back(binary(IpmJournalEntryId, entryId(JournalNid)));
            properties.push_back(binary(IpmNoteEntryId, entryId(NotesNid)));
            properties.push_back(binary(IpmTaskEntryId, entryId(TasksNid)));
            properties.push_back(binary(IpmDraftsEntryId, entryId(DraftsNid)));
        }
        return properties;
    }

    void writeFolder(const FolderDefinition& folder) {
        m_writer.putNode(folder.nid, folder.parent,
                         ltp::buildPropertyContext(folderProperties(folder)));
        ltp::TableBuilder hierarchy(HierarchyColumns);
        for (const auto* child : childrenOf(folder.nid)) {
            hierarchy.addRow(child->nid, folderProperties(*child));
        }
        if (folder.nid == RootFolderNid) {
            hierarchy.addRow(SpamSearchFolderNid, spamSearchFolderProperties());
        }
        m_writer.putNode(tableNid(folder.nid, NidType::HierarchyTable), 0, hierarchy.finish());
        m_writer.putNode(tableNid(folder.nid, NidType::ContentsTable), 0,
                         folder.nid == ContactsNid ? m_store.contactsTable->finish()
                                                   : emptyTable(ContentsColumns));
        m_writer.putNode(tableNid(folder.nid, NidType::AssociatedContentsTable), 0,
                         emptyTable(AssociatedContentsColumns));
    }

    ndb::NodeDatabase& m_writer;
    const StoreContents& m_store;
};

} // namespace

const std::vector<ltp::PropertyTag>& contentsTableColumns() {
    return ContentsColumns;
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
