// Test support for pelkary's Windows tests, which CTest runs under Wine.
//
// Linking: add `pelkary_test_support` to LIBS of pelkary_add_wine_test. It brings GoogleTest,
// ole32/oleaut32/uuid/user32/advapi32, the generated headers (pelkary.h, store_api.h,
// mime_api.h) and the server's holders (frame/holders.h). The GUIDs of pelkary.h are defined
// once, by pelkary_core, which compiles the generated pelkary_i.c; linking it pulls in only the
// objects a test names, so a test still talks to the registered pelkary.dll through the COM
// runtime and never to a second copy of the server. Tests include the server's own headers only
// through this folder, except the few frame and notify tests that drive the server's code
// in-process.
//
// The pieces (one header each, all in namespace pelkary::test):
//   StoreTest          the fixture of a test against a fresh store of its own, with a manager
//                      and a store connection of the test's own to put and read messages.
//   Ask                calls a method with S_OK expected and returns what it wrote.
//   ComApartment       CoInitializeEx/CoUninitialize for the current thread (RAII).
//   TempStore          a fresh, empty store directory exported as MAILSTORE_DIR (RAII).
//   PumpMessages/PumpUntil  run the thread's message loop (events come from posted messages).
//   RecordingSink      an event sink that records each Invoke and fails the test on any call
//                      it was not told to allow.
//   EventConnection    Advise/Unadvise of a sink on an object's connection point (RAII).
//   ErrorInfoOf        takes the thread's error object: present, source, description, GUID.
//   CreateManager, CreateFolderObject, CreateMessageObject, CreateObject<I>(clsid).
//   ServerModule       LoadLibrary of the registered pelkary.dll, to call its exports directly.
//   LibraryDescription the type library read into data and printed as text.
//   EXPECT_HR/ASSERT_HR  HRESULT comparisons that print hexadecimal codes.
#pragma once

#include "support/answers.h"
#include "support/com_apartment.h"
#include "support/error_record.h"
#include "support/event_connection.h"
#include "support/hresult_assertions.h"
#include "support/library_description.h"
#include "support/message_pump.h"
#include "support/object_factory.h"
#include "support/recording_sink.h"
#include "support/server_module.h"
#include "support/temp_store.h"
