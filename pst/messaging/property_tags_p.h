#pragma once

#include "pst/ltp/property_value.h"
#include "pst/ndb/disk_format.h"

#include <cstdint>

// Property tags and node identifiers the messaging layer writes.
namespace plumbrae::pst::messaging::tags {

using ltp::makeTag;
using ltp::PropertyTag;
using ltp::PropertyType;
constexpr auto kString = PropertyType::String;
constexpr auto kInt32 = PropertyType::Int32;
constexpr auto kBool = PropertyType::Boolean;
constexpr auto kBinary = PropertyType::Binary;
constexpr auto kTime = PropertyType::Time;
constexpr auto kInt64 = PropertyType::Int64;
constexpr auto kMultiString = PropertyType::MultiString;

// Message and common properties.
constexpr PropertyTag kImportance = makeTag(0x0017, kInt32);
constexpr PropertyTag kMessageClass = makeTag(0x001A, kString);
constexpr PropertyTag kSensitivity = makeTag(0x0036, kInt32);
constexpr PropertyTag kSubject = makeTag(0x0037, kString);
constexpr PropertyTag kClientSubmitTime = makeTag(0x0039, kTime);
constexpr PropertyTag kSentRepresentingName = makeTag(0x0042, kString);
constexpr PropertyTag kMessageToMe = makeTag(0x0057, kBool);
constexpr PropertyTag kMessageCcMe = makeTag(0x0058, kBool);
constexpr PropertyTag kConversationTopic = makeTag(0x0070, kString);
constexpr PropertyTag kConversationIndex = makeTag(0x0071, kBinary);
constexpr PropertyTag kDisplayBcc = makeTag(0x0E02, kString);
constexpr PropertyTag kDisplayCc = makeTag(0x0E03, kString);
constexpr PropertyTag kDisplayTo = makeTag(0x0E04, kString);
constexpr PropertyTag kParentDisplay = makeTag(0x0E05, kString);
constexpr PropertyTag kMessageDeliveryTime = makeTag(0x0E06, kTime);
constexpr PropertyTag kMessageFlags = makeTag(0x0E07, kInt32);
constexpr PropertyTag kMessageSize = makeTag(0x0E08, kInt32);
constexpr PropertyTag kMessageStatus = makeTag(0x0E17, kInt32);
constexpr PropertyTag kHasAttachments = makeTag(0x0E1B, kBool);
constexpr PropertyTag kNormalizedSubject = makeTag(0x0E1D, kString);
constexpr PropertyTag kAttachSize = makeTag(0x0E20, kInt32);
constexpr PropertyTag kResponsibility = makeTag(0x0E2A, kBool);
constexpr PropertyTag kReplItemId = makeTag(0x0E30, kBinary);
constexpr PropertyTag kReplChangenum = makeTag(0x0E33, kInt64);
constexpr PropertyTag kReplVersionHistory = makeTag(0x0E34, kBinary);
constexpr PropertyTag kReplFlags = makeTag(0x0E38, kInt32);
constexpr PropertyTag kReplCopiedFromVersionHistory = makeTag(0x0E3C, kBinary);
constexpr PropertyTag kReplCopiedFromItemId = makeTag(0x0E3D, kBinary);
constexpr PropertyTag kRecordKey = makeTag(0x0FF9, kBinary);
constexpr PropertyTag kBody = makeTag(0x1000, kString);
constexpr PropertyTag kIconIndex = makeTag(0x1080, kInt32);
constexpr PropertyTag kItemTemporaryFlags = makeTag(0x1097, kInt32);
constexpr PropertyTag kDisplayName = makeTag(0x3001, kString);
constexpr PropertyTag kCreationTime = makeTag(0x3007, kTime);
constexpr PropertyTag kLastModificationTime = makeTag(0x3008, kTime);
constexpr PropertyTag kSearchKey = makeTag(0x300B, kBinary);
constexpr PropertyTag kConversationId = makeTag(0x3013, kBinary);

// Store.
constexpr PropertyTag kValidFolderMask = makeTag(0x35DF, kInt32);
constexpr PropertyTag kIpmSubtreeEntryId = makeTag(0x35E0, kBinary);
constexpr PropertyTag kIpmOutboxEntryId = makeTag(0x35E2, kBinary);
constexpr PropertyTag kIpmWastebasketEntryId = makeTag(0x35E3, kBinary);
constexpr PropertyTag kIpmSentMailEntryId = makeTag(0x35E4, kBinary);
constexpr PropertyTag kViewsEntryId = makeTag(0x35E5, kBinary);
constexpr PropertyTag kCommonViewsEntryId = makeTag(0x35E6, kBinary);
constexpr PropertyTag kFinderEntryId = makeTag(0x35E7, kBinary);
constexpr PropertyTag kPstPassword = makeTag(0x67FF, kInt32);

// Folders.
constexpr PropertyTag kContentCount = makeTag(0x3602, kInt32);
constexpr PropertyTag kContentUnreadCount = makeTag(0x3603, kInt32);
constexpr PropertyTag kSubfolders = makeTag(0x360A, kBool);
constexpr PropertyTag kContainerClass = makeTag(0x3613, kString);
constexpr PropertyTag kIpmAppointmentEntryId = makeTag(0x36D0, kBinary);
constexpr PropertyTag kIpmContactEntryId = makeTag(0x36D1, kBinary);
constexpr PropertyTag kIpmJournalEntryId = makeTag(0x36D2, kBinary);
constexpr PropertyTag kIpmNoteEntryId = makeTag(0x36D3, kBinary);
constexpr PropertyTag kIpmTaskEntryId = makeTag(0x36D4, kBinary);
constexpr PropertyTag kIpmDraftsEntryId = makeTag(0x36D7, kBinary);
constexpr PropertyTag kPstHiddenCount = makeTag(0x6635, kInt32);
constexpr PropertyTag kPstHiddenUnread = makeTag(0x6636, kInt32);
constexpr PropertyTag kSearchFolderFlags = makeTag(0x660B, kInt32);
constexpr PropertyTag kReceiveFolderNid = makeTag(0x6605, kInt32);
constexpr PropertyTag kLtpParentNid = makeTag(0x67F1, kInt32);
constexpr PropertyTag kSearchContentsFolder = makeTag(0x0E05, kString);
constexpr PropertyTag kSearchContentsFlags = makeTag(0x0E2A, kBool);

// Associated (FAI) contents.
constexpr PropertyTag kRoamingDatatypes = makeTag(0x7003, kInt32);
constexpr PropertyTag kRoamingDictionary = makeTag(0x7004, kBinary);
constexpr PropertyTag kRoamingXmlStream = makeTag(0x7005, kBinary);
constexpr PropertyTag kViewDescriptorName = makeTag(0x7006, kString);
constexpr PropertyTag kViewDescriptorVersion = makeTag(0x7007, kInt32);
constexpr PropertyTag kOfflineAddressBookName = makeTag(0x6800, kString);
constexpr PropertyTag kSendOutlookRecallReport = makeTag(0x6803, kBool);
constexpr PropertyTag kOfflineAddressBookTruncatedProperties =
    makeTag(0x6805, PropertyType::MultiInt32);
constexpr PropertyTag kOabLangId = makeTag(0x682F, kString);

// Attachments.
constexpr PropertyTag kAttachDataBinary = makeTag(0x3701, kBinary);
constexpr PropertyTag kAttachExtension = makeTag(0x3703, kString);
constexpr PropertyTag kAttachFilename = makeTag(0x3704, kString);
constexpr PropertyTag kAttachMethod = makeTag(0x3705, kInt32);
constexpr PropertyTag kAttachLongFilename = makeTag(0x3707, kString);
constexpr PropertyTag kRenderingPosition = makeTag(0x370B, kInt32);
constexpr PropertyTag kAttachmentContactPhoto = makeTag(0x7FFF, kBool);

// Recipients (only the template table).
constexpr PropertyTag kRecipientType = makeTag(0x0C15, kInt32);
constexpr PropertyTag kResponsibilityRecipient = makeTag(0x0E0F, kBool);
constexpr PropertyTag kRecipientRecordKey = makeTag(0x0FF9, kBinary);
constexpr PropertyTag kObjectType = makeTag(0x0FFE, kInt32);
constexpr PropertyTag kEntryId = makeTag(0x0FFF, kBinary);
constexpr PropertyTag kAddressType = makeTag(0x3002, kString);
constexpr PropertyTag kEmailAddress = makeTag(0x3003, kString);
constexpr PropertyTag kDisplayType = makeTag(0x3900, kInt32);
constexpr PropertyTag kTransmittableDisplayName = makeTag(0x3A20, kString);
constexpr PropertyTag kSendRichInfo = makeTag(0x3A40, kBool);
constexpr PropertyTag kSevenBitDisplayName = makeTag(0x39FF, kString);

// Contacts.
constexpr PropertyTag kGeneration = makeTag(0x3A05, kString);
constexpr PropertyTag kGivenName = makeTag(0x3A06, kString);
constexpr PropertyTag kBusinessTelephone = makeTag(0x3A08, kString);
constexpr PropertyTag kHomeTelephone = makeTag(0x3A09, kString);
constexpr PropertyTag kSurname = makeTag(0x3A11, kString);
constexpr PropertyTag kPostalAddress = makeTag(0x3A15, kString);
constexpr PropertyTag kCompanyName = makeTag(0x3A16, kString);
constexpr PropertyTag kTitle = makeTag(0x3A17, kString);
constexpr PropertyTag kDepartmentName = makeTag(0x3A18, kString);
constexpr PropertyTag kOfficeLocation = makeTag(0x3A19, kString);
constexpr PropertyTag kMobileTelephone = makeTag(0x3A1C, kString);
constexpr PropertyTag kCarTelephone = makeTag(0x3A1E, kString);
constexpr PropertyTag kPagerTelephone = makeTag(0x3A21, kString);
constexpr PropertyTag kBusinessFax = makeTag(0x3A24, kString);
constexpr PropertyTag kHomeFax = makeTag(0x3A25, kString);
constexpr PropertyTag kCountry = makeTag(0x3A26, kString);
constexpr PropertyTag kLocality = makeTag(0x3A27, kString);
constexpr PropertyTag kStateOrProvince = makeTag(0x3A28, kString);
constexpr PropertyTag kStreetAddress = makeTag(0x3A29, kString);
constexpr PropertyTag kPostalCode = makeTag(0x3A2A, kString);
constexpr PropertyTag kAssistant = makeTag(0x3A30, kString);
constexpr PropertyTag kMiddleName = makeTag(0x3A44, kString);
constexpr PropertyTag kDisplayNamePrefix = makeTag(0x3A45, kString);
constexpr PropertyTag kProfession = makeTag(0x3A46, kString);
constexpr PropertyTag kSpouseName = makeTag(0x3A48, kString);
constexpr PropertyTag kManagerName = makeTag(0x3A4E, kString);
constexpr PropertyTag kBusinessHomePage = makeTag(0x3A51, kString);
constexpr PropertyTag kHomeAddressCity = makeTag(0x3A59, kString);
constexpr PropertyTag kHomeAddressCountry = makeTag(0x3A5A, kString);
constexpr PropertyTag kHomeAddressPostalCode = makeTag(0x3A5B, kString);
constexpr PropertyTag kHomeAddressStateOrProvince = makeTag(0x3A5C, kString);
constexpr PropertyTag kHomeAddressStreet = makeTag(0x3A5D, kString);

// Named contact properties: ids in the address property set.
constexpr std::uint32_t kLidFileUnder = 0x8005;
constexpr std::uint32_t kLidFileUnderId = 0x8006;
constexpr std::uint32_t kLidHasPicture = 0x8015;
constexpr std::uint32_t kLidHomeAddress = 0x801A;
constexpr std::uint32_t kLidWorkAddress = 0x801B;
constexpr std::uint32_t kLidPostalAddressId = 0x8022;
constexpr std::uint32_t kLidAddressBookProviderEmailList = 0x8028;
constexpr std::uint32_t kLidAddressBookProviderArrayType = 0x8029;
constexpr std::uint32_t kLidHtml = 0x802B;
constexpr std::uint32_t kLidWorkAddressStreet = 0x8045;
constexpr std::uint32_t kLidWorkAddressCity = 0x8046;
constexpr std::uint32_t kLidWorkAddressState = 0x8047;
constexpr std::uint32_t kLidWorkAddressPostalCode = 0x8048;
constexpr std::uint32_t kLidWorkAddressCountry = 0x8049;
constexpr std::uint32_t kLidInstantMessagingAddress = 0x8062;
constexpr std::uint32_t kLidEmail1Base = 0x8080; // e-mail 2 and 3 follow at +0x10 and +0x20
constexpr std::uint32_t kEmailDisplayNameOffset = 0;
constexpr std::uint32_t kEmailAddressTypeOffset = 2;
constexpr std::uint32_t kEmailAddressOffset = 3;
constexpr std::uint32_t kEmailOriginalDisplayNameOffset = 4;
constexpr std::uint32_t kEmailStride = 0x10;

// File-as patterns.
constexpr std::int32_t kFileUnderLastFirstMiddle = 0x8017;
constexpr std::int32_t kFileUnderCompany = 0x3A16;
constexpr std::int32_t kFileUnderDisplayName = 0x3001;

// Node identifiers of a new store.
constexpr ndb::Nid kMessageStoreNid = 0x21;
constexpr ndb::Nid kNameToIdMapNid = 0x61;
constexpr ndb::Nid kRootFolderNid = 0x122;
constexpr ndb::Nid kSearchManagementQueueNid = 0x1E1;
constexpr ndb::Nid kSearchActivityListNid = 0x201;
constexpr ndb::Nid kHierarchyTemplateNid = 0x60D;
constexpr ndb::Nid kContentsTemplateNid = 0x60E;
constexpr ndb::Nid kAssociatedContentsTemplateNid = 0x60F;
constexpr ndb::Nid kSearchContentsTemplateNid = 0x610;
constexpr ndb::Nid kReceiveFolderTableNid = 0x62B;
constexpr ndb::Nid kAttachmentTemplateNid = 0x671;
constexpr ndb::Nid kRecipientTemplateNid = 0x692;
constexpr ndb::Nid kSpamSearchFolderNid = 0x2223;
constexpr ndb::Nid kIpmSubtreeNid = 0x8022;
constexpr ndb::Nid kSearchRootNid = 0x8042;
constexpr ndb::Nid kDeletedItemsNid = 0x8062;
constexpr ndb::Nid kInboxNid = 0x8082;
constexpr ndb::Nid kOutboxNid = 0x80A2;
constexpr ndb::Nid kSentItemsNid = 0x80C2;
constexpr ndb::Nid kViewsNid = 0x80E2;
constexpr ndb::Nid kCommonViewsNid = 0x8102;
constexpr ndb::Nid kCalendarNid = 0x8122;
constexpr ndb::Nid kContactsNid = 0x8142;
constexpr ndb::Nid kJournalNid = 0x8162;
constexpr ndb::Nid kNotesNid = 0x8182;
constexpr ndb::Nid kTasksNid = 0x81A2;
constexpr ndb::Nid kDraftsNid = 0x81C2;
/// Messages are numbered from here (the first index after the header's starting value).
constexpr std::uint32_t kFirstMessageIndex = 0x10001;
/// A contact's photo attachment, as a subnode of the message.
constexpr ndb::Nid kPhotoAttachmentNid = 0x8025;

} // namespace plumbrae::pst::messaging::tags
