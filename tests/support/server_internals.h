// The server's own headers, for the few tests that drive its code in-process rather than through
// the COM runtime: the error boundary and class objects, the firing operations of the event
// sources, and the rules for attachment file names. Every such include goes through here.
#pragma once

#include "folders/mx_folder.h"
#include "folders/mx_folder_manager.h"
#include "frame/automation_object.h"
#include "frame/module.h"
#include "comsupport/class_factory.h"
#include "frame/object_creation.h"
#include "comsupport/text.h"
#include "messages/attachment_file_name.h"
