// The reference for script authors (docs/reference.md) against the type library built into
// pelkary.dll: every method and event has exactly one section, with the library's parameter names
// in order and its help string quoted word for word; every enumeration constant has its value;
// and the reference describes nothing, and quotes no GUID, that the library does not have.
#include <cstdlib>
#include <map>
#include <set>

#include "reference_document.h"
#include "support/library_description.h"
#include "support/test_support.h"

namespace pelkary::test {
namespace {

using docs::ReferenceDocument;

// A method or event of the library under its reference heading: "MXFolder.GetFirstChild" for
// IMXFolder's, "IMXFolderEvents.OnDeletion" for an event.
struct Documentable {
    std::string key;
    const LibraryMember* member;
};

class ReferenceAgainstTypeLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        com_ptr<ITypeLib> library;
        const std::wstring dll = BuiltBinaryPath(L"pelkary.dll");
        ASSERT_HR(S_OK, LoadTypeLibEx(dll.c_str(), REGKIND_NONE, library.put()));
        library_ = std::make_unique<LibraryDescription>(library.get());
        bool read = false;
        document_ = std::make_unique<ReferenceDocument>(
            ReferenceDocument::FromFile("Z:" PELKARY_SOURCE_DIR "/docs/reference.md", &read));
        ASSERT_TRUE(read) << "docs/reference.md cannot be read";
        for (const LibraryType& type : library_->types()) {
            if (type.kind != "interface" && type.kind != "dispinterface") continue;
            const std::string owner = type.kind == "interface" ? type.name.substr(1) : type.name;
            // Leaving out IDispatch's own members, which a dispinterface lists first (0x6000xxxx,
            // 0x6001xxxx).
            for (const LibraryMember& m : type.members)
                if (m.id < 0x60000000 || m.id >= 0x60020000) members_.push_back({owner + "." + m.name, &m});
        }
        ASSERT_EQ(members_.size(), 16u + 24u + 54u + 3u + 6u) << "the library's members were not all read";
    }

    ComApartment apartment_;
    std::unique_ptr<LibraryDescription> library_;
    std::unique_ptr<ReferenceDocument> document_;
    std::vector<Documentable> members_;
};

TEST_F(ReferenceAgainstTypeLibrary, EveryMemberHasOneSectionWithItsParametersAndHelpString) {
    std::set<std::string> known;
    for (const Documentable& d : members_) {
        known.insert(d.key);
        const auto it = document_->members().find(d.key);
        if (it == document_->members().end()) {
            ADD_FAILURE() << "no section \"### " << d.key << "\" in docs/reference.md";
            continue;
        }
        EXPECT_EQ(it->second.occurrences, 1) << d.key << " is described more than once";
        EXPECT_EQ(it->second.help, d.member->help) << d.key << ": the \"> Type library:\" line";

        std::string name, result;
        std::vector<docs::SignatureParameter> documented;
        ASSERT_TRUE(docs::ParseSignature(it->second.signature, &name, &documented, &result))
            << d.key << ": the signature line `" << it->second.signature << "` is malformed";
        EXPECT_EQ(name, d.member->name) << d.key;
        std::string expected_params, documented_params;
        bool has_result = false;
        for (const LibraryParam& p : d.member->params) {
            has_result = has_result || p.retval();
            if (!p.retval()) expected_params += (p.out() ? "[out] " : "") + p.name + ",";
        }
        for (const auto& p : documented) documented_params += (p.out ? "[out] " : "") + p.name + ",";
        EXPECT_EQ(documented_params, expected_params) << d.key << ": parameters";
        EXPECT_EQ(!result.empty(), has_result) << d.key << ": a result is documented if and only if there is one";
    }
    for (const auto& [key, entry] : document_->members())
        EXPECT_TRUE(known.count(key)) << "docs/reference.md describes " << key << ", which the library lacks";
}

// In the enumeration tables a constant's value stands in the cell before its name (the property
// id table, several constants per row) or else in the cell after it.
TEST_F(ReferenceAgainstTypeLibrary, EnumerationTablesGiveEveryConstantItsValue) {
    std::map<std::string, std::vector<long>> documented;
    auto number = [](const std::string& cell, long* value) {
        char* end = nullptr;
        *value = std::strtol(cell.c_str(), &end, 0);
        return !cell.empty() && end != cell.c_str() && (*end == '\0' || *end == ' ');
    };
    for (const auto& row : document_->table_rows()) {
        for (size_t i = 0; i < row.size(); ++i) {
            const std::string& cell = row[i];
            long value = 0;
            if (cell.size() < 3 || cell.front() != '`' || cell.back() != '`') continue;
            if ((i > 0 && number(row[i - 1], &value)) || (i + 1 < row.size() && number(row[i + 1], &value)))
                documented[cell.substr(1, cell.size() - 2)].push_back(value);
        }
    }
    int constants = 0;
    for (const LibraryType& type : library_->types()) {
        for (const LibraryMember& c : type.members) {
            if (c.kind != "const") continue;
            ++constants;
            const auto it = documented.find(c.name);
            if (it == documented.end()) {
                ADD_FAILURE() << type.name << "." << c.name << " has no row in a table";
                continue;
            }
            for (long value : it->second) EXPECT_EQ(value, c.id) << type.name << "." << c.name;
        }
    }
    EXPECT_EQ(constants, 15 + 6 + 3 + 72);
}

TEST_F(ReferenceAgainstTypeLibrary, QuotedGuidsAreTheLibrarysOwn) {
    std::set<std::string> own = {library_->guid()};
    for (const LibraryType& type : library_->types())
        if (type.kind != "enum") own.insert(type.guid);
    ASSERT_EQ(own.size(), 9u);  // the library, five interfaces, three classes
    for (const auto& guid : document_->guids())
        EXPECT_TRUE(own.count(guid)) << "docs/reference.md quotes " << guid << ", which the library does not define";
}

}  // namespace
}  // namespace pelkary::test
