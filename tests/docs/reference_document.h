// The script authors' reference (docs/reference.md) read as data: one entry per documented
// method or event, the rows of its tables and the GUIDs it quotes. Plain C++, no Windows.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pelkary::docs {

// One "### Owner.Member" section of the reference.
struct DocumentedMember {
    std::string signature;   // the first `...` code line after the heading, without the backquotes
    std::string help;        // the text quoted by the "> Type library: "..."" line
    int occurrences = 0;     // how often the heading appears (1 in a sound document)
    bool has_help = false;
};

class ReferenceDocument {
public:
    // Parses markdown text. Never fails: what is missing is simply absent from the result.
    explicit ReferenceDocument(const std::string& markdown);

    // Reads a UTF-8 file; `ok` tells whether it could be read.
    static ReferenceDocument FromFile(const std::string& path, bool* ok);

    // Keyed by "Owner.Member", e.g. "MXFolder.GetFirstChild" or "IMXFolderEvents.OnDeletion".
    const std::map<std::string, DocumentedMember>& members() const { return members_; }

    // The cells of every table row (leading and trailing '|' removed, cells trimmed).
    const std::vector<std::vector<std::string>>& table_rows() const { return rows_; }

    // Every braced GUID written in the text, upper-cased ("{67696F0C-...}").
    const std::vector<std::string>& guids() const { return guids_; }

private:
    std::map<std::string, DocumentedMember> members_;
    std::vector<std::vector<std::string>> rows_;
    std::vector<std::string> guids_;
};

// The parameter list of a signature line such as "GetBodyProp(bodyHandle As Long, [out] exist As
// Long) As String": each parameter's name and whether it is marked [out]; `result_type` receives
// what follows the closing parenthesis' "As", empty when there is none. False when the line does
// not have the shape Name(...).
struct SignatureParameter {
    std::string name;
    bool out = false;
};
bool ParseSignature(const std::string& line, std::string* name, std::vector<SignatureParameter>* params,
                    std::string* result_type);

}  // namespace pelkary::docs
