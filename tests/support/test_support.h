// Test support for pelkary's Windows tests, which CTest runs under Wine.
//
// Linking: add `pelkary_test_support` to LIBS of pelkary_add_wine_test. It brings GoogleTest,
// ole32/oleaut32/uuid/user32/advapi32, the generated headers (pelkary.h, store_api.h,
// mime_api.h) and the server's holders (frame/holders.h). The GUIDs of pelkary.h
// (CLSID_MXFolder, IID_IMXMessage, LIBID_PELKARY, ...) are defined once, by pelkary_core, which
// compiles the generated pelkary_i.c; tests never compile a copy of their own. Linking
// pelkary_core pulls in only the objects a test names, so a test still talks to the registered
// pelkary.dll through the COM runtime and never to a second copy of the server.
//
// The pieces (one header each, all in namespace pelkary::test):
//   ComApartment       CoInitializeEx/CoUninitialize for the current thread (RAII).
//   TempStore          a fresh, empty store directory under the system temp folder, exported as
//                      MAILSTORE_DIR in this process (before any store use) and removed at the
//                      end; the previous value is restored.
//   PumpMessages/PumpUntil  run the thread's message loop for a time / until a condition holds
//                      (events are fired from posted messages, so tests must pump).
//   RecordingSink      an IDispatch for one event interface that records each Invoke as
//                      (dispid, VT_I4 arguments in declaration order) and fails the test on any
//                      call it was not told to Expect or Allow; configurable HRESULT, and a hook
//                      that runs inside Invoke.
//   EventConnection    Advise/Unadvise of a sink on an object's connection point (RAII).
//   ErrorInfoOf        takes the thread's error object: present, source, description, GUID.
//   CreateManager, CreateFolderObject, CreateMessageObject, CreateObject<I>(clsid),
//   CreateByProgId     creation through the COM runtime with exact HRESULT checks.
//   ServerModule       LoadLibrary of the registered pelkary.dll, to call its exports directly.
//   RunScript          runs a VBScript or JScript text with Wine's cscript and returns its exit
//                      code and output.
//   EXPECT_HR/ASSERT_HR  HRESULT comparisons that print hexadecimal codes.
//
// A typical fixture declares the apartment first and the store second, so that the store is
// removed before the apartment closes; objects must be released before the fixture ends (the
// store session keeps the store open while any folder or manager lives):
//
//   class InboxTest : public ::testing::Test {
//    protected:
//     pelkary::test::ComApartment apartment_;
//     pelkary::test::TempStore store_;
//   };
#pragma once

#include "support/com_apartment.h"
#include "support/error_record.h"
#include "support/event_connection.h"
#include "support/hresult_assertions.h"
#include "support/message_pump.h"
#include "support/object_factory.h"
#include "support/recording_sink.h"
#include "support/script_runner.h"
#include "support/server_module.h"
#include "support/temp_store.h"
