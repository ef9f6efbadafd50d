// The names of the public property ids, in id order from kFirstPublicPropertyId (2) to 78. The
// MIME interface numbers the same properties (PID_* of mime_api.idl); mimelib's COM layer holds the
// two together at compile time (com/property_ids.cpp).
#pragma once

#include <cstdint>
#include <string_view>

namespace mimeengine {

inline constexpr uint32_t kFirstPublicPropertyId = 2;

inline constexpr std::string_view kPublicPropertyNames[] = {
    "Newsgroup",                          // 2
    "Newsgroups",                         // 3
    "References",                         // 4
    "Subject",                            // 5
    "From",                               // 6
    "Message-ID",                         // 7
    "Return-Path",                        // 8
    "Rr",                                 // 9
    "Return-Receipt-To",                  // 10
    "Apparently-To",                      // 11
    "Date",                               // 12
    "Received",                           // 13
    "Reply-To",                           // 14
    "X-Mailer",                           // 15
    "Bcc",                                // 16
    "MIME-Version",                       // 17
    "Content-Type",                       // 18
    "Content-Transfer-Encoding",          // 19
    "Content-ID",                         // 20
    "Content-Description",                // 21
    "Content-Disposition",                // 22
    "Content-Base",                       // 23
    "Content-Location",                   // 24
    "To",                                 // 25
    "Path",                               // 26
    "Followup-To",                        // 27
    "Expires",                            // 28
    "Cc",                                 // 29
    "Control",                            // 30
    "Distribution",                       // 31
    "Keywords",                           // 32
    "Summary",                            // 33
    "Approved",                           // 34
    "Lines",                              // 35
    "Xref",                               // 36
    "Organization",                       // 37
    "X-Newsreader",                       // 38
    "X-Priority",                         // 39
    "X-MSMail-Priority",                  // 40
    "par:content-disposition:filename",   // 41
    "par:content-type:boundary",          // 42
    "par:content-type:charset",           // 43
    "par:content-type:name",              // 44
    "att:filename",                       // 45
    "att:generated-filename",             // 46
    "att:pri-content-type",               // 47
    "att:sub-content-type",               // 48
    "att:normalized-subject",             // 49
    "att:illegal-lines",                  // 50
    "att:rendered",                       // 51
    "att:sent-time",                      // 52
    "att:received-time",                  // 53
    "att:priority",                       // 54
    "Comment",                            // 55
    "Encoding",                           // 56
    "Encrypted",                          // 57
    "X-Offsets",                          // 58
    "X-Unsent",                           // 59
    "Article-ID",                         // 60
    "Sender",                             // 61
    "att:server",                         // 62
    "att:athena-account-id",              // 63
    "att:uidl",                           // 64
    "att:store-message-id",               // 65
    "att:user-name",                      // 66
    "att:forward-to",                     // 67
    "att:store-folder-id",                // 68
    "att:ghosted",                        // 69
    "att:uncached-size",                  // 70
    "att:combined",                       // 71
    "att:auto-inlined",                   // 72
    "Disposition-Notification-To",        // 73
    "par:content-type:reply-type",        // 74
    "par:content-type:format",            // 75
    "att:format",                         // 76
    "In-Reply-To",                        // 77
    "att:athena-account-name",            // 78
};

}  // namespace mimeengine
