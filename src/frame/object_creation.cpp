#include "frame/object_creation.h"

#include <string>

namespace pelkary {

void ThrowForeignObject(const ClassIdentity& cls) {
    const std::wstring text = std::wstring(L"The object made as ") + cls.class_name +
                              L" is not pelkary's own: its class id is registered to another server, or the object "
                              L"lives in another process.";
    throw_described(E_NOINTERFACE, text.c_str());
}

}  // namespace pelkary
