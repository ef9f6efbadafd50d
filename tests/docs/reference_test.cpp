// The reference for script authors (docs/reference.md) against the type library built into
// pelkary.dll: every method and event has its section, with the library's parameter names in
// order and its help string quoted word for word; every enumeration constant has its value; and
// the reference describes nothing the library does not have.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "reference_document.h"
#include "type_library_model.h"

namespace pelkary::docs {
namespace {

// A unix path of the build as a Windows path on Wine's Z: drive.
std::string WindowsPath(std::string unix_path) {
    for (char& c : unix_path)
        if (c == '/') c = '\\';
    return "Z:" + unix_path;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class ReferenceAgainstTypeLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitialize(nullptr);
        library_ = new TypeLibraryModel;
        load_result_ = library_->Load(Widen(WindowsPath(PELKARY_BIN_DIR "/pelkary.dll")));
        bool read = false;
        document_ = new ReferenceDocument(
            ReferenceDocument::FromFile(WindowsPath(PELKARY_SOURCE_DIR "/docs/reference.md"), &read));
        document_read_ = read;
    }
    static void TearDownTestSuite() {
        delete library_;
        delete document_;
        CoUninitialize();
    }
    void SetUp() override {
        ASSERT_EQ(load_result_, S_OK) << "pelkary.dll's type library cannot be loaded";
        ASSERT_TRUE(document_read_) << "docs/reference.md cannot be read";
        // Guard against a vacuous pass: the library has the three classes and two event interfaces.
        std::set<std::string> owners;
        for (const auto& m : library_->members()) owners.insert(m.owner);
        ASSERT_EQ(owners, (std::set<std::string>{"MXFolderManager", "MXFolder", "MXMessage", "IMXFolderEvents",
                                                 "IMXFolderManagerEvents"}));
    }

    static std::string Key(const LibraryMember& m) { return m.owner + "." + m.name; }

