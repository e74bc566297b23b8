// A stand-in for the PST writer's file class, so the object model is tested on its own: it
// records what it is given, and writes a small marker file so that existing paths behave as
// they would with the real writer.

#include "tests/pst/rdo/fake_pst_file.h"

#include <filesystem>
#include <fstream>

namespace plumbrae::pst::messaging {

class PstFileImpl {
public:
    std::filesystem::path path;
    testing::FakePstRecord* record = nullptr;
};

} // namespace plumbrae::pst::messaging

namespace plumbrae::testing {

namespace {
bool failCommit = false;
}

std::map<std::string, FakePstRecord>& fakePstFiles() {
    static std::map<std::string, FakePstRecord> files;
    return files;
}

void failNextFakeCommit() {
    failCommit = true;
}

} // namespace plumbrae::testing

namespace plumbrae::pst::messaging {

std::unique_ptr<PstFile> PstFile::create(const std::filesystem::path& path,
                                         const std::string& displayName, CommitPolicy policy,
                                         support::FileSystem& files) {
    (void)policy;
    (void)files;
    if (std::filesystem::exists(path)) {
        throw PstError("fake: " + path.string() + " exists");
    }
    std::ofstream(path) << "fake pst";
    auto impl = std::make_unique<PstFileImpl>();
    impl->path = path;
    impl->record = &testing::fakePstFiles()[path.string()];
    impl->record->displayName = displayName;
    return std::unique_ptr<PstFile>(new PstFile(std::move(impl)));
}

PstFile::PstFile(std::unique_ptr<PstFileImpl> impl) : m_impl(std::move(impl)) {}

PstFile::~PstFile() {
    m_impl->record->destroyed = true;
}

std::string PstFile::storeEntryId() const {
    return std::string("\x00\x01\xAB\xCD", 4);
}
std::string PstFile::contactsFolderEntryId() const {
    return "contacts";
}
std::size_t PstFile::contactCount() const {
    return m_impl->record->added.size();
}
std::size_t PstFile::commitCount() const {
    return 0;
}
const std::filesystem::path& PstFile::path() const {
    return m_impl->path;
}

void PstFile::addContact(const Contact& contact) {
    if (m_impl->record->closed) {
        throw PstError("fake: closed");
    }
    m_impl->record->added.push_back(contact);
}

void PstFile::commit() {
    if (testing::failCommit) {
        testing::failCommit = false;
        throw PstError("fake: disk full while committing " + m_impl->path.string());
    }
    m_impl->record->committedContacts = m_impl->record->added.size();
}

void PstFile::close() {
    if (m_impl->record->closed) {
        return;
    }
    commit();
    m_impl->record->closed = true;
}

} // namespace plumbrae::pst::messaging
