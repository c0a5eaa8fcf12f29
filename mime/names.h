#pragma once
// The library's vocabulary of header fields, parameters and media types, shared by
// every part. Field names compare without regard to case.

#include <string_view>

namespace mime::names {

// Header fields.
inline constexpr std::u16string_view kMimeVersion = u"MIME-Version";
inline constexpr std::u16string_view kReceived = u"Received";
inline constexpr std::u16string_view kDate = u"Date";
inline constexpr std::u16string_view kResentDate = u"Resent-Date";
inline constexpr std::u16string_view kContentType = u"Content-Type";
inline constexpr std::u16string_view kContentDisposition = u"Content-Disposition";
inline constexpr std::u16string_view kCc = u"CC";
inline constexpr std::u16string_view kResentCc = u"Resent-CC";
inline constexpr std::u16string_view kBcc = u"BCC";
inline constexpr std::u16string_view kResentBcc = u"Resent-BCC";
inline constexpr std::u16string_view kTo = u"To";
inline constexpr std::u16string_view kResentTo = u"Resent-To";
inline constexpr std::u16string_view kFrom = u"From";
inline constexpr std::u16string_view kResentFrom = u"Resent-From";
inline constexpr std::u16string_view kSender = u"Sender";
inline constexpr std::u16string_view kResentSender = u"Resent-Sender";
inline constexpr std::u16string_view kReplyTo = u"Reply-To";
inline constexpr std::u16string_view kResentReplyTo = u"Resent-Reply-To";
inline constexpr std::u16string_view kReturnPath = u"Return-path";
inline constexpr std::u16string_view kComments = u"Comments";
inline constexpr std::u16string_view kSubject = u"Subject";
inline constexpr std::u16string_view kKeywords = u"Keywords";
inline constexpr std::u16string_view kReferences = u"References";
inline constexpr std::u16string_view kInReplyTo = u"In-Reply-To";
inline constexpr std::u16string_view kMessageId = u"Message-ID";
inline constexpr std::u16string_view kResentMessageId = u"Resent-Message-ID";
inline constexpr std::u16string_view kContentDescription = u"Content-Description";
inline constexpr std::u16string_view kContentId = u"Content-ID";
inline constexpr std::u16string_view kContentTransferEncoding = u"Content-Transfer-Encoding";
inline constexpr std::u16string_view kXMailer = u"X-Mailer";

// Fields a composed message carries over into the root.
inline constexpr std::u16string_view kXUnsent = u"X-Unsent";
inline constexpr std::u16string_view kXPriority = u"X-Priority";
inline constexpr std::u16string_view kXConfirmReadingTo = u"X-Confirm-Reading-To";
inline constexpr std::u16string_view kDispositionNotificationTo = u"Disposition-Notification-To";
inline constexpr std::u16string_view kReturnReceiptTo = u"Return-Receipt-To";
inline constexpr std::u16string_view kCarriedOverFields[] = {kXUnsent, kXPriority, kXConfirmReadingTo,
                                                             kDispositionNotificationTo, kReturnReceiptTo};

// The address headers, written before every other field.
inline constexpr std::u16string_view kAddressFields[] = {kFrom,    kTo,       kCc,           kBcc,
                                                         kReplyTo, kSender,   kResentFrom,   kResentTo,
                                                         kResentCc, kResentBcc, kResentReplyTo, kResentSender};

// Parameters.
inline constexpr std::u16string_view kFilename = u"filename";
inline constexpr std::u16string_view kName = u"name";
inline constexpr std::u16string_view kCharset = u"charset";
inline constexpr std::u16string_view kBoundary = u"boundary";

// Dispositions.
inline constexpr std::u16string_view kAttachment = u"attachment";
inline constexpr std::u16string_view kInline = u"inline";

// Media types.
inline constexpr std::u16string_view kText = u"text";
inline constexpr std::u16string_view kPlain = u"plain";
inline constexpr std::u16string_view kTextPlain = u"text/plain";
inline constexpr std::u16string_view kHtml = u"html";
inline constexpr std::u16string_view kMultipart = u"multipart";
inline constexpr std::u16string_view kMultipartDigest = u"multipart/digest";
inline constexpr std::u16string_view kMultipartRelated = u"multipart/related";
inline constexpr std::u16string_view kMixed = u"mixed";
inline constexpr std::u16string_view kRelated = u"related";
inline constexpr std::u16string_view kAlternative = u"alternative";
inline constexpr std::u16string_view kMessage = u"message";
inline constexpr std::u16string_view kImage = u"image";
inline constexpr std::u16string_view kAudio = u"audio";
inline constexpr std::u16string_view kVideo = u"video";
inline constexpr std::u16string_view kApplication = u"application";
inline constexpr std::u16string_view kOctetStream = u"octet-stream";

// Transfer encodings, in the order of the library's table.
inline constexpr std::u16string_view kBase64 = u"base64";
inline constexpr std::u16string_view kQuotedPrintable = u"quoted-printable";
inline constexpr std::u16string_view k8Bit = u"8bit";
inline constexpr std::u16string_view k7Bit = u"7bit";
inline constexpr std::u16string_view kBinary = u"Binary";

// Character sets the library names itself.
inline constexpr std::string_view kUtf8 = "utf-8";
inline constexpr std::string_view kUtf16 = "utf-16";
inline constexpr std::string_view kUsAscii = "us-ascii";

}  // namespace mime::names
