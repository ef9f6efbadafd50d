// What the scripting library reads of a message, through the published IMXMessage interface of
// pelkary's own message object (whose failures carry their error objects): a header field of the
// root body in full Unicode, the decoded text of its text bodies, and the Unicode comparisons a
// search makes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pelkary.h"

namespace pelkary {

// The text of a BSTR argument; empty for a null one.
std::wstring TextOf(BSTR text);

// The header field `name` of the root body, unfolded and decoded; nullopt when absent.
std::optional<std::wstring> HeaderValue(IMXMessage* message, const std::wstring& name);

// The decoded text of every text body that is not an attachment, in tree order, each followed by
// a line break.
std::wstring TextOfBodies(IMXMessage* message);

// True when `text` holds `part`, compared without regard to case over all of Unicode (the
// invariant locale's lower case); an empty `part` is in every text.
bool ContainsIgnoringCase(std::wstring_view text, std::wstring_view part);

// A Message-ID as the index compares it: without surrounding white space and angle brackets.
std::wstring_view BareMessageId(std::wstring_view id);

}  // namespace pelkary
