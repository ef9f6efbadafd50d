// The reference for script authors (docs/reference.md) against the type library built into
// pelkary.dll: every method and event has exactly one section, with the library's parameter names
// in order and its help string quoted word for word; every enumeration constant has its value;
// and the reference describes nothing, and quotes no GUID, that the library does not have.
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/library_description.h"
#include "support/test_support.h"

namespace pelkary::test {
namespace {

// One "### Owner.Member" section: its signature line, e.g. "GetBodyProp(bodyHandle As Long, [out]
// exist As Long) As String", and the help string its "> Type library:" line quotes.
struct Section {
    int headings = 0;
    std::string signature, help;
};

struct Reference {
    std::map<std::string, Section> sections;
    std::map<std::string, std::vector<long>> constants;  // a value beside the constant's name in a table row
    std::set<std::string> guids;
};

Reference Read(std::istream& in) {
    static const std::regex heading(R"(### (\w+\.\w+))"), signature("`(.*\\(.*)`"),
        help(R"x(> Type library: "(.*)")x"), guid(R"(\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\})"),
        number(R"((0x[0-9A-Fa-f]+|\d+)( .*)?)");
    Reference doc;
    Section* section = nullptr;
    bool code = false;
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("```", 0) == 0) code = !code;
        if (code) continue;
        for (std::sregex_iterator g(line.begin(), line.end(), guid), end; g != end; ++g) {
            std::string text = g->str();
            for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            doc.guids.insert(text);
        }
        if (line.rfind("#", 0) == 0) section = nullptr;
        if (std::regex_match(line, m, heading)) ++(section = &doc.sections[m[1]])->headings;
        if (section && section->signature.empty() && std::regex_match(line, m, signature)) section->signature = m[1];
        if (section && section->help.empty() && std::regex_match(line, m, help)) section->help = m[1];
        if (line.rfind("|", 0) != 0) continue;
        std::vector<std::string> cells;
        std::istringstream row(line.substr(1));
        for (std::string cell; std::getline(row, cell, '|');)
            cells.push_back(cell.size() > 1 ? cell.substr(1, cell.size() - 2) : cell);
        for (size_t i = 0; i < cells.size(); ++i) {
            if (cells[i].size() < 3 || cells[i].front() != '`' || cells[i].back() != '`') continue;
            for (size_t j : {i - 1, i + 1}) {  // before the name (the property ids), else after it
                if (j < cells.size() && std::regex_match(cells[j], m, number)) {
                    doc.constants[cells[i].substr(1, cells[i].size() - 2)].push_back(std::stol(m[1], nullptr, 0));
                    break;
                }
            }
        }
    }
    return doc;
}

// "GetBodyProp(bodyHandle,[out] exist,) As" for the signature line above: the names of the
// parameters with their [out] marks, and whether a result is documented.
std::string Shape(const std::string& signature) {
    static const std::regex whole(R"((\w+)\((.*)\)( As \w+)?)"), param(R"((\[out\] )?(\w+) As \w+)");
    std::smatch m;
    if (!std::regex_match(signature, m, whole)) return "malformed";
    std::string shape = m[1].str() + "(", list = m[2];
    for (std::sregex_iterator p(list.begin(), list.end(), param), end; p != end; ++p)
        shape += (*p)[1].str() + (*p)[2].str() + ",";
    return shape + (m[3].matched ? ") As" : ")");
}

class ReferenceAgainstTypeLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        com_ptr<ITypeLib> library;
        ASSERT_HR(S_OK, LoadTypeLibEx(BuiltBinaryPath(L"pelkary.dll").c_str(), REGKIND_NONE, library.put()));
        library_ = std::make_unique<LibraryDescription>(library.get());
        std::ifstream file("Z:" PELKARY_SOURCE_DIR "/docs/reference.md", std::ios::binary);
        ASSERT_TRUE(file) << "docs/reference.md cannot be read";
        doc_ = Read(file);
    }
    ComApartment apartment_;
    std::unique_ptr<LibraryDescription> library_;
    Reference doc_;
};

TEST_F(ReferenceAgainstTypeLibrary, EveryMemberHasOneSectionWithItsParametersAndHelpString) {
    std::set<std::string> known;
    for (const LibraryType& type : library_->types()) {
        if (type.kind != "interface" && type.kind != "dispinterface") continue;
        for (const LibraryMember& m : type.members) {
            const std::string key = (type.kind == "interface" ? type.name.substr(1) : type.name) + "." + m.name;
            known.insert(key);
            const Section& section = doc_.sections[key];
            EXPECT_EQ(section.headings, 1) << "\"### " << key << "\" in docs/reference.md";
            EXPECT_EQ(section.help, m.help) << key << ": the \"> Type library:\" line";
            std::string expected = m.name + "(";
            for (const LibraryParam& p : m.params) {
                if (!p.retval()) expected += (p.out() ? "[out] " : "") + p.name + ",";
            }
            expected += !m.params.empty() && m.params.back().retval() ? ") As" : ")";
            EXPECT_EQ(Shape(section.signature), expected) << key << ": `" << section.signature << "`";
        }
    }
    EXPECT_EQ(known.size(), 16u + 24u + 54u + 3u + 6u);
    for (const auto& [key, section] : doc_.sections)
        EXPECT_TRUE(known.count(key)) << "docs/reference.md describes " << key << ", which the library lacks";
}

TEST_F(ReferenceAgainstTypeLibrary, EnumerationTablesGiveEveryConstantItsValue) {
    int constants = 0;
    for (const LibraryType& type : library_->types()) {
        for (const LibraryMember& c : type.members) {
            if (c.kind != "const") continue;
            ++constants;
            const auto& documented = doc_.constants[c.name];
            EXPECT_FALSE(documented.empty()) << type.name << "." << c.name << " has no row in a table";
            for (long value : documented) EXPECT_EQ(value, c.id) << type.name << "." << c.name;
        }
    }
    EXPECT_EQ(constants, 15 + 6 + 3 + 72);
}

TEST_F(ReferenceAgainstTypeLibrary, QuotedGuidsAreTheLibrarysOwn) {
    std::set<std::string> own = {library_->guid()};
    for (const LibraryType& type : library_->types())
        if (type.kind != "enum") own.insert(type.guid);
    ASSERT_EQ(own.size(), 9u);  // the library, five interfaces, three classes
    for (const std::string& guid : doc_.guids)
        EXPECT_TRUE(own.count(guid)) << "docs/reference.md quotes " << guid << ", which the library does not define";
}

}  // namespace
}  // namespace pelkary::test