    static TypeLibraryModel* library_;
    static ReferenceDocument* document_;
    static HRESULT load_result_;
    static bool document_read_;
};

TypeLibraryModel* ReferenceAgainstTypeLibrary::library_ = nullptr;
ReferenceDocument* ReferenceAgainstTypeLibrary::document_ = nullptr;
HRESULT ReferenceAgainstTypeLibrary::load_result_ = E_FAIL;
bool ReferenceAgainstTypeLibrary::document_read_ = false;

TEST_F(ReferenceAgainstTypeLibrary, EveryMethodAndEventHasExactlyOneSection) {
    for (const auto& member : library_->members()) {
        const auto it = document_->members().find(Key(member));
        if (it == document_->members().end()) {
            ADD_FAILURE() << "no section \"### " << Key(member) << "\" in docs/reference.md";
            continue;
        }
        EXPECT_EQ(it->second.occurrences, 1) << Key(member) << " is described more than once";
    }
}

TEST_F(ReferenceAgainstTypeLibrary, NoSectionDescribesAMemberTheLibraryLacks) {
    std::set<std::string> known;
    for (const auto& member : library_->members()) known.insert(Key(member));
    for (const auto& [key, entry] : document_->members())
        EXPECT_TRUE(known.count(key)) << "docs/reference.md describes " << key
                                      << ", which the type library does not have";
}

TEST_F(ReferenceAgainstTypeLibrary, SignaturesGiveTheLibrarysParametersInOrder) {
    for (const auto& member : library_->members()) {
        const auto it = document_->members().find(Key(member));
        if (it == document_->members().end()) continue;  // reported by the coverage test
        std::string name, result;
        std::vector<SignatureParameter> documented;
        ASSERT_TRUE(ParseSignature(it->second.signature, &name, &documented, &result))
            << Key(member) << ": the signature line `" << it->second.signature << "` is malformed";
        EXPECT_EQ(name, member.name) << Key(member);

        std::vector<std::string> expected_names, documented_names;
        std::vector<bool> expected_out, documented_out;
        bool has_result = false;
        for (const auto& p : member.params) {
            if (p.retval) {
                has_result = true;
                continue;
            }
            expected_names.push_back(p.name);
            expected_out.push_back(p.out);
        }
        for (const auto& p : documented) {
            documented_names.push_back(p.name);
            documented_out.push_back(p.out);
        }
        EXPECT_EQ(documented_names, expected_names) << Key(member) << ": parameter names";
        EXPECT_EQ(documented_out, expected_out) << Key(member) << ": [out] marks";
        EXPECT_EQ(!result.empty(), has_result) << Key(member) << ": a result is documented iff the method has one";
    }
}

TEST_F(ReferenceAgainstTypeLibrary, HelpStringsAreQuotedWordForWord) {
    for (const auto& member : library_->members()) {
        const auto it = document_->members().find(Key(member));
        if (it == document_->members().end()) continue;
        ASSERT_TRUE(it->second.has_help) << Key(member) << ": no \"> Type library:\" line";
        EXPECT_EQ(it->second.help, member.help) << Key(member);
    }
}

// In the enumeration tables a constant's value stands in the cell before its name (the property
// id table, several constants per row) or else in the cell after it.
TEST_F(ReferenceAgainstTypeLibrary, EnumerationTablesGiveEveryConstantItsValue) {
    std::map<std::string, std::vector<long>> documented;
    auto number = [](const std::string& cell, long* value) {
        if (cell.empty()) return false;
        char* end = nullptr;
        *value = std::strtol(cell.c_str(), &end, 0);
        return end != cell.c_str() && (*end == '\0' || *end == ' ');
    };
    for (const auto& row : document_->table_rows()) {
        for (size_t i = 0; i < row.size(); ++i) {
            const std::string& cell = row[i];
            if (cell.size() < 3 || cell.front() != '`' || cell.back() != '`') continue;
            long value = 0;
            if ((i > 0 && number(row[i - 1], &value)) || (i + 1 < row.size() && number(row[i + 1], &value)))
                documented[cell.substr(1, cell.size() - 2)].push_back(value);
        }
    }
    ASSERT_FALSE(library_->constants().empty());
    for (const auto& constant : library_->constants()) {
        const auto it = documented.find(constant.name);
        if (it == documented.end()) {
            ADD_FAILURE() << constant.enumeration << "." << constant.name << " has no row in a table";
            continue;
        }
        for (long value : it->second)
            EXPECT_EQ(value, constant.value) << constant.enumeration << "." << constant.name;
    }
}

TEST_F(ReferenceAgainstTypeLibrary, QuotedGuidsAreTheLibrarysOwn) {
    const std::set<std::string> own(library_->guids().begin(), library_->guids().end());
    ASSERT_EQ(own.size(), 9u);  // the library, five interfaces, three classes
    for (const auto& guid : document_->guids())
        EXPECT_TRUE(own.count(guid)) << "docs/reference.md quotes " << guid << ", which the type library does not define";
}

// The reader itself: a fault here would let the comparisons above pass on nothing.
TEST(ReferenceDocumentReader, ReadsSectionsAndIgnoresCodeBlocks) {
    const ReferenceDocument doc(
        "## Part\n"
        "| 2 | `A_TWO` | 3 | `A_THREE` |\n"
        "### X.Run\n"
        "\n"
        "`Run(a As Long, [out] b As Long) As String`\n"
        "\n"
        "> Type library: \"Runs \"it\".\"\n"
        "```vbscript\n"
        "### X.Hidden\n"
        "```\n"
        "### X.Run\n"
        "### tagENUM\n"
        "see {67696f0c-bca3-4b63-bf46-0ea702522655} and {not-a-guid}\n");
    ASSERT_EQ(doc.members().size(), 1u);
    const DocumentedMember& run = doc.members().at("X.Run");
    EXPECT_EQ(run.occurrences, 2);
    EXPECT_EQ(run.signature, "Run(a As Long, [out] b As Long) As String");
    EXPECT_EQ(run.help, "Runs \"it\".");
    ASSERT_EQ(doc.table_rows().size(), 1u);
    EXPECT_EQ(doc.table_rows()[0], (std::vector<std::string>{"2", "`A_TWO`", "3", "`A_THREE`"}));
    EXPECT_EQ(doc.guids(), (std::vector<std::string>{"{67696F0C-BCA3-4B63-BF46-0EA702522655}"}));
}

TEST(ReferenceDocumentReader, ParsesSignatures) {
    std::string name, result;
    std::vector<SignatureParameter> params;
    ASSERT_TRUE(ParseSignature("GetBodyProp(bodyHandle As Long, [out] exist As Long) As String", &name, &params,
                               &result));
    EXPECT_EQ(name, "GetBodyProp");
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0].name, "bodyHandle");
    EXPECT_FALSE(params[0].out);
    EXPECT_EQ(params[1].name, "exist");
    EXPECT_TRUE(params[1].out);
    EXPECT_EQ(result, "String");

    ASSERT_TRUE(ParseSignature("OnDeletion()", &name, &params, &result));
    EXPECT_TRUE(params.empty());
    EXPECT_TRUE(result.empty());

    EXPECT_FALSE(ParseSignature("GetFolder(folderId) As MXFolder", &name, &params, &result));
    EXPECT_FALSE(ParseSignature("no parentheses", &name, &params, &result));
}

}  // namespace
}  // namespace pelkary::docs
