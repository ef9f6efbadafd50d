#include "support/recording_sink.h"

#include <ostream>

#include <gtest/gtest.h>

#include "support/message_pump.h"

namespace pelkary::test {

void PrintTo(const SinkCall& call, std::ostream* os) {
    *os << "event " << call.dispid << "(";
    for (size_t i = 0; i < call.args.size(); ++i) *os << (i ? ", " : "") << call.args[i];
    *os << ")";
}

com_ptr<RecordingSink> RecordingSink::Create(REFIID events_iid, std::string name) {
    return com_ptr<RecordingSink>::attach(new RecordingSink(events_iid, std::move(name)));
}

RecordingSink::RecordingSink(REFIID events_iid, std::string name) : events_iid_(events_iid), name_(std::move(name)) {}

std::vector<SinkCall> RecordingSink::CallsTo(DISPID dispid) const {
    std::vector<SinkCall> out;
    for (const SinkCall& c : calls_)
        if (c.dispid == dispid) out.push_back(c);
    return out;
}

size_t RecordingSink::CountOf(DISPID dispid) const {
    size_t n = 0;
    for (const SinkCall& c : calls_) n += c.dispid == dispid;
    return n;
}

bool RecordingSink::WaitFor(DISPID dispid, size_t count, DWORD timeout_ms) {
    return PumpUntil([&] { return CountOf(dispid) >= count; }, timeout_ms);
}

HRESULT RecordingSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, events_iid_)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG RecordingSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG RecordingSink::Release() {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT RecordingSink::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return E_NOTIMPL;
}

HRESULT RecordingSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT RecordingSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    ADD_FAILURE() << name_ << ": the server asked for DISPIDs by name; events are called by DISPID";
    return E_NOTIMPL;
}

// Checks the way pelkary calls every event: by DISPID as a method, IID_NULL, the user's default
// locale, VT_I4 arguments only and no named ones, no result, exception or argument-error slot.
HRESULT RecordingSink::Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* excep, UINT* arg_err) {
    SinkCall call;
    call.dispid = dispid;
    EXPECT_EQ(flags, DISPATCH_METHOD) << name_ << ": event " << dispid;
    EXPECT_TRUE(IsEqualIID(riid, IID_NULL)) << name_ << ": event " << dispid;
    EXPECT_EQ(lcid, static_cast<LCID>(LOCALE_USER_DEFAULT)) << name_ << ": event " << dispid;
    EXPECT_TRUE(!result && !excep && !arg_err) << name_ << ": event " << dispid << " asks for results";
    EXPECT_TRUE(params && params->cNamedArgs == 0 && !params->rgdispidNamedArgs && (params->cArgs || !params->rgvarg))
        << name_ << ": event " << dispid << " passed named arguments or an empty argument array";
    for (UINT i = params ? params->cArgs : 0; i-- > 0;) {
        const VARIANT& v = params->rgvarg[i];
        EXPECT_EQ(V_VT(&v), VT_I4) << name_ << ": event " << dispid << " argument " << (params->cArgs - i);
        call.args.push_back(V_VT(&v) == VT_I4 ? V_I4(&v) : 0);
    }
    calls_.push_back(call);
    if (!allow_all_ && !allowed_.count(dispid)) {
        ADD_FAILURE() << name_ << ": unexpected call: " << ::testing::PrintToString(call);
    }
    if (hook_) hook_(call);
    return result_;
}

}  // namespace pelkary::test
