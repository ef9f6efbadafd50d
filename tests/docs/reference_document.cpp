#include "reference_document.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace pelkary::docs {
namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::vector<std::string> SplitRow(const std::string& line) {
    std::string body = Trim(line);
    if (!body.empty() && body.front() == '|') body.erase(0, 1);
    if (!body.empty() && body.back() == '|') body.pop_back();
    std::vector<std::string> cells;
    std::string cell;
    for (char c : body) {
        if (c == '|') {
            cells.push_back(Trim(cell));
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells.push_back(Trim(cell));
    return cells;
}

void CollectGuids(const std::string& line, std::vector<std::string>* out) {
    // {8-4-4-4-12} hexadecimal
    static const int groups[] = {8, 4, 4, 4, 12};
    for (size_t at = line.find('{'); at != std::string::npos; at = line.find('{', at + 1)) {
        size_t p = at + 1;
        bool ok = true;
        for (int g = 0; g < 5 && ok; ++g) {
            for (int i = 0; i < groups[g] && ok; ++i, ++p)
                ok = p < line.size() && std::isxdigit(static_cast<unsigned char>(line[p]));
            if (ok) ok = p < line.size() && line[p] == (g < 4 ? '-' : '}');
            ++p;
        }
        if (!ok) continue;
        std::string guid = line.substr(at, p - at);
        for (char& c : guid) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        out->push_back(guid);
    }
}

}  // namespace

ReferenceDocument::ReferenceDocument(const std::string& markdown) {
    std::istringstream in(markdown);
    std::string line;
    DocumentedMember* current = nullptr;
    bool in_code_block = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (StartsWith(line, "```")) {
            in_code_block = !in_code_block;
            continue;
        }
        if (in_code_block) continue;
        CollectGuids(line, &guids_);
        if (StartsWith(line, "#")) {
            current = nullptr;
            if (StartsWith(line, "### ")) {
                const std::string title = Trim(line.substr(4));
                if (title.find('.') != std::string::npos && title.find(' ') == std::string::npos) {
                    current = &members_[title];
                    ++current->occurrences;
                }
            }
            continue;
        }
        if (!current) {
            if (StartsWith(Trim(line), "|")) rows_.push_back(SplitRow(line));
            continue;
        }
        if (current->signature.empty() && line.size() > 2 && line.front() == '`' && line.back() == '`') {
            current->signature = line.substr(1, line.size() - 2);
        } else if (!current->has_help && StartsWith(line, "> Type library: \"") && line.back() == '"') {
            const size_t open = line.find('"');
            current->help = line.substr(open + 1, line.size() - open - 2);
            current->has_help = true;
        }
        if (StartsWith(Trim(line), "|")) rows_.push_back(SplitRow(line));
    }
}

ReferenceDocument ReferenceDocument::FromFile(const std::string& path, bool* ok) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    *ok = static_cast<bool>(file) || file.eof();
    *ok = *ok && !text.str().empty();
    return ReferenceDocument(text.str());
}

bool ParseSignature(const std::string& line, std::string* name, std::vector<SignatureParameter>* params,
                    std::string* result_type) {
    params->clear();
    result_type->clear();
    const size_t open = line.find('(');
    const size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    *name = Trim(line.substr(0, open));
    if (name->empty()) return false;
    const std::string list = line.substr(open + 1, close - open - 1);
    std::istringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        item = Trim(item);
        if (item.empty()) return false;
        SignatureParameter p;
        if (StartsWith(item, "[out]")) {
            p.out = true;
            item = Trim(item.substr(5));
        }
        const size_t as = item.find(" As ");
        if (as == std::string::npos) return false;
        p.name = Trim(item.substr(0, as));
        params->push_back(p);
    }
    const std::string rest = Trim(line.substr(close + 1));
    if (!rest.empty()) {
        if (!StartsWith(rest, "As ")) return false;
        *result_type = Trim(rest.substr(3));
    }
    return true;
}

}  // namespace pelkary::docs
