#include "writers/pst_export.h"

#include "automation/registry.h"
#include "automation/session_contract.h"
#include "core/path_text.h"
#include "support/text.h"

#include <array>
#include <concepts>
#include <ctime>
#include <exception>
#include <string_view>

namespace plumbrae::writers {

namespace {

using core::ContactRecord;

namespace contract = automation::contract;
using contract::ContactProperty;

/// When a property is set: for every contact (also to empty text), only when the contact has the
/// value, or only when the value is a date with its year (a date without one, or other text, is
/// never guessed into a date).
enum class Setting { Always, WhenPresent, WhenFullDate };

/// One item property and the record field it is set from, in the order they are set. The
/// `IMAddress` row has no field: it is built from the instant-messaging address and the three
/// other e-mail fields.
struct PropertySource {
    ContactProperty property{};
    ContactRecord::FieldPointer field = nullptr;
    Setting setting = Setting::Always;
};

constexpr std::array<PropertySource, contract::ContactPropertyNames.size()> ContactProperties{{
    {ContactProperty::FirstName, &ContactRecord::FirstName},
    {ContactProperty::MiddleName, &ContactRecord::MiddleName},
    {ContactProperty::LastName, &ContactRecord::LastName},
    {ContactProperty::FullName, &ContactRecord::FullName},
    {ContactProperty::JobTitle, &ContactRecord::JobTitle},
    {ContactProperty::CompanyName, &ContactRecord::Company},
    {ContactProperty::BusinessTelephoneNumber, &ContactRecord::OfficePhone},
    {ContactProperty::BusinessFaxNumber, &ContactRecord::OfficeFax},
    {ContactProperty::HomeTelephoneNumber, &ContactRecord::HomePhone},
    {ContactProperty::HomeFaxNumber, &ContactRecord::HomeFax},
    {ContactProperty::MobileTelephoneNumber, &ContactRecord::CellPhone},
    {ContactProperty::PagerNumber, &ContactRecord::Pager},
    {ContactProperty::CarTelephoneNumber, &ContactRecord::CarPhone},
    {ContactProperty::BusinessAddress, &ContactRecord::BusinessAddress},
    {ContactProperty::BusinessAddressStreet, &ContactRecord::BusinessStreet},
    {ContactProperty::BusinessAddressCity, &ContactRecord::BusinessCity},
    {ContactProperty::BusinessAddressState, &ContactRecord::BusinessState},
    {ContactProperty::BusinessAddressPostalCode, &ContactRecord::BusinessZip},
    {ContactProperty::BusinessAddressCountry, &ContactRecord::BusinessCountry},
    {ContactProperty::HomeAddress, &ContactRecord::PersonalAddress},
    {ContactProperty::HomeAddressStreet, &ContactRecord::PersonalStreet},
    {ContactProperty::HomeAddressCity, &ContactRecord::PersonalCity},
    {ContactProperty::HomeAddressState, &ContactRecord::PersonalState},
    {ContactProperty::HomeAddressPostalCode, &ContactRecord::PersonalZip},
    {ContactProperty::HomeAddressCountry, &ContactRecord::PersonalCountry},
    {ContactProperty::Email1Address, &ContactRecord::Email},
    {ContactProperty::Email2Address, &ContactRecord::Email2},
    {ContactProperty::Email3Address, &ContactRecord::Email3},
    {ContactProperty::BusinessHomePage, &ContactRecord::WebPage},
    {ContactProperty::WebPage, &ContactRecord::WebPage},
    {ContactProperty::IMAddress, nullptr},
    {ContactProperty::Categories, &ContactRecord::Categories},
    {ContactProperty::Department, &ContactRecord::Department},
    {ContactProperty::OfficeLocation, &ContactRecord::Location},
    {ContactProperty::Profession, &ContactRecord::Profession},
    {ContactProperty::ManagerName, &ContactRecord::Manager},
    {ContactProperty::AssistantName, &ContactRecord::Assistant},
    {ContactProperty::Title, &ContactRecord::Title},
    {ContactProperty::Suffix, &ContactRecord::Suffix},
    {ContactProperty::Spouse, &ContactRecord::Spouse},
    {ContactProperty::Body, &ContactRecord::Comments},
    {ContactProperty::Nickname, &ContactRecord::Nickname, Setting::WhenPresent},
    {ContactProperty::Business2TelephoneNumber, &ContactRecord::OfficePhone2, Setting::WhenPresent},
    {ContactProperty::Home2TelephoneNumber, &ContactRecord::HomePhone2, Setting::WhenPresent},
    {ContactProperty::OtherTelephoneNumber, &ContactRecord::OtherPhone, Setting::WhenPresent},
    {ContactProperty::CompanyMainTelephoneNumber, &ContactRecord::CompanyPhone,
     Setting::WhenPresent},
    {ContactProperty::OtherAddressStreet, &ContactRecord::OtherStreet, Setting::WhenPresent},
    {ContactProperty::OtherAddressCity, &ContactRecord::OtherCity, Setting::WhenPresent},
    {ContactProperty::OtherAddressState, &ContactRecord::OtherState, Setting::WhenPresent},
    {ContactProperty::OtherAddressPostalCode, &ContactRecord::OtherZip, Setting::WhenPresent},
    {ContactProperty::OtherAddressCountry, &ContactRecord::OtherCountry, Setting::WhenPresent},
    {ContactProperty::Birthday, &ContactRecord::Birthday, Setting::WhenFullDate},
    {ContactProperty::Anniversary, &ContactRecord::Anniversary, Setting::WhenFullDate},
}};
static_assert(contract::coversEveryPropertyInOrder(ContactProperties));

/// The text a property is set to.
std::string propertyValue(const PropertySource& source, const ContactRecord& record) {
    if (source.field == nullptr) {
        // The instant-messaging address first, when there is one, then the other e-mail
        // addresses as they have always been written (two spaces even when all are empty).
        const std::string others =
            record.OtherEmail1 + " " + record.OtherEmail2 + " " + record.OtherEmail3;
        return record.IMAddress.empty() ? others : record.IMAddress + " " + others;
    }
    if (source.property == ContactProperty::BusinessHomePage && !record.WorkWebPage.empty()) {
        return record.WorkWebPage;
    }
    return record.*source.field;
}

bool isSet(const PropertySource& source, const std::string& value) {
    switch (source.setting) {
    case Setting::Always:
        return true;
    case Setting::WhenPresent:
        return !value.empty();
    case Setting::WhenFullDate:
        return core::fullDate(value).has_value();
    }
    return true;
}

std::string twoDigits(std::int32_t value) {
    std::string text = support::decimal(value % 100);
    return text.size() < 2 ? "0" + text : text;
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

/// Runs one step of the export and turns any failure into the run's OutputError, with what was
/// being done in front of the library's own message.
template <typename Step> auto attempt(const std::string& doing, Step&& step) {
    try {
        return step();
    } catch (const std::exception& error) {
        throw core::OutputError(doing + ": " + error.what());
    }
}

/// The same for a step done once per contact, whose description is only made when it fails.
template <typename Describe, typename Step>
requires std::invocable<const Describe&>
auto attempt(const Describe& doing, Step&& step) {
    try {
        return step();
    } catch (const std::exception& error) {
        throw core::OutputError(doing() + ": " + error.what());
    }
}

} // namespace

LocalDateTime SystemClock::now() {
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string pstTimeStamp(const LocalDateTime& time) {
    return support::decimal(time.day) + "." + support::decimal(time.month) + "." +
           twoDigits(time.year) + " " + support::decimal(time.hour) + "." +
           support::decimal(time.minute) + "." + twoDigits(time.second);
}

PstExport::PstExport() : PstExport(std::make_shared<SystemClock>()) {}

PstExport::PstExport(std::shared_ptr<Clock> clock) : m_clock(std::move(clock)) {}

PstExport::~PstExport() {
    releaseSession();
}

void PstExport::open(const std::string& outputFolder) {
    releaseSession();
    m_unfinished.clear();
    StartPstExport(outputFolder);
}

void PstExport::write(const core::ContactToWrite& contact) {
    m_contactNumber = contact.contactNumber;
    CreateContactItem(m_storeId, contract::ContactsFolder, contact.trimmed);
}

bool PstExport::writeGroup(const core::GroupToWrite& group) {
    m_contactNumber = group.contactNumber;
    CreateDistListItem(m_storeId, contract::ContactsFolder, group.group);
    return true;
}

void PstExport::close() {
    FinishPstExport();
}

void PstExport::abandon() noexcept {
    // The run stopped, but every contact saved so far goes into the file: logging off is the
    // final commit. When even that fails, the file holds what the last commit wrote.
    m_unfinished.clear();
    if (m_session) {
        try {
            FinishPstExport();
        } catch (const std::exception& error) {
            m_unfinished = error.what();
        }
    }
    releaseSession();
}

std::vector<core::MessageList> PstExport::notes() const {
    if (m_unfinished.empty()) {
        return {};
    }
    return {{"The contacts saved last may be missing from the PST file: " + m_unfinished, {}}};
}

std::vector<std::string> PstExport::writtenFiles() const {
    const std::string folder = core::GetParentPath(m_pstPath);
    return {"Open Outlook to view the converted PST file \"" + m_pstPath.substr(folder.size()) +
            "\" in the folder " + core::folderForDisplay(folder) + "."};
}

core::Message PstExport::failureMessage(const std::string& cause) const {
    std::string text = "Outlook Session Creation Error !\r\n"
                       "Check if Outlook is installed and configured.\r\n"
                       "If Outlook 2010 (64 Bit) is installed, then please try to re-install it "
                       "as Outlook 2010 (32 Bit).\r\n"
                       "For more details visit this link : ";
    text += SupportArticle;
    text += "\r\nCause: ";
    text += cause;
    return core::Message{ErrorCaption, text, core::MessageIcon::Information};
}

void PstExport::StartPstExport(const std::string& OutputFolder) {
    const std::string starting = "Could not start the Outlook session";
    m_session = attempt(starting, [] { return automation::createObject(contract::SessionProgId); });
    attempt(starting, [&] { m_session->call(contract::session::Logon); });

    // Two readings of the clock, as the names have always been made: they differ only when a
    // second boundary passes between them.
    m_pstPath = OutputFolder + "Zimbracontacts" + pstTimeStamp(m_clock->now()) + ".pst";
    m_displayName = "Zimbra Contacts : Created - " + pstTimeStamp(m_clock->now());

    const std::string creating = "Could not create the PST file " + quoted(m_pstPath);
    attempt(creating, [&] {
        const automation::ObjectPtr stores = m_session->get(contract::session::Stores).toObject();
        m_store = stores
                      ->call(contract::stores::AddPstStore,
                             {m_pstPath, contract::DefaultStoreFormat, m_displayName})
                      .toObject();
        m_storeId = m_store->get(contract::store::EntryId).toText();
        m_store->call(contract::store::ValidateIpmTree);
    });
}

automation::ObjectPtr PstExport::addItem(const std::string& storeID, std::int32_t FolderName,
                                         const automation::Variant& kind) {
    if (!m_session) {
        throw core::OutputError("no Outlook session is open");
    }
    const automation::ObjectPtr store =
        m_session->call(contract::session::GetStoreFromId, {storeID}).toObject();
    const automation::ObjectPtr folder =
        store->call(contract::store::GetDefaultFolder, {FolderName}).toObject();
    const automation::ObjectPtr items = folder->get(contract::folder::Items).toObject();
    return items->call(contract::items::Add, {kind}).toObject();
}

void PstExport::CreateContactItem(const std::string& storeID, std::int32_t FolderName,
                                  const core::ContactRecord& record) {
    const auto saving = [this] {
        return "Could not save contact " + support::decimal(m_contactNumber) + " in the PST file " +
               quoted(m_pstPath);
    };
    attempt(saving, [&] {
        const automation::ObjectPtr item = addItem(storeID, FolderName, contract::ContactItem);
        for (const PropertySource& source : ContactProperties) {
            std::string value = propertyValue(source, record);
            if (isSet(source, value)) {
                item->put(contract::memberName(source.property), std::move(value));
            }
        }
        if (!record.Photo.empty()) {
            item->call(contract::item::AddPicture, {record.Photo});
        }
        item->call(contract::item::Save);
    });
}

void PstExport::CreateDistListItem(const std::string& storeID, std::int32_t FolderName,
                                   const core::ContactGroup& group) {
    const auto saving = [this] {
        return "Could not save contact group " + support::decimal(m_contactNumber) +
               " in the PST file " + quoted(m_pstPath);
    };
    attempt(saving, [&] {
        const automation::ObjectPtr item =
            addItem(storeID, FolderName, std::string(contract::DistListClass));
        item->put(contract::distList::DlName, group.name);
        for (const auto& member : group.members) {
            item->call(contract::distList::AddMemberEx,
                       {member.name, member.address, std::string(contract::SmtpAddressType)});
        }
        item->call(contract::item::Save);
    });
}

void PstExport::FinishPstExport() {
    attempt("Could not close the PST file " + quoted(m_pstPath), [&] {
        if (m_session) {
            m_session->call(contract::session::Logoff);
        }
    });
    m_store.reset();
    m_session.reset();
}

void PstExport::releaseSession() noexcept {
    // The store goes before the session, as at the end of a run.
    m_store.reset();
    m_session.reset();
    m_storeId.clear();
}

} // namespace plumbrae::writers
