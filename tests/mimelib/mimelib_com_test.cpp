// mimelib.dll's COM layer through the COM runtime: body handles as 32-bit values with two
// spellings of the root, engine results as HRESULTs, text in the ANSI code page, task memory the
// caller frees, streams read and written back, and exceptions stopped at the method's edge. The
// DLL registers itself into the test's prefix; the engine's own rules are tested natively.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "comsupport/holders.h"
#include "comsupport/reference_counted.h"
#include "comsupport/stream_io.h"
#include "comsupport/text.h"
#include "mime_api.h"

using pelkary::com_ptr;
using pelkary::unique_cotaskmem;
using pelkary::unique_propvariant;

namespace {

const char kBefore[] = "X-Before: the load starts after this line\r\n";
const char kSample[] =
    "Subject: Re: =?utf-8?B?R3LDvMOfZQ==?= from the meeting\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n"
    "--outer\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
    "Gr=FC=DFe\r\n"
    "--outer\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\nAAECAwQF\r\n--outer--\r\n";
const std::string kBytes("\0\1\2\3\4\5", 6);

HBODY Hbody(ULONG_PTR v) { return reinterpret_cast<HBODY>(v); }

std::string Read(IStream* s) {
  s->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  std::string out;
  EXPECT_EQ(S_OK, pelkary::read_to_end(s, &out));
  return out;
}

com_ptr<IStream> StreamOf(const std::string& bytes) {  // positioned at its end
  com_ptr<IStream> s;
  EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, s.put()));
  pelkary::write_all(s.get(), bytes);
  return s;
}

template <typename I>
com_ptr<I> Create(REFCLSID clsid) {
  com_ptr<I> object;
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), object.put_void()));
  return object;
}

// An object that fails by exception, as anything inside a call might.
struct Throwing : pelkary::ReferenceCounted<IUnknown> {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { throw std::bad_alloc(); }
};

class MimeLibTest : public ::testing::Test {
 protected:
  using Export = HRESULT(WINAPI*)();
  static Export Exported(const char* name) {
    std::string path = "Z:" PELKARY_BIN_DIR "/mimelib.dll";
    for (auto& c : path) c = c == '/' ? '\\' : c;
    return reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryA(path.c_str()), name)));
  }
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(S_OK, Exported("DllRegisterServer")());
  }
  void SetUp() override {
    storage_->Seek(LARGE_INTEGER{{sizeof(kBefore) - 1, 0}}, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(S_OK, msg_->Load(storage_.get()));
  }
  HRESULT Get(HBODY body, LPCSTR name, std::string* value, VARTYPE vt = VT_LPSTR) {
    unique_propvariant v;
    v.vt = vt;
    const HRESULT hr = msg_->GetBodyProp(body, name, 0, &v);
    if (hr == S_OK) *value = v.vt == VT_LPWSTR ? pelkary::to_ansi(v.pwszVal) : std::string(v.pszVal);
    return hr;
  }
  HRESULT Set(HBODY body, LPCSTR name, const char* text) {
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_LPSTR;
    v.pszVal = const_cast<char*>(text);
    return msg_->SetBodyProp(body, name, 0, &v);
  }
  HBODY Body(BODYLOCATION loc, HBODY pivot) {
    HBODY h = Hbody(7);
    return msg_->GetBody(loc, pivot, &h) == S_OK ? h : nullptr;
  }
  com_ptr<IMimeBody> Bind(HBODY h) {
    com_ptr<IMimeBody> body;
    EXPECT_EQ(S_OK, msg_->BindToObject(h, IID_IMimeBody, body.put_void()));
    return body;
  }

  com_ptr<IMimeMessage> msg_ = Create<IMimeMessage>(CLSID_IMimeMessage);
  com_ptr<IMimeAllocator> alloc_ = Create<IMimeAllocator>(CLSID_IMimeAllocator);
  com_ptr<IStream> storage_ = StreamOf(kBefore + std::string(kSample));
};

