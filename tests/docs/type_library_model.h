// A type library read through the COM runtime (LoadTypeLibEx, ITypeInfo) into plain data: the
// members of every interface and event interface, the constants of every enumeration, and the
// GUIDs it defines. The tests compare the reference for script authors against this model.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pelkary::docs {

struct LibraryParameter {
    std::string name;
    bool out = false;     // [out] without retval: a second result
    bool retval = false;  // [out, retval]: the method's result
};

struct LibraryMember {
    std::string owner;  // "MXFolder" for IMXFolder; event interfaces keep their name
    std::string name;
    std::string help;   // the help string, UTF-8
    std::vector<LibraryParameter> params;  // in declaration order, retval included
};

struct LibraryConstant {
    std::string enumeration;
    std::string name;
    long value = 0;
};

class TypeLibraryModel {
public:
    // Loads the type library embedded in (or stored as) the file `path` without registering it.
    // Returns the load's HRESULT; on failure the model stays empty.
    HRESULT Load(const std::wstring& path);

    const std::vector<LibraryMember>& members() const { return members_; }
    const std::vector<LibraryConstant>& constants() const { return constants_; }
    // Upper-case braced GUIDs of the library and of every type it defines.
    const std::vector<std::string>& guids() const { return guids_; }

private:
    std::vector<LibraryMember> members_;
    std::vector<LibraryConstant> constants_;
    std::vector<std::string> guids_;
};

// Converts UTF-16 (a BSTR may be null) to UTF-8.
std::string ToUtf8(const wchar_t* text);

}  // namespace pelkary::docs
