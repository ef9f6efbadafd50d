// mimelib.dll through the COM runtime: the calls pelkary and the store make,
// with the values they pass. The DLL is registered into the test's prefix by
// the test itself (DllRegisterServer), then created by class id.
#include <windows.h>
#include <objbase.h>
#include <propidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comsupport/holders.h"
#include "mime_api.h"

using pelkary::com_ptr;
using pelkary::unique_cotaskmem;
using pelkary::unique_propvariant;

namespace {

const char kSample[] =
    "From: =?iso-8859-1?q?J=F6rg_M=FCller?= <joerg@example.org>\r\n"
    "To: Anna <anna@example.net>, bob@example.com\r\n"
    "Subject: Re: =?utf-8?B?R3LDvMOfZQ==?= from the meeting\r\n"
    "Date: Tue, 1 Jul 2003 10:52:37 +0200\r\n"
    "MIME-Version: 1.0\r\n"
    "X-Priority: 1\r\n"
    "Content-Type: multipart/mixed; boundary=\"outer\"\r\n"
    "\r\n"
    "This is a multi-part message in MIME format.\r\n"
    "--outer\r\n"
    "Content-Type: multipart/alternative; boundary=\"inner\"\r\n"
    "\r\n"
    "--inner\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Gr=FC=DFe aus K=F6ln\r\n"
    "--inner\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "\r\n"
    "<p>Gr\xc3\xbc\xc3\x9f" "e</p>\r\n"
    "--inner--\r\n"
    "--outer\r\n"
    "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
    "\r\n"
    "AAECAwQF\r\n"
    "--outer--\r\n";

HBODY Hbody(ULONG v) { return reinterpret_cast<HBODY>(static_cast<ULONG_PTR>(v)); }
ULONG AsLong(HBODY h) { return static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(h)); }

com_ptr<IStream> StreamOf(const std::string& bytes, bool rewind = true) {
  com_ptr<IStream> s;
  EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, s.put()));
  ULONG written = 0;
  s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (rewind) {
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
  }
  return s;
}

std::string ReadStream(IStream* s) {
  std::string out;
  char buf[4096];
  ULONG got = 0;
  while (SUCCEEDED(s->Read(buf, sizeof(buf), &got)) && got > 0) out.append(buf, got);
  return out;
}

std::string WholeStream(IStream* s) {
  LARGE_INTEGER zero{};
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  return ReadStream(s);
}

class MimeLibTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string path = "Z:" PELKARY_BIN_DIR "/mimelib.dll";
    for (auto& c : path) {
      if (c == '/') c = '\\';
    }
    module_ = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, module_) << path;
    auto reg = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
    ASSERT_NE(nullptr, reg);
    ASSERT_EQ(S_OK, reg());
  }

  void SetUp() override {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                     msg_.put_void()));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_IMimeAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeAllocator,
                                     alloc_.put_void()));
  }

  void LoadSample(const std::string& text = kSample) {
    load_stream_ = StreamOf(text);
    com_ptr<IPersistStreamInit> persist = msg_.try_query<IPersistStreamInit>();
    ASSERT_TRUE(persist);
    ASSERT_EQ(S_OK, persist->Load(load_stream_.get()));
  }

  // The value of a property as pelkary reads it: VT_LPSTR, S_OK or not found.
  HRESULT Prop(HBODY body, LPCSTR name, std::string* value) {
    unique_propvariant v;
    v.vt = VT_LPSTR;
    const HRESULT hr = msg_->GetBodyProp(body, name, 0, &v);
    if (hr == S_OK) {
      EXPECT_EQ(VT_LPSTR, v.vt);
      *value = v.pszVal ? v.pszVal : "";
    }
    return hr;
  }

  HRESULT SetPropA(HBODY body, LPCSTR name, const char* text) {
    std::string copy(text);
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_LPSTR;
    v.pszVal = copy.data();
    return msg_->SetBodyProp(body, name, 0, &v);
  }

  HBODY Child(HBODY parent, BODYLOCATION loc) {
    HBODY h = nullptr;
    return SUCCEEDED(msg_->GetBody(loc, parent, &h)) ? h : nullptr;
  }

  com_ptr<IMimeBody> Bind(HBODY h) {
    com_ptr<IMimeBody> body;
    EXPECT_EQ(S_OK, msg_->BindToObject(h, IID_IMimeBody, body.put_void()));
    return body;
  }

  static HMODULE module_;
  com_ptr<IMimeMessage> msg_;
  com_ptr<IMimeAllocator> alloc_;
  com_ptr<IStream> load_stream_;
};