TEST_F(MimeLibTest, BodyHandlesAreThirtyTwoBitWithTwoSpellingsOfTheRoot) {
  const HBODY root = Body(IBL_ROOT, nullptr), text = Body(IBL_FIRST, HBODY_ROOT), file = Body(IBL_LAST, Hbody(~0u));
  for (HBODY h : {root, text, file}) EXPECT_LT(reinterpret_cast<ULONG_PTR>(h) - 1, 0xFFFFFFFEu);  // not 0, not -1
  HBODY bound = nullptr, none = Hbody(7), found = nullptr;
  ASSERT_EQ(S_OK, Bind(HBODY_ROOT)->GetHandle(&bound));
  EXPECT_EQ(std::make_tuple(text, root, text, root),
            std::make_tuple(Body(IBL_FIRST, root), Body(IBL_PARENT, file), Body(IBL_PREVIOUS, file), bound));
  com_ptr<IUnknown> unk;
  // Above 32 bits (a valid handle in the low half) where a pointer holds more; else one more unknown.
  const auto wide = static_cast<ULONG_PTR>(sizeof(ULONG_PTR) > 4 ? 0x100000001ull : 0x7FFFFFF1ull);
  for (ULONG_PTR bad : {ULONG_PTR{0}, ULONG_PTR{0x7FFFFFF0}, wide}) {
    EXPECT_EQ(MIME_E_INVALID_HANDLE, msg_->BindToObject(Hbody(bad), IID_IMimeBody, unk.put_void()));
    EXPECT_EQ(MIME_E_INVALID_HANDLE, msg_->IsBodyType(Hbody(bad), IBT_ATTACHMENT));
  }
  FINDBODY find{};
  find.pszPriType = const_cast<LPSTR>("application");
  ASSERT_EQ(S_OK, msg_->FindFirst(&find, &found));
  EXPECT_EQ(file, found);
  EXPECT_EQ((std::vector<HRESULT>{E_NOINTERFACE, S_OK, S_FALSE, MIME_E_INVALID_BODYTYPE, MIME_E_NOT_FOUND,
                                  E_INVALIDARG, MIME_E_NOT_FOUND, MIME_E_INVALID_DELETE_TYPE, S_OK,
                                  MIME_E_INVALID_HANDLE}),
            (std::vector<HRESULT>{msg_->BindToObject(HBODY_ROOT, IID_IStream, unk.put_void()),
                                  msg_->IsBodyType(file, IBT_ATTACHMENT), msg_->IsBodyType(text, IBT_ATTACHMENT),
                                  msg_->IsBodyType(text, static_cast<IMSGBODYTYPE>(99)),
                                  msg_->FindNext(&find, &found),
                                  msg_->GetBody(static_cast<BODYLOCATION>(IBL_PREVIOUS + 1), root, &none),
                                  msg_->GetBody(IBL_NEXT, file, &none), msg_->DeleteBody(text, 0x80),
                                  msg_->DeleteBody(text, 0), msg_->DeleteBody(text, 0)}));
  EXPECT_EQ(nullptr, none);
}

TEST_F(MimeLibTest, PropertiesByIdOrAnsiNameInEveryValueType) {
  std::string v, w;
  ASSERT_EQ(S_OK, Get(HBODY_ROOT, PIDTOSTR(PID_HDR_SUBJECT), &v));
  ASSERT_EQ(S_OK, Get(HBODY_ROOT, "Subject", &w, VT_LPWSTR));
  EXPECT_EQ(std::make_pair(std::string("Re: Gr\xfc\xdf" "e from the meeting"), v), std::make_pair(v, w));  // 1252
  PROPVARIANT wide = {}, number = {};
  unique_propvariant bstr;
  wide.vt = VT_LPWSTR;
  wide.pwszVal = const_cast<wchar_t*>(L"na\u00efve");
  bstr.vt = VT_BSTR;
  bstr.bstrVal = SysAllocString(L"\u00e0 bient\u00f4t");
  number.vt = VT_I4;
  EXPECT_EQ((std::vector<HRESULT>{MIME_E_NOT_FOUND, E_INVALIDARG, MIME_E_NOT_FOUND, S_OK, S_OK, S_OK,
                                  MIME_E_INVALID_PROP_FLAGS, MIME_E_INVALID_HANDLE}),
            (std::vector<HRESULT>{Get(HBODY_ROOT, PIDTOSTR(0xFFF0), &v), Set(HBODY_ROOT, PIDTOSTR(0xFFF0), "x"),
                                  msg_->DeleteBodyProp(HBODY_ROOT, nullptr), Set(HBODY_ROOT, "X-Euro", "\x80 5"),
                                  msg_->SetBodyProp(HBODY_ROOT, "X-Wide", 0, &wide), msg_->SetProp("X-Bstr", 0, &bstr),
                                  msg_->SetBodyProp(HBODY_ROOT, "X-Number", 0, &number),
                                  Get(Hbody(0x7FFFFFF0), "Subject", &v)}));
  for (auto [name, expected, vt] : {std::make_tuple("X-Euro", "\x80 5", VARTYPE{VT_LPWSTR}),
                                    std::make_tuple("X-Wide", "na\xefve", VARTYPE{VT_LPSTR}),
                                    std::make_tuple("X-Bstr", "\xe0 bient\xf4t", VARTYPE{VT_LPSTR})}) {
    EXPECT_EQ(S_OK, Get(HBODY_ROOT, name, &v, vt));
    EXPECT_EQ(expected, v);
  }

  // The enumeration's names are task memory; that its ids stand for the names, pelkary's property
  // walk shows (MessageContent.TheRootsPropertiesAreWalkedWithTheirIdsWhateverHandleStartsTheWalk).
  com_ptr<IMimeEnumProperties> e;
  ASSERT_EQ(S_OK, Bind(HBODY_ROOT)->EnumProps(0, e.put()));
  ULONG total = 0, fetched = 0;
  ENUMPROPERTY two[2] = {};
  ASSERT_EQ(S_OK, e->Count(&total));
  ASSERT_EQ(S_OK, e->Next(2, two, &fetched));
  EXPECT_STREQ("Subject", two[0].pszName);
  EXPECT_EQ(S_OK, alloc_->FreeEnumPropertyArray(2, two, FALSE));
  EXPECT_EQ(nullptr, two[1].pszName);
  std::vector<ENUMPROPERTY> rest(total);
  EXPECT_EQ(S_FALSE, e->Next(total, rest.data(), &fetched));  // fewer than asked: the rest
  EXPECT_EQ(total - 2, fetched);
  alloc_->FreeEnumPropertyArray(fetched, rest.data(), FALSE);
}

