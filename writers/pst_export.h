#pragma once

#include "automation/object.h"
#include "core/contact_output.h"
#include "core/contact_record.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plumbrae::writers {

/// A local date and time as the clock reads it.
struct LocalDateTime {
    std::int32_t year = 2000;
    std::int32_t month = 1; ///< 1 to 12
    std::int32_t day = 1;   ///< 1 to 31
    std::int32_t hour = 0;  ///< 0 to 23
    std::int32_t minute = 0;
    std::int32_t second = 0;
};

/// Where the PST export reads the time for its file and store names; tests pass their own.
class Clock {
public:
    virtual ~Clock() = default;
    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    [[nodiscard]] virtual LocalDateTime now() = 0;
};

/// The system's local time.
class SystemClock : public Clock {
public:
    [[nodiscard]] LocalDateTime now() override;
};

/// The stamp in PST file and store names: day, month, two-digit year, hour, minute without
/// leading zeros and seconds with two digits, "d.m.YY H.m.ss" (25.3.13 14.30.05).
std::string pstTimeStamp(const LocalDateTime& time);

/// The Outlook (.pst) option's output. Everything goes through late-bound calls on the object
/// registered under automation::contract::SessionProgId, so any class registered under that
/// name (our PST object model, or a test double) serves it.
///
/// A run that stops early still logs off, which commits every contact saved so far; releasing
/// a session without logging off only cleans up.
class PstExport : public core::ContactOutput {
public:
    PstExport();
    explicit PstExport(std::shared_ptr<Clock> clock);
    ~PstExport() override;

    void open(const std::string& outputFolder) override;
    void write(const core::ContactToWrite& contact) override;
    /// Saves the group as a distribution list in the same Contacts folder, among the contacts in
    /// queue order.
    bool writeGroup(const core::GroupToWrite& group) override;
    [[nodiscard]] bool readFailureEndsRun() const override { return true; }
    /// The items carry no UID of their own (the store gives each its search key).
    [[nodiscard]] bool usesUid() const override { return false; }
    void close() override;
    /// Logs off (the final commit) and releases the session; a failure is told by notes().
    void abandon() noexcept override;
    [[nodiscard]] std::vector<core::MessageList> notes() const override;
    /// Names the PST file and its folder.
    [[nodiscard]] std::vector<std::string> writtenFiles() const override;
    [[nodiscard]] core::Message failureMessage(const std::string& cause) const override;

    /// Creates the session, logs on, creates and attaches the new PST file in `OutputFolder`
    /// and keeps its store and entry id. Throws core::OutputError.
    void StartPstExport(const std::string& OutputFolder);
    /// Creates and saves one contact item in the default folder `FolderName` of the store
    /// `storeID`, looking the store and folder up anew. Throws core::OutputError.
    /// A new item of `kind` (an item type or a message class) in the store's default folder
    /// `FolderName`.
    automation::ObjectPtr addItem(const std::string& storeID, std::int32_t FolderName,
                                  const automation::Variant& kind);
    void CreateContactItem(const std::string& storeID, std::int32_t FolderName,
                           const core::ContactRecord& record);
    /// Creates and saves one distribution list item ("IPM.DistList") in the default folder
    /// `FolderName`: its name, and each member added by name, address and the address type
    /// "SMTP". Throws core::OutputError.
    void CreateDistListItem(const std::string& storeID, std::int32_t FolderName,
                            const core::ContactGroup& group);
    /// Logs off, then releases the store and the session. Throws core::OutputError.
    void FinishPstExport();

    /// The PST file of the current (or last) run; "" before the first.
    [[nodiscard]] const std::string& pstPath() const { return m_pstPath; }
    /// The name the store was attached under.
    [[nodiscard]] const std::string& storeDisplayName() const { return m_displayName; }

    /// The lines of the "Outlook Error" message before the cause.
    static constexpr const char* ErrorCaption = "Outlook Error";
    static constexpr const char* SupportArticle =
        "https://support.microsoft.com/en-us/office/"
        "choose-between-the-64-bit-or-32-bit-version-of-office-"
        "2dee7807-8f95-4d0c-b5fe-6c6f49b8d261";

private:
    void releaseSession() noexcept;

    std::shared_ptr<Clock> m_clock;
    automation::ObjectPtr m_session;
    automation::ObjectPtr m_store;
    std::string m_storeId;
    std::string m_pstPath;
    std::string m_displayName;
    std::int32_t m_contactNumber = 0;
    /// Why the final commit of an abandoned run failed ("" when it did not).
    std::string m_unfinished;
};

} // namespace plumbrae::writers
