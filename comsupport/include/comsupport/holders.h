// Every owning holder of this library in one include, for programs that use many of them (tests,
// benches, samples). Code that ships includes the holders it uses one by one.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <propidl.h>

#include "comsupport/com_ptr.h"
#include "comsupport/critical_section.h"
#include "comsupport/scope_exit.h"
#include "comsupport/unique_any.h"
#include "comsupport/unique_bstr.h"
#include "comsupport/unique_cotaskmem.h"
#include "comsupport/unique_propvariant.h"
