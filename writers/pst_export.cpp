#include "writers/pst_export.h"

#include "automation/registry.h"
#include "support/text.h"

#include <array>
#include <ctime>
#include <exception>
#include <string_view>

namespace plumbrae::writers {

namespace {

using core::ContactRecord;

/// One item property and the record field it is set from, in the order they are set. The
/// `IMAddress` row has no field: it is built from the three other e-mail fields.
struct PropertySource {
    std::string_view property;
    ContactRecord::FieldPointer field;
};

constexpr std::string_view ImAddressProperty = "IMAddress";

const std::array<PropertySource, 41>& contactProperties() {
    static const std::array<PropertySource, 41> Table{{
        {"FirstName", &ContactRecord::FirstName},
        {"MiddleName", &ContactRecord::MiddleName},
        {"LastName", &ContactRecord::LastName},
        {"FullName", &ContactRecord::FullName},
        {"JobTitle", &ContactRecord::JobTitle},
        {"CompanyName", &ContactRecord::Company},
        {"BusinessTelephoneNumber", &ContactRecord::OfficePhone},
        {"BusinessFaxNumber", &ContactRecord::OfficeFax},
        {"HomeTelephoneNumber", &ContactRecord::HomePhone},
        {"HomeFaxNumber", &ContactRecord::HomeFax},
        {"MobileTelephoneNumber", &ContactRecord::CellPhone},
        {"PagerNumber", &ContactRecord::Pager},
        {"CarTelephoneNumber", &ContactRecord::CarPhone},
        {"BusinessAddress", &ContactRecord::BusinessAddress},
        {"BusinessAddressStreet", &ContactRecord::BusinessStreet},
        {"BusinessAddressCity", &ContactRecord::BusinessCity},
        {"BusinessAddressState", &ContactRecord::BusinessState},
        {"BusinessAddressPostalCode", &ContactRecord::BusinessZip},
        {"BusinessAddressCountry", &ContactRecord::BusinessCountry},
        {"HomeAddress", &ContactRecord::PersonalAddress},
        {"HomeAddressStreet", &ContactRecord::PersonalStreet},
        {"HomeAddressCity", &ContactRecord::PersonalCity},
        {"HomeAddressState", &ContactRecord::PersonalState},
        {"HomeAddressPostalCode", &ContactRecord::PersonalZip},
        {"HomeAddressCountry", &ContactRecord::PersonalCountry},
        {"Email1Address", &ContactRecord::Email},
        {"Email2Address", &ContactRecord::Email2},
        {"Email3Address", &ContactRecord::Email3},
        {"BusinessHomePage", &ContactRecord::WebPage},
        {"WebPage", &ContactRecord::WebPage},
        {ImAddressProperty, nullptr},
        {"Categories", &ContactRecord::Categories},
        {"Department", &ContactRecord::Department},
        {"OfficeLocation", &ContactRecord::Location},
        {"Profession", &ContactRecord::Profession},
        {"ManagerName", &ContactRecord::Manager},
        {"AssistantName", &ContactRecord::Assistant},
        {"Title", &ContactRecord::Title},
        {"Suffix", &ContactRecord::Suffix},
        {"Spouse", &ContactRecord::Spouse},
        {"Body", &ContactRecord::Comments},
    }};
    return Table;
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

} // namespace

LocalDateTime SystemClock::now() {
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
    localtime_r(&seconds, &local);
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
    // The session a failed run left behind is released here, which commits its file.
    releaseSession();
    StartPstExport(outputFolder);
}

void PstExport::write(const core::ContactToWrite& contact) {
    m_contactNumber = contact.contactNumber;
    CreateContactItem(m_storeId, ContactsFolder, contact.trimmed);
}

void PstExport::close() {
    FinishPstExport();
}

void PstExport::abandon() noexcept {
    // Nothing is logged off, but the session is released at once: releasing it commits every
    // contact saved before the failure, so the file the user opens next holds all of them.
    releaseSession();
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
    m_session = attempt(starting, [] { return automation::createObject(SessionProgId); });
    attempt(starting, [&] { m_session->call("Logon"); });

    // Two readings of the clock, as the names have always been made: they differ only when a
    // second boundary passes between them.
    m_pstPath = OutputFolder + "Zimbracontacts" + pstTimeStamp(m_clock->now()) + ".pst";
    m_displayName = "Zimbra Contacts : Created - " + pstTimeStamp(m_clock->now());

    const std::string creating = "Could not create the PST file " + quoted(m_pstPath);
    attempt(creating, [&] {
        const automation::ObjectPtr stores = m_session->get("Stores").toObject();
        m_store =
            stores->call("AddPSTStore", {m_pstPath, DefaultStoreFormat, m_displayName}).toObject();
        m_storeId = m_store->get("EntryID").toText();
        m_store->call("ValidateIPMTree");
    });
}

void PstExport::CreateContactItem(const std::string& storeID, std::int32_t FolderName,
                                  const core::ContactRecord& record) {
    const std::string saving = "Could not save contact " + support::decimal(m_contactNumber) +
                               " in the PST file " + quoted(m_pstPath);
    attempt(saving, [&] {
        if (!m_session) {
            throw core::OutputError("no Outlook session is open");
        }
        const automation::ObjectPtr store = m_session->call("GetStoreFromID", {storeID}).toObject();
        const automation::ObjectPtr folder =
            store->call("GetDefaultFolder", {FolderName}).toObject();
        const automation::ObjectPtr items = folder->get("Items").toObject();
        const automation::ObjectPtr item = items->call("Add", {ContactItem}).toObject();
        for (const PropertySource& source : contactProperties()) {
            if (source.field == nullptr) {
                item->put(source.property,
                          record.OtherEmail1 + " " + record.OtherEmail2 + " " + record.OtherEmail3);
            } else {
                item->put(source.property, record.*source.field);
            }
        }
        if (!record.Photo.empty()) {
            item->call("AddPicture", {record.Photo});
        }
        item->call("Save");
    });
}

void PstExport::FinishPstExport() {
    attempt("Could not close the PST file " + quoted(m_pstPath), [&] {
        if (m_session) {
            m_session->call("Logoff");
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
