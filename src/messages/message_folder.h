// What a message needs of the folders layer, which provides it: a folder object of its own.
#pragma once

#include "comsupport/com_ptr.h"
#include "pelkary.h"

namespace pelkary {

// A new folder object made through COM by class id (as a client makes one) and bound to
// `folder_id`; a folder the store cannot open is a null folder. Throws com_error with the
// creation's HRESULT. Calling thread only.
com_ptr<IMXFolder> OpenMessageFolder(long folder_id);

}  // namespace pelkary