TEST_F(MimeLibTest, BodyDataInAndOutOfStreams) {
  const HBODY text = Body(IBL_FIRST, HBODY_ROOT), file = Body(IBL_LAST, HBODY_ROOT);
  com_ptr<IStream> s;
  ASSERT_EQ(S_OK, Bind(text)->GetData(IET_UNICODE, s.put()));
  EXPECT_EQ(std::string("G\0r\0\xfc\0\xdf\0e\0", 10), Read(s.get()).substr(0, 10));  // UTF-16
  ASSERT_EQ(S_OK, Bind(file)->GetData(IET_UNICODE, s.put()));  // not text: the bytes unchanged
  EXPECT_EQ(kBytes, Read(s.get()));
  EXPECT_EQ(MIME_E_INVALID_ENCTYPE, Bind(file)->GetData(static_cast<ENCODINGTYPE>(99), s.put()));
  LPSTR name = nullptr;
  ASSERT_EQ(S_OK, Bind(file)->GetDisplayName(&name));
  EXPECT_STREQ("data.bin", unique_cotaskmem<char>(name).get());

  // SetData reads from the stream's start; Unicode text loses its trailing zero units.
  const std::string euro("N\0u\0 \0\xac\x20", 8);
  com_ptr<IStream> in = StreamOf(euro + std::string(4, '\0'));
  ASSERT_EQ(S_OK, Bind(text)->SetData(IET_UNICODE, "text", "plain", IID_IStream, in.get()));
  ASSERT_EQ(S_OK, Bind(text)->GetData(IET_UNICODE, s.put()));
  EXPECT_EQ(euro, Read(s.get()));
  EXPECT_EQ(E_INVALIDARG, Bind(text)->SetData(IET_BINARY, "a", "b", IID_IDispatch, in.get()));

  // The list of attachments is task memory.
  ULONG count = 0;
  HBODY* list = nullptr;
  ASSERT_EQ(S_OK, msg_->GetAttachments(&count, &list));
  unique_cotaskmem<HBODY> hold(list);
  EXPECT_EQ(std::make_pair(ULONG{1}, file), std::make_pair(count, list[0]));
}

TEST_F(MimeLibTest, ChangesReachTheStorageOnlyWhenCommittedIntoIt) {
  const std::string loaded = Read(storage_.get());
  ASSERT_EQ(S_OK, Set(HBODY_ROOT, "Subject", "changed"));
  ASSERT_EQ(S_OK, msg_->Commit(0));
  EXPECT_EQ(loaded, Read(storage_.get()));
  ASSERT_EQ(S_OK, msg_->Commit(COMMIT_REUSESTORAGE));
  const std::string stored = Read(storage_.get());
  EXPECT_EQ(0u, stored.find("Subject: changed\r\n"));  // the load started after the first line
  com_ptr<IStream> source;
  ASSERT_EQ(S_OK, msg_->GetMessageSource(source.put(), 0));
  EXPECT_EQ(stored, Read(source.get()));
}

