// The MIME interface's property ids (PID_*, mime_api.idl) and the engine's names for them
// (mimeengine/public_property_names.h) number the same properties: the compiler holds them together.
#include <iterator>
#include <string_view>

#include "mime_api.h"
#include "mimeengine/public_property_names.h"

namespace {

constexpr std::string_view NameOf(int id) {
  return mimeengine::kPublicPropertyNames[id - static_cast<int>(mimeengine::kFirstPublicPropertyId)];
}

static_assert(std::size(mimeengine::kPublicPropertyNames) == PID_LAST - mimeengine::kFirstPublicPropertyId,
              "one name for each id");
static_assert(NameOf(PID_HDR_NEWSGROUP) == "Newsgroup");
static_assert(NameOf(PID_HDR_NEWSGROUPS) == "Newsgroups");
static_assert(NameOf(PID_HDR_REFS) == "References");
static_assert(NameOf(PID_HDR_SUBJECT) == "Subject");
static_assert(NameOf(PID_HDR_FROM) == "From");
static_assert(NameOf(PID_HDR_MESSAGEID) == "Message-ID");
static_assert(NameOf(PID_HDR_RETURNPATH) == "Return-Path");
static_assert(NameOf(PID_HDR_RR) == "Rr");
static_assert(NameOf(PID_HDR_RETRCPTO) == "Return-Receipt-To");
static_assert(NameOf(PID_HDR_APPARTO) == "Apparently-To");
static_assert(NameOf(PID_HDR_DATE) == "Date");
static_assert(NameOf(PID_HDR_RECEIVED) == "Received");
static_assert(NameOf(PID_HDR_REPLYTO) == "Reply-To");
static_assert(NameOf(PID_HDR_XMAILER) == "X-Mailer");
static_assert(NameOf(PID_HDR_BCC) == "Bcc");
static_assert(NameOf(PID_HDR_MIMEVER) == "MIME-Version");
static_assert(NameOf(PID_HDR_CNTTYPE) == "Content-Type");
static_assert(NameOf(PID_HDR_CNTXFER) == "Content-Transfer-Encoding");
static_assert(NameOf(PID_HDR_CNTID) == "Content-ID");
static_assert(NameOf(PID_HDR_CNTDESC) == "Content-Description");
static_assert(NameOf(PID_HDR_CNTDISP) == "Content-Disposition");
static_assert(NameOf(PID_HDR_CNTBASE) == "Content-Base");
static_assert(NameOf(PID_HDR_CNTLOC) == "Content-Location");
static_assert(NameOf(PID_HDR_TO) == "To");
static_assert(NameOf(PID_HDR_PATH) == "Path");
static_assert(NameOf(PID_HDR_FOLLOWUPTO) == "Followup-To");
static_assert(NameOf(PID_HDR_EXPIRES) == "Expires");
static_assert(NameOf(PID_HDR_CC) == "Cc");
static_assert(NameOf(PID_HDR_CONTROL) == "Control");
static_assert(NameOf(PID_HDR_DISTRIB) == "Distribution");
static_assert(NameOf(PID_HDR_KEYWORDS) == "Keywords");
static_assert(NameOf(PID_HDR_SUMMARY) == "Summary");
static_assert(NameOf(PID_HDR_APPROVED) == "Approved");
static_assert(NameOf(PID_HDR_LINES) == "Lines");
static_assert(NameOf(PID_HDR_XREF) == "Xref");
static_assert(NameOf(PID_HDR_ORG) == "Organization");
static_assert(NameOf(PID_HDR_XNEWSRDR) == "X-Newsreader");
static_assert(NameOf(PID_HDR_XPRI) == "X-Priority");
static_assert(NameOf(PID_HDR_XMSPRI) == "X-MSMail-Priority");
static_assert(NameOf(PID_PAR_FILENAME) == "par:content-disposition:filename");
static_assert(NameOf(PID_PAR_BOUNDARY) == "par:content-type:boundary");
static_assert(NameOf(PID_PAR_CHARSET) == "par:content-type:charset");
static_assert(NameOf(PID_PAR_NAME) == "par:content-type:name");
static_assert(NameOf(PID_ATT_FILENAME) == "att:filename");
static_assert(NameOf(PID_ATT_GENFNAME) == "att:generated-filename");
static_assert(NameOf(PID_ATT_PRITYPE) == "att:pri-content-type");
static_assert(NameOf(PID_ATT_SUBTYPE) == "att:sub-content-type");
static_assert(NameOf(PID_ATT_NORMSUBJ) == "att:normalized-subject");
static_assert(NameOf(PID_ATT_ILLEGAL) == "att:illegal-lines");
static_assert(NameOf(PID_ATT_RENDERED) == "att:rendered");
static_assert(NameOf(PID_ATT_SENTTIME) == "att:sent-time");
static_assert(NameOf(PID_ATT_RECVTIME) == "att:received-time");
static_assert(NameOf(PID_ATT_PRIORITY) == "att:priority");
static_assert(NameOf(PID_HDR_COMMENT) == "Comment");
static_assert(NameOf(PID_HDR_ENCODING) == "Encoding");
static_assert(NameOf(PID_HDR_ENCRYPTED) == "Encrypted");
static_assert(NameOf(PID_HDR_OFFSETS) == "X-Offsets");
static_assert(NameOf(PID_HDR_XUNSENT) == "X-Unsent");
static_assert(NameOf(PID_HDR_ARTICLEID) == "Article-ID");
static_assert(NameOf(PID_HDR_SENDER) == "Sender");
static_assert(NameOf(PID_ATT_SERVER) == "att:server");
static_assert(NameOf(PID_ATT_ACCOUNT) == "att:athena-account-id");
static_assert(NameOf(PID_ATT_UIDL) == "att:uidl");
static_assert(NameOf(PID_ATT_STOREMSGID) == "att:store-message-id");
static_assert(NameOf(PID_ATT_USERNAME) == "att:user-name");
static_assert(NameOf(PID_ATT_FORWARDTO) == "att:forward-to");
static_assert(NameOf(PID_ATT_STOREFOLDERID) == "att:store-folder-id");
static_assert(NameOf(PID_ATT_GHOSTED) == "att:ghosted");
static_assert(NameOf(PID_ATT_UNCACHEDSIZE) == "att:uncached-size");
static_assert(NameOf(PID_ATT_COMBINED) == "att:combined");
static_assert(NameOf(PID_ATT_AUTOINLINED) == "att:auto-inlined");
static_assert(NameOf(PID_HDR_DISP_NOTIFICATION_TO) == "Disposition-Notification-To");
static_assert(NameOf(PID_PAR_REPLYTYPE) == "par:content-type:reply-type");
static_assert(NameOf(PID_PAR_FORMAT) == "par:content-type:format");
static_assert(NameOf(PID_ATT_FORMAT) == "att:format");
static_assert(NameOf(PID_HDR_INREPLYTO) == "In-Reply-To");
static_assert(NameOf(PID_ATT_ACCOUNTNAME) == "att:athena-account-name");

}  // namespace
