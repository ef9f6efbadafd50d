// mimelib.dll under a double-byte ANSI code page (run with LANG=ja_JP.UTF-8, code page 932): the
// A-functions hand out and take proper Shift_JIS text, and bodies in East Asian charsets are read
// and written through the system's code pages, with stand-ins where Wine lacks one.
#include <gtest/gtest.h>

#include <string>

#include "comsupport/holders.h"
#include "comsupport/stream_io.h"
#include "mime_api.h"

using pelkary::com_ptr;
using pelkary::unique_propvariant;

namespace {

const char kSjisNihon[] = "\x93\xfa\x96\x7b";  // 日本 in Shift_JIS
const char kSource[] =
    "Subject: =?iso-2022-jp?B?GyRCRnxLXBsoQg==?=\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
    "--b\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n\x1b$BF|K\\\x1b(B\r\n"
    "--b\r\nContent-Type: text/plain; charset=gb18030\r\n\r\n\xd6\xd0\xce\xc4\r\n"
    "--b\r\nContent-Type: text/plain; charset=ks_c_5601-1987\r\n\r\n\xc7\xd1\xb1\xb9\r\n--b--\r\n";

com_ptr<IStream> StreamOf(const std::string& bytes) {
  com_ptr<IStream> s;
  EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, s.put()));
  pelkary::write_all(s.get(), bytes);
  LARGE_INTEGER zero{};
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  return s;
}

std::string Read(IMimeBody* body, ENCODINGTYPE how) {
  com_ptr<IStream> s;
  EXPECT_EQ(S_OK, body->GetData(how, s.put()));
  std::string out;
  if (s) {
    EXPECT_EQ(S_OK, pelkary::read_to_end(s.get(), &out));
  }
  return out;
}

std::string Bytes(const std::wstring& w) { return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2); }

class CodePageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string path = "Z:" PELKARY_BIN_DIR "/mimelib.dll";
    for (auto& c : path) c = c == '/' ? '\\' : c;
    using Export = HRESULT(WINAPI*)();
    auto reg = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryA(path.c_str()), "DllRegisterServer")));
    ASSERT_TRUE(reg);
    ASSERT_EQ(S_OK, reg());
  }
  void SetUp() override {
    ASSERT_EQ(932u, GetACP()) << "run under LANG=ja_JP.UTF-8";
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                     msg_.put_void()));
    ASSERT_EQ(S_OK, msg_->Load(StreamOf(kSource).get()));
  }
  com_ptr<IMimeBody> Part(int n) {
    HBODY h = nullptr;
    EXPECT_EQ(S_OK, msg_->GetBody(IBL_FIRST, HBODY_ROOT, &h));
    while (n-- > 0) EXPECT_EQ(S_OK, msg_->GetBody(IBL_NEXT, h, &h));
    com_ptr<IMimeBody> body;
    EXPECT_EQ(S_OK, msg_->BindToObject(h, IID_IMimeBody, body.put_void()));
    return body;
  }
  com_ptr<IMimeMessage> msg_;
};

TEST_F(CodePageTest, PropertiesTravelAsDoubleByteAnsiText) {
  unique_propvariant v;
  v.vt = VT_LPSTR;
  ASSERT_EQ(S_OK, msg_->GetBodyProp(HBODY_ROOT, "Subject", 0, &v));
  EXPECT_STREQ(kSjisNihon, v.pszVal);

  PROPVARIANT in;
  PropVariantInit(&in);
  in.vt = VT_LPSTR;
  in.pszVal = const_cast<char*>("\x96\x7b\x93\xfa");  // 本日
  ASSERT_EQ(S_OK, msg_->SetBodyProp(HBODY_ROOT, "Subject", 0, &in));
  unique_propvariant w;
  w.vt = VT_LPWSTR;
  ASSERT_EQ(S_OK, msg_->GetBodyProp(HBODY_ROOT, "Subject", 0, &w));
  EXPECT_STREQ(L"\x672c\x65e5", w.pwszVal);
}

TEST_F(CodePageTest, BodiesReadAndWriteTheirCharsetsThroughTheSystemCodePages) {
  EXPECT_EQ(Bytes(L"\x65e5\x672c"), Read(Part(0).get(), IET_UNICODE));
  EXPECT_EQ(Bytes(L"\x4e2d\x6587"), Read(Part(1).get(), IET_UNICODE));  // GB18030 read as GBK
  EXPECT_EQ(Bytes(L"\xd55c\xad6d"), Read(Part(2).get(), IET_UNICODE));

  // Text stays in the declared charset when it fits, and goes to UTF-8 when it does not.
  const struct {
    int part;
    std::wstring text;
    const char* bytes;
  } kWrites[] = {{0, L"\x672c\x65e5", "\x1b$BK\\F|\x1b(B"},
                 {2, L"\xd55c", "\xc7\xd1"},
                 {2, L"\xd55c\x0e01", "\xed\x95\x9c\xe0\xb8\x81"}};
  for (const auto& w : kWrites) {
    com_ptr<IMimeBody> body = Part(w.part);
    ASSERT_EQ(S_OK, body->SetData(IET_UNICODE, "text", "plain", IID_IStream, StreamOf(Bytes(w.text)).get()));
    EXPECT_EQ(w.bytes, Read(body.get(), IET_BINARY));
  }
}

}  // namespace