TEST_F(MimeLibTest, AnExceptionStopsAtTheMethodsEdge) {
#ifndef _WIN64
  GTEST_SKIP() << "on 32-bit Windows (DWARF unwinding, a runtime linked into each module) an exception thrown in "
                  "this program cannot unwind through mimelib.dll's frames; the boundary is error_boundary_test's";
#endif
  com_ptr<IUnknown> throwing(new Throwing());
  EXPECT_EQ(E_OUTOFMEMORY, Bind(HBODY_ROOT)->SetData(IET_BINARY, "a", "b", IID_IStream, throwing.get()));
  com_ptr<IErrorInfo> info;
  ASSERT_EQ(S_OK, GetErrorInfo(0, info.put()));
  pelkary::unique_bstr source;  // the description is the shared boundary's: tests/frame/error_boundary_test.cpp
  info->GetSource(source.put());
  EXPECT_STREQ(L"MimeBody.SetData", source.get());
}

TEST_F(MimeLibTest, RegistrationWritesWholeValuesAndUnregisteringRemovesThem) {
  const std::wstring message = L"CLSID\\{FD853CE3-7F86-11D0-8252-00C04FD85AB4}";
  const std::wstring allocator = L"CLSID\\{FD853CDD-7F86-11D0-8252-00C04FD85AB4}";
  auto bytes = [](const std::wstring& key, const wchar_t* name) {  // as stored; 0 without the value
    pelkary::unique_hkey k;
    DWORD size = 0;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS)
      RegQueryValueExW(k.get(), name, nullptr, nullptr, nullptr, &size);
    return size;
  };
  EXPECT_EQ(std::make_pair(DWORD{sizeof(L"MIME message object")}, DWORD{sizeof(L"Both")}),
            std::make_pair(bytes(message, nullptr), bytes(message + L"\\InprocServer32", L"ThreadingModel")));
  EXPECT_EQ(S_OK, Exported("DllUnregisterServer")());
  EXPECT_EQ(S_OK, Exported("DllUnregisterServer")());  // nothing left to remove
  EXPECT_EQ(0u, bytes(message, nullptr) + bytes(allocator + L"\\InprocServer32", nullptr));
  ASSERT_EQ(S_OK, Exported("DllRegisterServer")());
  EXPECT_NE(0u, bytes(allocator + L"\\InprocServer32", nullptr));
}

// Under a double-byte ANSI code page (the mimelib_codepage_test run: LANG=ja_JP.UTF-8 gives 932),
// properties are proper Shift_JIS, and bodies in East Asian charsets are read and written through
// the system's code pages, with stand-ins where Wine lacks one.
TEST_F(MimeLibTest, CodePage932PropertiesAreShiftJisAndBodiesKeepTheirCharsets) {
  if (GetACP() != 932) GTEST_SKIP() << "runs under code page 932";
  com_ptr<IStream> source = StreamOf("Subject: =?iso-2022-jp?B?GyRCRnxLXBsoQg==?=\r\n"
                                     "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                                     "--b\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n\x1b$BF|K\\\x1b(B\r\n"
                                     "--b\r\nContent-Type: text/plain; charset=gb18030\r\n\r\n\xd6\xd0\xce\xc4\r\n"
                                     "--b\r\nContent-Type: text/plain; charset=ks_c_5601-1987\r\n\r\n\xc7\xd1\r\n--b--");
  source->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(S_OK, msg_->Load(source.get()));
  std::string subject;
  ASSERT_EQ(S_OK, Get(HBODY_ROOT, "Subject", &subject));
  EXPECT_EQ("\x93\xfa\x96\x7b", subject);  // 日本

  // Each part: its text read, then text written and the bytes stored (in its charset when it fits).
  const struct {
    std::wstring read, write;
    std::string stored;
  } kParts[] = {{L"\x65e5\x672c", L"\x672c\x65e5", "\x1b$BK\\F|\x1b(B"},
                {L"\x4e2d\x6587", L"\x4e2d", "\xd6\xd0"},  // GB18030 read and written as GBK
                {L"\xd55c", L"\xd55c\x0e01", "\xed\x95\x9c\xe0\xb8\x81"}};  // no Thai in 949: UTF-8
  auto bytes = [](const std::wstring& w) {
    return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
  };
  com_ptr<IStream> s;
  HBODY h = Body(IBL_FIRST, HBODY_ROOT);
  for (const auto& p : kParts) {
    ASSERT_EQ(S_OK, Bind(h)->GetData(IET_UNICODE, s.put()));
    EXPECT_EQ(bytes(p.read), Read(s.get()));
    ASSERT_EQ(S_OK, Bind(h)->SetData(IET_UNICODE, "text", "plain", IID_IStream, StreamOf(bytes(p.write)).get()));
    ASSERT_EQ(S_OK, Bind(h)->GetData(IET_BINARY, s.put()));
    EXPECT_EQ(p.stored, Read(s.get()));
    h = Body(IBL_NEXT, h);
  }
}

}  // namespace