HMODULE MimeLibTest::module_ = nullptr;

TEST_F(MimeLibTest, NewMessageIsUsableWithoutInitialisation) {
  HBODY root = nullptr;
  ASSERT_EQ(S_OK, msg_->GetBody(IBL_ROOT, nullptr, &root));
  EXPECT_NE(0u, AsLong(root));
  EXPECT_EQ(S_OK, SetPropA(HBODY_ROOT, PIDTOSTR(PID_HDR_SUBJECT), "Hello"));
  EXPECT_EQ(S_OK, msg_->Commit(0));
  com_ptr<IStream> out;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, out.put()));
  ASSERT_EQ(S_OK, msg_.try_query<IPersistStreamInit>()->Save(out.get(), FALSE));
  EXPECT_NE(std::string::npos, WholeStream(out.get()).find("Subject: Hello\r\n"));
}

TEST_F(MimeLibTest, WalksTheTreeWithThirtyTwoBitHandlesAndBothRootSpellings) {
  LoadSample();
  HBODY root1 = nullptr, root2 = nullptr;
  ASSERT_EQ(S_OK, msg_->GetBody(IBL_ROOT, nullptr, &root1));
  const HBODY first_a = Child(HBODY_ROOT, IBL_FIRST);
  const HBODY first_b = Child(Hbody(0xFFFFFFFFu), IBL_FIRST);
  ASSERT_NE(nullptr, first_a);
  EXPECT_EQ(first_a, first_b);
  ASSERT_EQ(S_OK, msg_->GetBody(IBL_PARENT, first_a, &root2));
  EXPECT_EQ(root1, root2);
  for (HBODY h : {root1, first_a}) {
    EXPECT_LT(reinterpret_cast<ULONG_PTR>(h), 0xFFFFFFFFull);
    EXPECT_NE(0u, AsLong(h));
  }
  const HBODY attachment = Child(first_a, IBL_NEXT);
  ASSERT_NE(nullptr, attachment);
  HBODY none = Hbody(7);
  EXPECT_EQ(MIME_E_NOT_FOUND, msg_->GetBody(IBL_NEXT, attachment, &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(attachment, Child(first_a, IBL_NEXT));
  EXPECT_EQ(first_a, Child(attachment, IBL_PREVIOUS));
  EXPECT_EQ(S_OK, msg_->IsContentType(first_a, "multipart", "alternative"));
  EXPECT_EQ(S_FALSE, msg_->IsContentType(first_a, "text", "plain"));
  EXPECT_EQ(S_OK, msg_->IsContentType(attachment, "application", nullptr));
  EXPECT_EQ(S_OK, msg_->IsBodyType(attachment, IBT_ATTACHMENT));
  EXPECT_EQ(S_FALSE, msg_->IsBodyType(Child(first_a, IBL_FIRST), IBT_ATTACHMENT));
}

TEST_F(MimeLibTest, FindFirstFindsByTypeAndReportsNotFound) {
  LoadSample();
  FINDBODY find{};
  find.pszPriType = const_cast<LPSTR>("text");
  find.pszSubType = const_cast<LPSTR>("html");
  HBODY html = nullptr;
  ASSERT_EQ(S_OK, msg_->FindFirst(&find, &html));
  EXPECT_EQ(S_OK, msg_->IsContentType(html, "text", "html"));
  HBODY more = nullptr;
  EXPECT_EQ(MIME_E_NOT_FOUND, msg_->FindNext(&find, &more));
  find.pszSubType = const_cast<LPSTR>("calendar");
  EXPECT_EQ(MIME_E_NOT_FOUND, msg_->FindFirst(&find, &more));
}

TEST_F(MimeLibTest, PropertiesByIdAndByNameInAnsi) {
  LoadSample();
  std::string v;
  ASSERT_EQ(S_OK, Prop(HBODY_ROOT, PIDTOSTR(PID_HDR_SUBJECT), &v));
  EXPECT_EQ("Re: Gr\xfc\xdf" "e from the meeting", v);  // ANSI code page 1252
  ASSERT_EQ(S_OK, Prop(HBODY_ROOT, PIDTOSTR(PID_ATT_NORMSUBJ), &v));
  EXPECT_EQ("Gr\xfc\xdf" "e from the meeting", v);
  ASSERT_EQ(S_OK, Prop(HBODY_ROOT, "Subject", &v));
  EXPECT_EQ(S_OK, Prop(HBODY_ROOT, PIDTOSTR(PID_HDR_CNTTYPE), &v));
  EXPECT_EQ("multipart/mixed", v);
  const HBODY attachment = Child(Child(HBODY_ROOT, IBL_FIRST), IBL_NEXT);
  ASSERT_EQ(S_OK, Prop(attachment, PIDTOSTR(PID_PAR_FILENAME), &v));
  EXPECT_EQ("data.bin", v);
  EXPECT_EQ(MIME_E_NOT_FOUND, Prop(HBODY_ROOT, "X_NUVAK_DELETED", &v));
  ASSERT_EQ(S_OK, SetPropA(HBODY_ROOT, "X_NUVAK_DELETED", "True"));
  ASSERT_EQ(S_OK, Prop(HBODY_ROOT, "X_NUVAK_DELETED", &v));
  EXPECT_EQ("True", v);
  EXPECT_EQ(S_OK, msg_->DeleteBodyProp(HBODY_ROOT, "X_NUVAK_DELETED"));
  EXPECT_EQ(MIME_E_NOT_FOUND, Prop(HBODY_ROOT, "X_NUVAK_DELETED", &v));
  ASSERT_EQ(S_OK, SetPropA(HBODY_ROOT, PIDTOSTR(PID_ATT_ACCOUNT), "00000002"));
  ASSERT_EQ(S_OK, Prop(HBODY_ROOT, "att:athena-account-id", &v));
  EXPECT_EQ("00000002", v);
  EXPECT_EQ(MIME_E_INVALID_HANDLE, Prop(Hbody(0x7FFFFFF0), PIDTOSTR(PID_HDR_SUBJECT), &v));
}

TEST_F(MimeLibTest, EnumeratedIdsStandInForTheirNames) {
  LoadSample();
  ASSERT_EQ(S_OK, SetPropA(HBODY_ROOT, "X_NUVAK_DELETED", "True"));
  com_ptr<IMimePropertySet> props;
  ASSERT_EQ(S_OK, msg_->BindToObject(Hbody(0xFFFFFFFFu), IID_IMimePropertySet, props.put_void()));
  com_ptr<IMimeEnumProperties> e;
  ASSERT_EQ(S_OK, props->EnumProps(0, e.put()));
  int seen = 0;
  bool found_mark = false;
  for (;;) {
    ENUMPROPERTY entry{};
    const HRESULT hr = e->Next(1, &entry, nullptr);
    if (hr != S_OK) {
      EXPECT_EQ(S_FALSE, hr);
      break;
    }
    ++seen;
    ASSERT_NE(nullptr, entry.pszName);
    ASSERT_GT(entry.dwPropId, 1u);
    ASSERT_LT(entry.dwPropId, 0x10000u);
    std::string by_name, by_id;
    EXPECT_EQ(S_OK, Prop(HBODY_ROOT, entry.pszName, &by_name)) << entry.pszName;
    EXPECT_EQ(S_OK, Prop(HBODY_ROOT, PIDTOSTR(entry.dwPropId), &by_id)) << entry.pszName;
    EXPECT_EQ(by_name, by_id) << entry.pszName;
    if (std::string(entry.pszName) == "X_NUVAK_DELETED") {
      found_mark = true;
      EXPECT_GT(entry.dwPropId, 78u);
    }
    EXPECT_EQ(S_OK, alloc_->FreeEnumPropertyArray(1, &entry, FALSE));
    EXPECT_EQ(nullptr, entry.pszName);
  }
  EXPECT_TRUE(found_mark);
  EXPECT_GE(seen, 8);
}

TEST_F(MimeLibTest, GetDataGivesUnicodeTextAndRawBytes) {
  LoadSample();
  const HBODY alt = Child(HBODY_ROOT, IBL_FIRST);
  com_ptr<IMimeBody> plain = Bind(Child(alt, IBL_FIRST));
  com_ptr<IStream> s;
  ASSERT_EQ(S_OK, plain->GetData(IET_UNICODE, s.put()));
  const std::string w = ReadStream(s.get());
  EXPECT_EQ(std::wstring(L"Gr\u00fc\u00dfe aus K\u00f6ln"),
            std::wstring(reinterpret_cast<const wchar_t*>(w.data()), w.size() / 2));
  com_ptr<IMimeBody> bin = Bind(Child(alt, IBL_NEXT));
  ASSERT_EQ(S_OK, bin->GetData(IET_BINARY, s.put()));
  EXPECT_EQ(std::string("\0\1\2\3\4\5", 6), ReadStream(s.get()));
  // A non-text body asked for Unicode gives its bytes unchanged.
  ASSERT_EQ(S_OK, bin->GetData(IET_UNICODE, s.put()));
  EXPECT_EQ(std::string("\0\1\2\3\4\5", 6), ReadStream(s.get()));
  LPSTR name = nullptr;
  ASSERT_EQ(S_OK, bin->GetDisplayName(&name));
  unique_cotaskmem<char> hold(name);
  EXPECT_STREQ("data.bin", name);
}

TEST_F(MimeLibTest, SetDataReadsStreamsFromTheStartAndCommitWritesBack) {
  LoadSample();
  const HBODY plain_h = Child(Child(HBODY_ROOT, IBL_FIRST), IBL_FIRST);
  com_ptr<IMimeBody> plain = Bind(plain_h);
  // As pelkary hands it over: UTF-16 with one zero unit, position at the end.
  const std::wstring text = L"Neuer Text \u20ac\r\nZweite Zeile";
  std::string bytes(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2);
  com_ptr<IStream> in = StreamOf(bytes, /*rewind=*/false);
  ASSERT_EQ(S_OK, plain->SetData(IET_UNICODE, "text", "plain", IID_IStream, in.get()));
  com_ptr<IStream> out;
  ASSERT_EQ(S_OK, plain->GetData(IET_UNICODE, out.put()));
  const std::string w = ReadStream(out.get());
  EXPECT_EQ(text, std::wstring(reinterpret_cast<const wchar_t*>(w.data()), w.size() / 2));

  // Committed first into the message alone, the change still reaches the
  // storage with the next COMMIT_REUSESTORAGE.
  ASSERT_EQ(S_OK, msg_->Commit(0));
  EXPECT_EQ(kSample, WholeStream(load_stream_.get()));
  ASSERT_EQ(S_OK, msg_->Commit(COMMIT_REUSESTORAGE));
  const std::string stored = WholeStream(load_stream_.get());
  EXPECT_NE(std::string::npos, stored.find("charset=utf-8"));
  EXPECT_NE(std::string::npos, stored.find("AAECAwQF"));  // untouched part kept as it was

  com_ptr<IMimeMessage> again;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                   again.put_void()));
  LARGE_INTEGER zero{};
  load_stream_->Seek(zero, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(S_OK, again.try_query<IPersistStreamInit>()->Load(load_stream_.get()));
  FINDBODY find{};
  find.pszPriType = const_cast<LPSTR>("text");
  find.pszSubType = const_cast<LPSTR>("plain");
  HBODY h = nullptr;
  ASSERT_EQ(S_OK, again->FindFirst(&find, &h));
  com_ptr<IMimeBody> reread;
  ASSERT_EQ(S_OK, again->BindToObject(h, IID_IMimeBody, reread.put_void()));
  ASSERT_EQ(S_OK, reread->GetData(IET_UNICODE, out.put()));
  const std::string w2 = ReadStream(out.get());
  EXPECT_EQ(text, std::wstring(reinterpret_cast<const wchar_t*>(w2.data()), w2.size() / 2));
}

TEST_F(MimeLibTest, InsertAndDeleteBodiesReshapeTheTree) {
  LoadSample("Subject: single\r\nContent-Type: text/plain\r\n\r\nkeep me\r\n");
  HBODY added = nullptr;
  ASSERT_EQ(S_OK, msg_->InsertBody(IBL_LAST, HBODY_ROOT, &added));
  EXPECT_EQ(S_OK, msg_->IsContentType(HBODY_ROOT, "multipart", "mixed"));
  const HBODY kept = Child(HBODY_ROOT, IBL_FIRST);
  com_ptr<IStream> s;
  ASSERT_EQ(S_OK, Bind(kept)->GetData(IET_BINARY, s.put()));
  EXPECT_EQ("keep me\r\n", ReadStream(s.get()));
  EXPECT_EQ(added, Child(kept, IBL_NEXT));
  HBODY before = nullptr;
  ASSERT_EQ(S_OK, msg_->InsertBody(IBL_PREVIOUS, added, &before));
  EXPECT_EQ(before, Child(kept, IBL_NEXT));
  EXPECT_EQ(S_OK, msg_->DeleteBody(before, 0));
  EXPECT_EQ(added, Child(kept, IBL_NEXT));
  EXPECT_NE(S_OK, msg_->DeleteBody(before, 0));  // gone already
  EXPECT_EQ(S_OK, msg_->DeleteBody(HBODY_ROOT, 2));  // children only
  EXPECT_EQ(nullptr, Child(HBODY_ROOT, IBL_FIRST));
  std::string v;
  EXPECT_EQ(S_OK, Prop(HBODY_ROOT, PIDTOSTR(PID_HDR_SUBJECT), &v));
  EXPECT_EQ("single", v);
}

TEST_F(MimeLibTest, AttachFileAndListAttachments) {
  char dir[MAX_PATH], path[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  GetTempFileNameA(dir, "mim", 0, path);
  std::string file = std::string(path) + ".pdf";
  MoveFileA(path, file.c_str());
  {
    pelkary::unique_hfile f(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD n = 0;
    WriteFile(f.get(), "%PDF-1.4\0\xff", 10, &n, nullptr);
  }
  LoadSample("Subject: with file\r\n\r\nbody text\r\n");
  HBODY att = nullptr;
  ASSERT_EQ(S_OK, msg_->AttachFile(file.c_str(), nullptr, &att));
  DeleteFileA(file.c_str());
  EXPECT_EQ(S_OK, msg_->IsContentType(HBODY_ROOT, "multipart", "mixed"));
  EXPECT_EQ(S_OK, msg_->IsContentType(att, "application", "pdf"));
  EXPECT_EQ(S_OK, msg_->IsBodyType(att, IBT_ATTACHMENT));
  std::string v;
  ASSERT_EQ(S_OK, Prop(att, PIDTOSTR(PID_PAR_FILENAME), &v));
  EXPECT_EQ(file.substr(file.find_last_of('\\') + 1), v);
  ULONG count = 0;
  HBODY* list = nullptr;
  ASSERT_EQ(S_OK, msg_->GetAttachments(&count, &list));
  unique_cotaskmem<HBODY> hold(list);
  ASSERT_EQ(1u, count);
  EXPECT_EQ(att, list[0]);
  com_ptr<IStream> s;
  ASSERT_EQ(S_OK, Bind(att)->GetData(IET_BINARY, s.put()));
  EXPECT_EQ(std::string("%PDF-1.4\0\xff", 10), ReadStream(s.get()));
}

TEST_F(MimeLibTest, BodiesRefuseOtherInterfacesAndUnknownHandles) {
  LoadSample();
  com_ptr<IUnknown> unk;
  EXPECT_EQ(E_NOINTERFACE, msg_->BindToObject(HBODY_ROOT, IID_IStream, unk.put_void()));
  EXPECT_EQ(MIME_E_INVALID_HANDLE, msg_->BindToObject(Hbody(0x7FFFFFF0), IID_IMimeBody, unk.put_void()));
  EXPECT_EQ(MIME_E_INVALID_HANDLE, msg_->BindToObject(Hbody(0), IID_IMimeBody, unk.put_void()));
}

TEST_F(MimeLibTest, BinaryDataThenFileNameAsSetBodyFromFileDoes) {
  LoadSample("Subject: pic\r\nContent-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\n\r\ntext\r\n--x--\r\n");
  HBODY part = nullptr;
  ASSERT_EQ(S_OK, msg_->InsertBody(IBL_LAST, HBODY_ROOT, &part));
  const std::string image("\x89PNG\r\n\x1a\n\0\0\xff", 11);
  com_ptr<IStream> in = StreamOf(image, /*rewind=*/false);
  ASSERT_EQ(S_OK, Bind(part)->SetData(IET_BINARY, "image", "png", IID_IStream, in.get()));
  ASSERT_EQ(S_OK, SetPropA(part, PIDTOSTR(PID_PAR_FILENAME), "shot.png"));
  EXPECT_EQ(S_OK, msg_->IsBodyType(part, IBT_ATTACHMENT));
  ASSERT_EQ(S_OK, msg_->Commit(0));
  com_ptr<IStream> source;
  ASSERT_EQ(S_OK, msg_->GetMessageSource(source.put(), 0));
  const std::string text = ReadStream(source.get());
  EXPECT_NE(std::string::npos, text.find("Content-Type: image/png"));
  EXPECT_NE(std::string::npos, text.find("filename=shot.png"));
  EXPECT_NE(std::string::npos, text.find("Content-Transfer-Encoding: base64"));
  // Read back through a fresh object.
  com_ptr<IMimeMessage> again;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                   again.put_void()));
  com_ptr<IStream> reread = StreamOf(text);
  ASSERT_EQ(S_OK, again.try_query<IPersistStreamInit>()->Load(reread.get()));
  ULONG count = 0;
  HBODY* list = nullptr;
  ASSERT_EQ(S_OK, again->GetAttachments(&count, &list));
  unique_cotaskmem<HBODY> hold(list);
  ASSERT_EQ(1u, count);
  com_ptr<IMimeBody> body;
  ASSERT_EQ(S_OK, again->BindToObject(list[0], IID_IMimeBody, body.put_void()));
  com_ptr<IStream> data;
  ASSERT_EQ(S_OK, body->GetData(IET_BINARY, data.put()));
  EXPECT_EQ(image, ReadStream(data.get()));
}

TEST_F(MimeLibTest, RootPropertiesCopyByIdIntoAnotherMessage) {
  // What a clone does: enumerate the root of one message and write every
  // value into the other under the entry's id.
  LoadSample();
  ASSERT_EQ(S_OK, SetPropA(HBODY_ROOT, "X_NUVAK_DELETED", "True"));
  com_ptr<IMimeMessage> target;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                   target.put_void()));
  com_ptr<IStream> src = StreamOf(kSample);
  ASSERT_EQ(S_OK, target.try_query<IPersistStreamInit>()->Load(src.get()));
  com_ptr<IMimePropertySet> props;
  ASSERT_EQ(S_OK, msg_->BindToObject(HBODY_ROOT, IID_IMimePropertySet, props.put_void()));
  com_ptr<IMimeEnumProperties> e;
  ASSERT_EQ(S_OK, props->EnumProps(0, e.put()));
  ENUMPROPERTY entry{};
  while (e->Next(1, &entry, nullptr) == S_OK) {
    unique_propvariant v;
    v.vt = VT_LPSTR;
    if (props->GetProp(entry.pszName, 0, &v) == S_OK) {
      EXPECT_EQ(S_OK, target->SetBodyProp(HBODY_ROOT, PIDTOSTR(entry.dwPropId), 0, &v)) << entry.pszName;
    }
    alloc_->FreeEnumPropertyArray(1, &entry, FALSE);
  }
  unique_propvariant mark;
  mark.vt = VT_LPSTR;
  ASSERT_EQ(S_OK, target->GetBodyProp(HBODY_ROOT, "X_NUVAK_DELETED", 0, &mark));
  EXPECT_STREQ("True", mark.pszVal);
  ASSERT_EQ(S_OK, target->Commit(0));
  // Everything else came over unchanged: the source is the original plus the mark.
  com_ptr<IStream> out;
  ASSERT_EQ(S_OK, target->GetMessageSource(out.put(), 0));
  const std::string text = ReadStream(out.get());
  EXPECT_NE(std::string::npos, text.find("X_NUVAK_DELETED: True\r\n"));
  EXPECT_NE(std::string::npos, text.find(std::string(kSample).substr(std::string(kSample).find("\r\n\r\n"))));
}

TEST_F(MimeLibTest, MessagesWorkFromAMultithreadedApartment) {
  LoadSample();
  struct Args {
    HRESULT hr = E_FAIL;
    ULONG attachments = 0;
  } args;
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* a = static_cast<Args*>(p);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
          com_ptr<IMimeMessage> m;
          a->hr = CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                   m.put_void());
          if (SUCCEEDED(a->hr)) {
            com_ptr<IStream> s = StreamOf(kSample);
            a->hr = m.try_query<IPersistStreamInit>()->Load(s.get());
            HBODY* list = nullptr;
            if (SUCCEEDED(a->hr)) a->hr = m->GetAttachments(&a->attachments, &list);
            unique_cotaskmem<HBODY> hold(list);
          }
        }
        CoUninitialize();
        return 0;
      },
      &args, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  pelkary::unique_handle hold(thread);
  WaitForSingleObject(thread, INFINITE);
  EXPECT_EQ(S_OK, args.hr);
  EXPECT_EQ(1u, args.attachments);
}

}  // namespace
