#pragma once

#include "pst/ltp/property_value.h"
#include "pst/ndb/disk_format.h"

#include <cstdint>

// Property tags and node identifiers the messaging layer writes.
namespace plumbrae::pst::messaging::tags {

using ltp::makeTag;
using ltp::PropertyTag;
using ltp::PropertyType;
constexpr auto String = PropertyType::String;
constexpr auto Int32 = PropertyType::Int32;
constexpr auto Bool = PropertyType::Boolean;
constexpr auto Binary = PropertyType::Binary;
constexpr auto Time = PropertyType::Time;
constexpr auto Int64 = PropertyType::Int64;
constexpr auto MultiString = PropertyType::MultiString;

// Message and common properties.
constexpr PropertyTag Importance = makeTag(0x0017, Int32);
constexpr PropertyTag MessageClass = makeTag(0x001A, String);
constexpr PropertyTag Sensitivity = makeTag(0x0036, Int32);
constexpr PropertyTag Subject = makeTag(0x0037, String);
constexpr PropertyTag ClientSubmitTime = makeTag(0x0039, Time);
constexpr PropertyTag SentRepresentingName = makeTag(0x0042, String);
constexpr PropertyTag MessageToMe = makeTag(0x0057, Bool);
constexpr PropertyTag MessageCcMe = makeTag(0x0058, Bool);
constexpr PropertyTag ConversationTopic = makeTag(0x0070, String);
constexpr PropertyTag ConversationIndex = makeTag(0x0071, Binary);
constexpr PropertyTag DisplayBcc = makeTag(0x0E02, String);
constexpr PropertyTag DisplayCc = makeTag(0x0E03, String);
constexpr PropertyTag DisplayTo = makeTag(0x0E04, String);
constexpr PropertyTag ParentDisplay = makeTag(0x0E05, String);
constexpr PropertyTag MessageDeliveryTime = makeTag(0x0E06, Time);
constexpr PropertyTag MessageFlags = makeTag(0x0E07, Int32);
constexpr PropertyTag MessageSize = makeTag(0x0E08, Int32);
constexpr PropertyTag MessageStatus = makeTag(0x0E17, Int32);
constexpr PropertyTag HasAttachments = makeTag(0x0E1B, Bool);
constexpr PropertyTag NormalizedSubject = makeTag(0x0E1D, String);
constexpr PropertyTag AttachSize = makeTag(0x0E20, Int32);
constexpr PropertyTag Responsibility = makeTag(0x0E2A, Bool);
constexpr PropertyTag ReplItemId = makeTag(0x0E30, Binary);
constexpr PropertyTag ReplChangenum = makeTag(0x0E33, Int64);
constexpr PropertyTag ReplVersionHistory = makeTag(0x0E34, Binary);
constexpr PropertyTag ReplFlags = makeTag(0x0E38, Int32);
constexpr PropertyTag ReplCopiedFromVersionHistory = makeTag(0x0E3C, Binary);
constexpr PropertyTag ReplCopiedFromItemId = makeTag(0x0E3D, Binary);
constexpr PropertyTag RecordKey = makeTag(0x0FF9, Binary);
constexpr PropertyTag Body = makeTag(0x1000, String);
constexpr PropertyTag IconIndex = makeTag(0x1080, Int32);
constexpr PropertyTag ItemTemporaryFlags = makeTag(0x1097, Int32);
constexpr PropertyTag DisplayName = makeTag(0x3001, String);
constexpr PropertyTag CreationTime = makeTag(0x3007, Time);
constexpr PropertyTag LastModificationTime = makeTag(0x3008, Time);
constexpr PropertyTag SearchKey = makeTag(0x300B, Binary);
constexpr PropertyTag ConversationId = makeTag(0x3013, Binary);

// Store.
constexpr PropertyTag ValidFolderMask = makeTag(0x35DF, Int32);
constexpr PropertyTag IpmSubtreeEntryId = makeTag(0x35E0, Binary);
constexpr PropertyTag IpmOutboxEntryId = makeTag(0x35E2, Binary);
constexpr PropertyTag IpmWastebasketEntryId = makeTag(0x35E3, Binary);
constexpr PropertyTag IpmSentMailEntryId = makeTag(0x35E4, Binary);
constexpr PropertyTag ViewsEntryId = makeTag(0x35E5, Binary);
constexpr PropertyTag CommonViewsEntryId = makeTag(0x35E6, Binary);
constexpr PropertyTag FinderEntryId = makeTag(0x35E7, Binary);
constexpr PropertyTag PstPassword = makeTag(0x67FF, Int32);

// Folders.
constexpr PropertyTag ContentCount = makeTag(0x3602, Int32);
constexpr PropertyTag ContentUnreadCount = makeTag(0x3603, Int32);
constexpr PropertyTag Subfolders = makeTag(0x360A, Bool);
constexpr PropertyTag ContainerClass = makeTag(0x3613, String);
constexpr PropertyTag IpmAppointmentEntryId = makeTag(0x36D0, Binary);
constexpr PropertyTag IpmContactEntryId = makeTag(0x36D1, Binary);
constexpr PropertyTag IpmJournalEntryId = makeTag(0x36D2, Binary);
constexpr PropertyTag IpmNoteEntryId = makeTag(0x36D3, Binary);
constexpr PropertyTag IpmTaskEntryId = makeTag(0x36D4, Binary);
constexpr PropertyTag IpmDraftsEntryId = makeTag(0x36D7, Binary);
constexpr PropertyTag PstHiddenCount = makeTag(0x6635, Int32);
constexpr PropertyTag PstHiddenUnread = makeTag(0x6636, Int32);
constexpr PropertyTag SearchFolderFlags = makeTag(0x660B, Int32);
constexpr PropertyTag ReceiveFolderNid = makeTag(0x6605, Int32);
constexpr PropertyTag LtpParentNid = makeTag(0x67F1, Int32);
constexpr PropertyTag SearchContentsFolder = makeTag(0x0E05, String);
constexpr PropertyTag SearchContentsFlags = makeTag(0x0E2A, Bool);

// Associated (FAI) contents.
constexpr PropertyTag RoamingDatatypes = makeTag(0x7003, Int32);
constexpr PropertyTag RoamingDictionary = makeTag(0x7004, Binary);
constexpr PropertyTag RoamingXmlStream = makeTag(0x7005, Binary);
constexpr PropertyTag ViewDescriptorName = makeTag(0x7006, String);
constexpr PropertyTag ViewDescriptorVersion = makeTag(0x7007, Int32);
constexpr PropertyTag OfflineAddressBookName = makeTag(0x6800, String);
constexpr PropertyTag SendOutlookRecallReport = makeTag(0x6803, Bool);
constexpr PropertyTag OfflineAddressBookTruncatedProperties =
    makeTag(0x6805, PropertyType::MultiInt32);
constexpr PropertyTag OabLangId = makeTag(0x682F, String);

// Attachments.
constexpr PropertyTag AttachDataBinary = makeTag(0x3701, Binary);
constexpr PropertyTag AttachExtension = makeTag(0x3703, String);
constexpr PropertyTag AttachFilename = makeTag(0x3704, String);
constexpr PropertyTag AttachMethod = makeTag(0x3705, Int32);
constexpr PropertyTag AttachLongFilename = makeTag(0x3707, String);
constexpr PropertyTag RenderingPosition = makeTag(0x370B, Int32);
constexpr PropertyTag AttachmentContactPhoto = makeTag(0x7FFF, Bool);

// Recipients (only the template table).
constexpr PropertyTag RecipientType = makeTag(0x0C15, Int32);
constexpr PropertyTag ResponsibilityRecipient = makeTag(0x0E0F, Bool);
constexpr PropertyTag RecipientRecordKey = makeTag(0x0FF9, Binary);
constexpr PropertyTag ObjectType = makeTag(0x0FFE, Int32);
constexpr PropertyTag EntryId = makeTag(0x0FFF, Binary);
constexpr PropertyTag AddressType = makeTag(0x3002, String);
constexpr PropertyTag EmailAddress = makeTag(0x3003, String);
constexpr PropertyTag DisplayType = makeTag(0x3900, Int32);
constexpr PropertyTag TransmittableDisplayName = makeTag(0x3A20, String);
constexpr PropertyTag SendRichInfo = makeTag(0x3A40, Bool);
constexpr PropertyTag SevenBitDisplayName = makeTag(0x39FF, String);

// Contacts.
constexpr PropertyTag Generation = makeTag(0x3A05, String);
constexpr PropertyTag GivenName = makeTag(0x3A06, String);
constexpr PropertyTag BusinessTelephone = makeTag(0x3A08, String);
constexpr PropertyTag HomeTelephone = makeTag(0x3A09, String);
constexpr PropertyTag Surname = makeTag(0x3A11, String);
constexpr PropertyTag PostalAddress = makeTag(0x3A15, String);
constexpr PropertyTag CompanyName = makeTag(0x3A16, String);
constexpr PropertyTag Title = makeTag(0x3A17, String);
constexpr PropertyTag DepartmentName = makeTag(0x3A18, String);
constexpr PropertyTag OfficeLocation = makeTag(0x3A19, String);
constexpr PropertyTag MobileTelephone = makeTag(0x3A1C, String);
constexpr PropertyTag CarTelephone = makeTag(0x3A1E, String);
constexpr PropertyTag PagerTelephone = makeTag(0x3A21, String);
constexpr PropertyTag BusinessFax = makeTag(0x3A24, String);
constexpr PropertyTag HomeFax = makeTag(0x3A25, String);
constexpr PropertyTag Country = makeTag(0x3A26, String);
constexpr PropertyTag Locality = makeTag(0x3A27, String);
constexpr PropertyTag StateOrProvince = makeTag(0x3A28, String);
constexpr PropertyTag StreetAddress = makeTag(0x3A29, String);
constexpr PropertyTag PostalCode = makeTag(0x3A2A, String);
constexpr PropertyTag Assistant = makeTag(0x3A30, String);
constexpr PropertyTag MiddleName = makeTag(0x3A44, String);
constexpr PropertyTag DisplayNamePrefix = makeTag(0x3A45, String);
constexpr PropertyTag Profession = makeTag(0x3A46, String);
constexpr PropertyTag SpouseName = makeTag(0x3A48, String);
constexpr PropertyTag ManagerName = makeTag(0x3A4E, String);
constexpr PropertyTag BusinessHomePage = makeTag(0x3A51, String);
constexpr PropertyTag HomeAddressCity = makeTag(0x3A59, String);
constexpr PropertyTag HomeAddressCountry = makeTag(0x3A5A, String);
constexpr PropertyTag HomeAddressPostalCode = makeTag(0x3A5B, String);
constexpr PropertyTag HomeAddressStateOrProvince = makeTag(0x3A5C, String);
constexpr PropertyTag HomeAddressStreet = makeTag(0x3A5D, String);
constexpr PropertyTag Business2Telephone = makeTag(0x3A1B, String);
constexpr PropertyTag OtherTelephone = makeTag(0x3A1F, String);
constexpr PropertyTag Home2Telephone = makeTag(0x3A2F, String);
constexpr PropertyTag WeddingAnniversary = makeTag(0x3A41, Time);
constexpr PropertyTag Birthday = makeTag(0x3A42, Time);
constexpr PropertyTag Nickname = makeTag(0x3A4F, String);
constexpr PropertyTag CompanyMainTelephone = makeTag(0x3A57, String);
constexpr PropertyTag OtherAddressCity = makeTag(0x3A5F, String);
constexpr PropertyTag OtherAddressCountry = makeTag(0x3A60, String);
constexpr PropertyTag OtherAddressPostalCode = makeTag(0x3A61, String);
constexpr PropertyTag OtherAddressStateOrProvince = makeTag(0x3A62, String);
constexpr PropertyTag OtherAddressStreet = makeTag(0x3A63, String);

// Named contact properties: ids in the address property set.
constexpr std::uint32_t LidFileUnder = 0x8005;
constexpr std::uint32_t LidFileUnderId = 0x8006;
constexpr std::uint32_t LidHasPicture = 0x8015;
constexpr std::uint32_t LidHomeAddress = 0x801A;
constexpr std::uint32_t LidWorkAddress = 0x801B;
constexpr std::uint32_t LidOtherAddress = 0x801C;
constexpr std::uint32_t LidPostalAddressId = 0x8022;
constexpr std::uint32_t LidAddressBookProviderEmailList = 0x8028;
constexpr std::uint32_t LidAddressBookProviderArrayType = 0x8029;
constexpr std::uint32_t LidHtml = 0x802B;
constexpr std::uint32_t LidWorkAddressStreet = 0x8045;
constexpr std::uint32_t LidWorkAddressCity = 0x8046;
constexpr std::uint32_t LidWorkAddressState = 0x8047;
constexpr std::uint32_t LidWorkAddressPostalCode = 0x8048;
constexpr std::uint32_t LidWorkAddressCountry = 0x8049;
constexpr std::uint32_t LidInstantMessagingAddress = 0x8062;
constexpr std::uint32_t LidBirthdayLocal = 0x80DE;
constexpr std::uint32_t LidWeddingAnniversaryLocal = 0x80DF;
constexpr std::uint32_t LidDistributionListChecksum = 0x804C;
constexpr std::uint32_t LidDistributionListName = 0x8053;
constexpr std::uint32_t LidDistributionListOneOffMembers = 0x8054;
constexpr std::uint32_t LidDistributionListMembers = 0x8055;
constexpr std::uint32_t LidDistributionListStream = 0x8064;
constexpr std::uint32_t LidEmail1Base = 0x8080; // e-mail 2 and 3 follow at +0x10 and +0x20
constexpr std::uint32_t EmailDisplayNameOffset = 0;
constexpr std::uint32_t EmailAddressTypeOffset = 2;
constexpr std::uint32_t EmailAddressOffset = 3;
constexpr std::uint32_t EmailOriginalDisplayNameOffset = 4;
constexpr std::uint32_t EmailStride = 0x10;

// File-as patterns. Filing under the e-mail address has no pattern of its own: the text is kept
// as written ("custom").
constexpr std::int32_t FileUnderLastFirstMiddle = 0x8017;
constexpr std::int32_t FileUnderCompany = 0x3A16;
constexpr std::int32_t FileUnderDisplayName = 0x3001;
constexpr std::int32_t FileUnderCustom = -1;

// Node identifiers of a new store.
constexpr ndb::Nid MessageStoreNid = 0x21;
constexpr ndb::Nid NameToIdMapNid = 0x61;
constexpr ndb::Nid RootFolderNid = 0x122;
constexpr ndb::Nid SearchManagementQueueNid = 0x1E1;
constexpr ndb::Nid SearchActivityListNid = 0x201;
constexpr ndb::Nid SearchDomainObjectNid = 0x261;
constexpr ndb::Nid HierarchyTemplateNid = 0x60D;
constexpr ndb::Nid ContentsTemplateNid = 0x60E;
constexpr ndb::Nid AssociatedContentsTemplateNid = 0x60F;
constexpr ndb::Nid SearchContentsTemplateNid = 0x610;
constexpr ndb::Nid ReceiveFolderTableNid = 0x62B;
constexpr ndb::Nid AttachmentTemplateNid = 0x671;
constexpr ndb::Nid RecipientTemplateNid = 0x692;
constexpr ndb::Nid SpamSearchFolderNid = 0x2223;
constexpr ndb::Nid IpmSubtreeNid = 0x8022;
constexpr ndb::Nid SearchRootNid = 0x8042;
constexpr ndb::Nid DeletedItemsNid = 0x8062;
constexpr ndb::Nid InboxNid = 0x8082;
constexpr ndb::Nid OutboxNid = 0x80A2;
constexpr ndb::Nid SentItemsNid = 0x80C2;
constexpr ndb::Nid ViewsNid = 0x80E2;
constexpr ndb::Nid CommonViewsNid = 0x8102;
constexpr ndb::Nid CalendarNid = 0x8122;
constexpr ndb::Nid ContactsNid = 0x8142;
constexpr ndb::Nid JournalNid = 0x8162;
constexpr ndb::Nid NotesNid = 0x8182;
constexpr ndb::Nid TasksNid = 0x81A2;
constexpr ndb::Nid DraftsNid = 0x81C2;
/// Messages are numbered from here (the first index after the header's starting value).
constexpr std::uint32_t FirstMessageIndex = 0x10001;
/// A contact's photo attachment, as a subnode of the message.
constexpr ndb::Nid PhotoAttachmentNid = 0x8025;

} // namespace plumbrae::pst::messaging::tags
