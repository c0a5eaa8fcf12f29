#pragma once
// Unsent notes: the messages waiting in the Outbox of the delivery storage
// (storage/delivery_volume.h), and what the user can do with them from the
// options screen and the command line: count them, list them, delete one or
// all, save one's recording as a file, resend them all, or convert them all
// to files or ActiveSync drafts when the delivery mode changes.
//
// Every operation opens the storage the way a delivery does (DeliveryJob's
// CreateMailService) and releases it before returning, so the volume file is
// gone as soon as the Outbox is empty. No volume file counts as no notes.
// The calls block; run them on a thread that handles the window messages sent
// to it (a resend's events come to the calling thread while it waits).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "delivery/activesync.h"
#include "delivery/application_events.h"
#include "delivery/network_connection.h"
#include "delivery/web_upload.h"
#include "protocols/mail_client.h"
#include "settings/app_settings.h"
#include "storage/mail_storage.h"

namespace delivery {

// What the operations may be given besides the settings. Every member is
// optional; the defaults are the program's own.
struct PendingNotesOptions {
  // The connection-status window of a resend or account test; null: none.
  ConnectionStatusView* status_view = nullptr;
  // Decides on server certificates the chain check refused (default: refuse).
  protocols::MailClient::CertificateAcceptance accept_certificate;
  // Where and how the web resend posts (default: the registry's service).
  WebUploadOptions web;
  // The messaging logon of the ActiveSync conversion (default: the
  // platform's ActiveSync store).
  MessagingLogon activesync_logon;
};

struct PendingNotesCount {
  std::uint32_t count = 0;
  std::uint64_t size = 0;  // bytes, the sum of the stored message sizes
  // False when no storage could be opened (count and size are then 0).
  bool storage_available = true;
};

// The Outbox's message count and the sum of their sizes.
PendingNotesCount CountPendingNotes(const settings::AppSettings& settings);

// "%d unsent note(s), size %dKB": the size in KB rounded down, at least 1.
std::u16string PendingNotesStatusLine(const PendingNotesCount& count);

// The notes list's size column: plain bytes up to 1024, whole K up to
// 1048576, else whole M ("700", "2K", "3M").
std::u16string PendingNoteSizeText(std::uint64_t size);

// One row of the notes list.
struct PendingNote {
  storage::RecordId id = 0;
  std::uint64_t date = 0;       // file time (100 ns since 1601, UTC) of the message
  std::uint32_t size = 0;       // stored size in bytes
  std::u16string recipient;     // the To list as text
  std::u16string subject;
  std::u16string from;          // the From list as text
};

// The notes in the Outbox, oldest first.
std::vector<PendingNote> ListPendingNotes(const settings::AppSettings& settings);

// The list's date column: the date in local time, "YYYY-MM-DD HH:MM".
std::u16string PendingNoteDateText(std::uint64_t file_time);

// Deletes every Outbox message; true when the Outbox is empty afterwards
// (the volume file is then gone).
bool DeleteAllPendingNotes(const settings::AppSettings& settings);

// Deletes one note; false when it is not in the Outbox or could not be deleted.
bool DeletePendingNote(const settings::AppSettings& settings, storage::RecordId id);

// The recording (first attachment) of a note.
struct PendingNoteRecording {
  bool found = false;         // the note exists and has an attachment
  std::u16string file_name;   // the attachment's name, fit for a file name
  std::string content;        // decoded bytes
};
PendingNoteRecording ReadPendingNoteRecording(const settings::AppSettings& settings, storage::RecordId id);

// Writes a note's recording to `target`, replacing a file that is there
// (the caller asks the user first). False when the note has no recording or
// the file could not be written; a failed write leaves no partial file.
bool SavePendingNoteRecording(const settings::AppSettings& settings, storage::RecordId id,
                              const std::filesystem::path& target);

struct ResendResult {
  bool storage_available = true;
  // Mail service case: the login succeeded and (sending) no note is left in
  // the Outbox. Web case: every note accepted.
  bool succeeded = false;
  bool web_upload = false;     // the web service took the notes, not SMTP
  int upload_result = 0;       // web: the first refused upload's result, else 0
  std::uint32_t sent = 0;      // notes that left the Outbox
  std::uint32_t remaining = 0; // notes still in the Outbox afterwards
};

// Sends every unsent note now: through the mail service in the mail server
// mode and in the web service mode with UseSMTPForWeb, else by web upload one
// by one, each note leaving the Outbox as soon as the service accepted it; the
// first refusal stops the upload. With `send` false it is the account test:
// the mail service connects and logs in, nothing is sent. The caller recounts
// afterwards (the options screen on its pending-notes-changed message).
ResendResult ResendPendingNotes(const settings::AppSettings& settings, bool send,
                                const PendingNotesOptions& options = {});

struct ConversionResult {
  bool storage_available = true;
  std::uint32_t converted = 0;  // notes written and removed from the Outbox
  std::uint32_t failed = 0;     // notes that could not be converted (no recording, a file
                                // that could not be written, a store that refused); they stay
  std::vector<std::filesystem::path> files;  // SaveAsFile: the files written
};

// Turns every unsent note into a file in NoteFilePath (SaveAsFile: named by
// the subject, with the recording's extension, never over an existing file)
// or into an ActiveSync draft (ActiveSync: To, subject, text and recording,
// not submitted). Only the notes converted leave the Outbox; a note whose
// recording cannot be saved stays unsent. Other modes convert nothing. The
// caller asks the user first (ConvertPendingNotesQuestion).
ConversionResult ConvertPendingNotes(const settings::AppSettings& settings, settings::SendMode mode,
                                     const PendingNotesOptions& options = {});

// The question asked before a conversion to `mode` (empty for the modes that
// convert nothing).
std::u16string ConvertPendingNotesQuestion(settings::SendMode mode);

}  // namespace delivery
