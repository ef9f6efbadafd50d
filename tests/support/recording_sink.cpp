#include "support/recording_sink.h"

#include <algorithm>
#include <ostream>

#include <gtest/gtest.h>

#include "pelkary.h"
#include "support/message_pump.h"

namespace pelkary::test {

void PrintTo(const SinkCall& call, std::ostream* os) {
    *os << "event " << call.dispid << "(";
    for (size_t i = 0; i < call.args.size(); ++i) *os << (i ? ", " : "") << call.args[i];
    *os << ")";
}

bool RecordingSink::WaitFor(DISPID dispid, size_t count, DWORD timeout_ms) {
    return PumpUntil([&] {
        return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(),
                                                 [&](const SinkCall& c) { return c.dispid == dispid; })) >= count;
    }, timeout_ms);
}

HRESULT RecordingSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) && !IsEqualIID(riid, events_iid_))
        return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

ULONG RecordingSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG RecordingSink::Release() {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT RecordingSink::GetTypeInfoCount(UINT*) {
    ADD_FAILURE() << name_ << ": the server asked for type information";
    return E_NOTIMPL;
}

// Checks the way pelkary calls every event: a DISPID of the event interface, as a method, with
// IID_NULL, the user's default locale, VT_I4 arguments only and no named ones, and no result,
// exception or argument-error slot.
HRESULT RecordingSink::Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* excep, UINT* arg_err) {
    SinkCall call{dispid, {}};
    const DISPID events = IsEqualIID(events_iid_, DIID_IMXFolderEvents) ? 3 : 6;
    EXPECT_TRUE(dispid >= 1 && dispid <= events) << name_ << ": no event has DISPID " << dispid;
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
    if (hook_) hook_(call);
    return result_;
}

}  // namespace pelkary::test
