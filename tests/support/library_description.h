// A type library read through the COM runtime into plain data, and printed as text: the one
// reader of pelkary's type library in the tests. The frame tests compare its text with a checked-in
// copy and call every member it lists; the reference check (tests/docs) reads those copies.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "pelkary.h"

namespace pelkary::test {

struct LibraryParam {
    std::string name;
    std::string type;   // "long", "BSTR", "long*", "MXFolder**", an enumeration's name, ...
    std::string flags;  // "in", "out", "out, retval", ...
    bool out() const { return flags.find("out") != std::string::npos; }
    bool retval() const { return flags.find("retval") != std::string::npos; }
};

// A function of an interface or a constant of an enumeration.
struct LibraryMember {
    std::string name;
    std::string help;
    long id = 0;     // the DISPID of a function, the value of a constant
    int slot = -1;   // the vtable slot of a function of a vtable interface
    std::string kind;  // "method", "propget", ... for a function; "const" for a constant
    std::string result;
    std::vector<LibraryParam> params;
};

struct LibraryType {
    std::string name;
    std::string kind;  // "enum", "interface", "dispinterface", "coclass", ...
    std::string guid;  // upper-case, braced
    std::string help;
    std::string flags;
    std::vector<std::string> bases;  // base interface, or a class's interfaces with their flags
    std::vector<LibraryMember> members;
};

class LibraryDescription {
public:
    // Reads `library`; a call of the runtime that fails leaves what it would have read out.
    explicit LibraryDescription(ITypeLib* library);

    const std::vector<LibraryType>& types() const noexcept { return types_; }
    // Every type in index order with its attributes and members, one line each.
    std::string Text() const;

private:
    std::string header_;
    std::vector<LibraryType> types_;
};

// A library as the registry gives it, as the servers themselves load it: pelkary's (version 2.3)
// unless another LIBID and version are named.
HRESULT LoadRegisteredLibrary(ITypeLib** library, REFGUID libid = LIBID_PELKARY, WORD major = 2, WORD minor = 3);

// The arguments of `member` made from its declared types, in declaration order: numbers `number`,
// strings null (automation's empty string), truth values False, objects `object`, and each [out]
// long by reference to its own place in `outs`, or without `outs` by a null reference (the
// [out, retval] one included only then). A type it makes nothing for is a test failure.
std::vector<VARIANT> ArgumentsOf(const LibraryMember& member, long number, IDispatch* object, std::vector<long>* outs);

// What a call through IDispatch gave: its HRESULT, the type of its result, its exception's source.
struct Invoked {
    HRESULT hr = E_UNEXPECTED;
    VARTYPE result = VT_EMPTY;
    std::string source;
};
// Finds `member` of `object` by name (a test failure unless GetIDsOfNames gives its DISPID, with an
// interface id and a locale it must ignore) and calls it through Invoke with `args` in declaration
// order (the caller's to clear): as a property get for a "propget" member, as a method otherwise,
// with a place for the result unless the member gives nothing but its HRESULT.
Invoked InvokeByName(IDispatch* object, const LibraryMember& member, const std::vector<VARIANT>& args);

// Fails the test, with gtest's diff, unless `library` prints (Text) exactly as the file `path` (a unix
// path) holds it. With PELKARY_REFRESH_TYPELIB set, writes the file instead: after an intended
// change of an IDL file, refresh it (Wine running, servers registered) and review its diff.
void ExpectCheckedInDescription(ITypeLib* library, const std::string& path);

}  // namespace pelkary::test
