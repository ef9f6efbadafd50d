// A client's event sink for one of pelkary's event interfaces (IMXFolderEvents,
// IMXFolderManagerEvents): an IDispatch that records every Invoke and fails the test on a call
// that pelkary must not make (see Invoke).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "comsupport/holders.h"

namespace pelkary::test {

// One event as the sink received it: its DISPID and its arguments in declaration order (DISPPARAMS
// holds them in reverse; the sink turns them round).
struct SinkCall {
    DISPID dispid = 0;
    std::vector<long> args;
    bool operator==(const SinkCall& o) const { return dispid == o.dispid && args == o.args; }
};
void PrintTo(const SinkCall& call, std::ostream* os);

class RecordingSink : public IDispatch {
public:
    // A sink for `events_iid` with one reference; `name` appears in failure messages. It answers
    // QueryInterface for IUnknown, IDispatch and `events_iid`. Apartment-threaded like its caller.
    static com_ptr<RecordingSink> Create(REFIID events_iid, std::string name = "sink") {
        return com_ptr<RecordingSink>::attach(new RecordingSink(events_iid, std::move(name)));
    }

    // What Invoke returns (S_OK by default); the server must not let a failure escape.
    void set_result(HRESULT hr) noexcept { result_ = hr; }
    // Runs inside Invoke, after the call is recorded and before Invoke returns.
    void set_hook(std::function<void(const SinkCall&)> hook) { hook_ = std::move(hook); }
    const std::vector<SinkCall>& calls() const noexcept { return calls_; }
    void Clear() noexcept { calls_.clear(); }
    LONG ref_count() const noexcept { return refs_; }
    // Pumps messages until `count` calls to `dispid` have arrived or `timeout_ms` has passed.
    bool WaitFor(DISPID dispid, size_t count = 1, DWORD timeout_ms = 5000);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // The server calls only Invoke, by DISPID; the others fail the test.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return GetTypeInfoCount(nullptr); }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return GetTypeInfoCount(nullptr);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override;

private:
    RecordingSink(REFIID events_iid, std::string name) : events_iid_(events_iid), name_(std::move(name)) {}
    virtual ~RecordingSink() = default;

    IID events_iid_;
    std::string name_;
    volatile LONG refs_ = 1;
    HRESULT result_ = S_OK;
    std::function<void(const SinkCall&)> hook_;
    std::vector<SinkCall> calls_;
};

}  // namespace pelkary::test
