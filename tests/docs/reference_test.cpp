// The reference for script authors (docs/reference.md) against the two type libraries built into
// pelkary.dll: every method, property and event has exactly one section, with the library's
// parameter names in order and its help string quoted word for word; every enumeration constant
// has its value; and the reference describes nothing, and quotes no GUID, that the library does
// not have. The chapter of the scripting library ("## ... The scripting library") is checked
// against resource 2 alone, the rest of the reference against resource 1 alone.
#include <array>
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

// The reference's two parts: [0] the published library, [1] the scripting library's chapter.
std::array<Reference, 2> Read(std::istream& in) {
    static const std::regex heading(R"(### (\w+\.\w+))"), signature(R"(`(\w+(\(.*\))?( As \w+)?)`)"),
        help(R"x(> Type library: "(.*)")x"), guid(R"(\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\})"),
        number(R"((0x[0-9A-Fa-f]+|\d+)( .*)?)");
    std::array<Reference, 2> parts;
    Reference* doc = &parts[0];
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
            doc->guids.insert(text);
        }
        if (line.rfind("#", 0) == 0) section = nullptr;
        if (line.rfind("## ", 0) == 0) doc = &parts[line.find("The scripting library") != std::string::npos];
        if (std::regex_match(line, m, heading)) ++(section = &doc->sections[m[1]])->headings;
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
                    doc->constants[cells[i].substr(1, cells[i].size() - 2)].push_back(std::stol(m[1], nullptr, 0));
                    break;
                }
            }
        }
    }
    return parts;
}

// "GetBodyProp(bodyHandle,[out] exist,) As" for the signature line above: the names of the
// parameters with their [out] marks, and whether a result is documented. A property is written
// without parentheses ("Count As Long") and has the shape "Count() As".
std::string Shape(const std::string& signature) {
    static const std::regex whole(R"((\w+)(?:\((.*)\))?( As \w+)?)"), param(R"((\[out\] )?(\w+) As \w+)");
    std::smatch m;
    if (!std::regex_match(signature, m, whole)) return "malformed";
    std::string shape = m[1].str() + "(", list = m[2];
    for (std::sregex_iterator p(list.begin(), list.end(), param), end; p != end; ++p)
        shape += (*p)[1].str() + (*p)[2].str() + ",";
    return shape + (m[3].matched ? ") As" : ")");
}

// One library and the part of the reference that describes it, with the sizes that make a lost
// section or table visible.
struct Library {
    const char* name;
    const wchar_t* resource;  // pelkary.dll's TYPELIB resource, as LoadTypeLibEx names it
    size_t part;              // index into Read's result
    size_t members, guids;
    int constants;
};
void PrintTo(const Library& library, std::ostream* out) { *out << library.name; }

const Library kPublished = {"published", L"pelkary.dll", 0, 16 + 24 + 54 + 3 + 6, 9, 15 + 6 + 3 + 72};
const Library kScripting = {"scripting", L"pelkary.dll\\2", 1, 10 + 3 + 4 + 3, 9, 0};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Inherited(const std::string& name) {
    static const std::set<std::string> base = {"QueryInterface", "AddRef",      "Release", "GetTypeInfoCount",
                                               "GetTypeInfo",    "GetIDsOfNames", "Invoke"};
    return base.count(name) > 0;
}

class ReferenceAgainstTypeLibrary : public ::testing::TestWithParam<Library> {
protected:
    void SetUp() override {
        com_ptr<ITypeLib> library;
        ASSERT_HR(S_OK, LoadTypeLibEx(BuiltBinaryPath(GetParam().resource).c_str(), REGKIND_NONE, library.put()));
        library_ = std::make_unique<LibraryDescription>(library.get());
        std::ifstream file("Z:" PELKARY_SOURCE_DIR "/docs/reference.md", std::ios::binary);
        ASSERT_TRUE(file) << "docs/reference.md cannot be read";
        doc_ = Read(file)[GetParam().part];
    }
    ComApartment apartment_;
    std::unique_ptr<LibraryDescription> library_;
    Reference doc_;
};

TEST_P(ReferenceAgainstTypeLibrary, EveryMemberHasOneSectionWithItsParametersAndHelpString) {
    std::set<std::string> known;
    for (const LibraryType& type : library_->types()) {
        if (type.kind != "interface" && type.kind != "dispinterface") continue;
        // Interfaces are described by their class's name; events by their interface's own.
        const bool dual = type.flags.find("dual") != std::string::npos;
        const std::string owner = type.kind == "interface" || dual ? type.name.substr(1) : type.name;
        for (const LibraryMember& m : type.members) {
            if (Inherited(m.name)) continue;
            const std::string key = owner + "." + m.name;
            known.insert(key);
            const Section& section = doc_.sections[key];
            EXPECT_EQ(section.headings, 1) << "\"### " << key << "\" in docs/reference.md";
            EXPECT_EQ(section.help, m.help) << key << ": the \"> Type library:\" line";
            std::string expected = m.name + "(";
            for (const LibraryParam& p : m.params) {
                if (!p.retval()) expected += (p.out() ? "[out] " : "") + p.name + ",";
            }
            // A dual interface's dispatch view gives the result as the function's own type.
            const bool result = (!m.params.empty() && m.params.back().retval()) ||
                                (m.result != "HRESULT" && m.result != "vt24" /* VT_VOID */);
            expected += result ? ") As" : ")";
            // A type library keeps one spelling of a name for all its uses ("FolderId", a property
            // of one interface, is also the parameter folderId of another): names match in any case.
            EXPECT_EQ(Lower(Shape(section.signature)), Lower(expected)) << key << ": `" << section.signature << "`";
        }
    }
    EXPECT_EQ(known.size(), GetParam().members);
    for (const auto& [key, section] : doc_.sections)
        EXPECT_TRUE(known.count(key)) << "docs/reference.md describes " << key << ", which the library lacks";
}

TEST_P(ReferenceAgainstTypeLibrary, EnumerationTablesGiveEveryConstantItsValue) {
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
    EXPECT_EQ(constants, GetParam().constants);
}

TEST_P(ReferenceAgainstTypeLibrary, QuotedGuidsAreTheLibrarysOwn) {
    std::set<std::string> own = {library_->guid()};
    for (const LibraryType& type : library_->types())
        if (type.kind != "enum") own.insert(type.guid);
    ASSERT_EQ(own.size(), GetParam().guids);  // the library, its interfaces and its classes
    for (const std::string& guid : doc_.guids)
        EXPECT_TRUE(own.count(guid)) << "docs/reference.md quotes " << guid << ", which the library does not define";
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, ReferenceAgainstTypeLibrary, ::testing::Values(kPublished, kScripting),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelkary::test
