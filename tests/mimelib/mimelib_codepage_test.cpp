// mimelib.dll under a double-byte ANSI code page (run with LANG=ja_JP.UTF-8, code page 932): the
// A-functions hand out proper Shift_JIS text, and bodies in East Asian charsets are read and written
// through the system's code pages, with stand-ins where Wine lacks one.
#include <gtest/gtest.h>

#include <string>

#include "comsupport/holders.h"
#include "comsupport/stream_io.h"
#include "mime_api.h"

using pelkary::com_ptr;

namespace {

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
  std::string out;
  EXPECT_TRUE(body->GetData(how, s.put()) == S_OK && pelkary::read_to_end(s.get(), &out) == S_OK);
  return out;
}

std::string Bytes(const std::wstring& w) { return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2); }

TEST(CodePage932, PropertiesAreShiftJisAndBodiesKeepTheirCharsets) {
  ASSERT_EQ(932u, GetACP()) << "run under LANG=ja_JP.UTF-8";
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string dll = "Z:" PELKARY_BIN_DIR "/mimelib.dll";
  using Export = HRESULT(WINAPI*)();
  ASSERT_EQ(S_OK, reinterpret_cast<Export>(reinterpret_cast<void*>(
                      GetProcAddress(LoadLibraryA(dll.c_str()), "DllRegisterServer")))());
  com_ptr<IMimeMessage> msg;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage, msg.put_void()));
  ASSERT_EQ(S_OK, msg->Load(StreamOf("Subject: =?iso-2022-jp?B?GyRCRnxLXBsoQg==?=\r\n"
                                     "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                                     "--b\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n\x1b$BF|K\\\x1b(B\r\n"
                                     "--b\r\nContent-Type: text/plain; charset=gb18030\r\n\r\n\xd6\xd0\xce\xc4\r\n"
                                     "--b\r\nContent-Type: text/plain; charset=ks_c_5601-1987\r\n\r\n\xc7\xd1\r\n--b--")
                                .get()));
  pelkary::unique_propvariant v;
  v.vt = VT_LPSTR;
  ASSERT_EQ(S_OK, msg->GetBodyProp(HBODY_ROOT, "Subject", 0, &v));
  EXPECT_STREQ("\x93\xfa\x96\x7b", v.pszVal);  // 日本

  // Each part: its text read, then text written and the bytes stored (in its charset when it fits).
  const struct {
    std::wstring read, write;
    std::string stored;
  } kParts[] = {{L"\x65e5\x672c", L"\x672c\x65e5", "\x1b$BK\\F|\x1b(B"},
                {L"\x4e2d\x6587", L"\x4e2d", "\xd6\xd0"},  // GB18030 read and written as GBK
                {L"\xd55c", L"\xd55c\x0e01", "\xed\x95\x9c\xe0\xb8\x81"}};  // no Thai in 949: UTF-8
  HBODY h = nullptr;
  ASSERT_EQ(S_OK, msg->GetBody(IBL_FIRST, HBODY_ROOT, &h));
  for (const auto& p : kParts) {
    com_ptr<IMimeBody> body;
    ASSERT_EQ(S_OK, msg->BindToObject(h, IID_IMimeBody, body.put_void()));
    EXPECT_EQ(Bytes(p.read), Read(body.get(), IET_UNICODE));
    ASSERT_EQ(S_OK, body->SetData(IET_UNICODE, "text", "plain", IID_IStream, StreamOf(Bytes(p.write)).get()));
    EXPECT_EQ(p.stored, Read(body.get(), IET_BINARY));
    msg->GetBody(IBL_NEXT, h, &h);
  }
}

}  // namespace
