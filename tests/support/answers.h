// Calling pelkary's methods the way the tests read them: Ask(object, &IMXFolder::Name) calls the
// method with S_OK expected and gives back what it wrote through its final out-parameter (a long,
// the text of a BSTR, or the folder or message it handed out). A failure is reported at the line
// of the test that asked.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comsupport/holders.h"
#include "pelkary.h"
#include "support/hresult_assertions.h"

namespace pelkary::test {

// What a method wrote through an out-parameter of type Out*.
template <typename Out>
struct Slot;
// A plain value, `kUnset` until the method writes it.
template <typename V, V kUnset>
struct ValueSlot {
    V value = kUnset;
    V* put() { return &value; }
    V get() { return value; }
};
template <>
struct Slot<long> : ValueSlot<long, 0x7777> {};
template <>
struct Slot<BSTR> {
    unique_bstr value;
    BSTR* put() { return value.put(); }
    std::wstring get() { return value ? std::wstring(value.get(), value.length()) : std::wstring(); }
};
template <typename Coclass, typename Interface>
struct ObjectSlot {
    com_ptr<Interface> value;
    Coclass** put() { return reinterpret_cast<Coclass**>(value.put()); }
    com_ptr<Interface> get() { return std::move(value); }
};
template <>
struct Slot<::MXFolder*> : ObjectSlot<::MXFolder, IMXFolder> {};
template <>
struct Slot<::MXMessage*> : ObjectSlot<::MXMessage, IMXMessage> {};

// Any other interface pointer, and the automation types of the scripting library.
template <typename I>
struct Slot<I*> {
    com_ptr<I> value;
    I** put() { return value.put(); }
    com_ptr<I> get() { return std::move(value); }
};
template <>
struct Slot<VARIANT_BOOL> : ValueSlot<VARIANT_BOOL, 0x77> {};
template <>
struct Slot<VARIANT> {
    VARIANT value{};
    VARIANT* put() { return &value; }
    VARIANT get() { return value; }  // the caller clears it when it holds more than a number
};

template <typename T>
struct Given {
    using type = T;
};

#define PELKARY_ASK_BODY(...)                                                                   \
    Slot<Out> out;                                                                              \
    ::testing::ScopedTrace trace(at.file, at.line, "asked here");                               \
    EXPECT_HR(S_OK, (object->*method)(__VA_ARGS__ out.put()));                                  \
    return out.get();

template <typename I, typename Out>
auto Ask(I* object, HRESULT (STDMETHODCALLTYPE I::*method)(Out*), Here at = Here::Caller()) {
    PELKARY_ASK_BODY()
}
template <typename I, typename A, typename Out>
auto Ask(I* object, HRESULT (STDMETHODCALLTYPE I::*method)(A, Out*), typename Given<A>::type a,
         Here at = Here::Caller()) {
    PELKARY_ASK_BODY(a, )
}
template <typename I, typename A, typename B, typename Out>
auto Ask(I* object, HRESULT (STDMETHODCALLTYPE I::*method)(A, B, Out*), typename Given<A>::type a,
         typename Given<B>::type b, Here at = Here::Caller()) {
    PELKARY_ASK_BODY(a, b, )
}
template <typename I, typename A, typename B, typename C, typename Out>
auto Ask(I* object, HRESULT (STDMETHODCALLTYPE I::*method)(A, B, C, Out*), typename Given<A>::type a,
         typename Given<B>::type b, typename Given<C>::type c, Here at = Here::Caller()) {
    PELKARY_ASK_BODY(a, b, c, )
}
template <typename I, typename A, typename B, typename C, typename D, typename Out>
auto Ask(I* object, HRESULT (STDMETHODCALLTYPE I::*method)(A, B, C, D, Out*), typename Given<A>::type a,
         typename Given<B>::type b, typename Given<C>::type c, typename Given<D>::type d, Here at = Here::Caller()) {
    PELKARY_ASK_BODY(a, b, c, d, )
}
#undef PELKARY_ASK_BODY

// The names of the folders a walk hands out, calling `next` until it gives null (at most 100).
template <typename I>
std::vector<std::wstring> Walk(I* object, HRESULT (STDMETHODCALLTYPE I::*next)(::MXFolder**),
                               Here at = Here::Caller()) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 100; ++i) {
        com_ptr<IMXFolder> folder = Ask(object, next, at);
        if (!folder) return names;
        names.push_back(Ask(folder.get(), &IMXFolder::Name, at));
    }
    ADD_FAILURE_AT(at.file, at.line) << "the walk did not end";
    return names;
}

// A BSTR argument (null for nullptr), freed at the end of the statement that made it.
inline unique_bstr B(const wchar_t* text) { return unique_bstr(text ? SysAllocString(text) : nullptr); }

}  // namespace pelkary::test
