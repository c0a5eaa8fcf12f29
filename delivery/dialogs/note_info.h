#pragma once
// What the unsent-notes dialogs show of a note, worked out apart from any
// window: the notes list's rows and their order, the note view's information
// text (encoding, size, length, date), the name proposed when a recording is
// saved as a file, and the filling of "%s" templates.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/pending_notes.h"

namespace delivery::dialogs {

// One row of the notes list; `id` stays with the row so that a command acts on
// the note the user chose even when the Outbox changed since the list was filled.
struct NotesListRow {
  storage::RecordId id = 0;
  std::u16string date;       // local time
  std::u16string size;       // PendingNoteSizeText
  std::u16string recipient;  // the To list
};

// The rows for the notes, newest first (notes of the same date: the later
// arrival first).
std::vector<NotesListRow> NotesListRows(std::vector<PendingNote> notes);

// "Ogg Vorbis" or "WAV" by the recording's content (its name when the content
// says nothing), "Unknown" otherwise.
std::u16string RecordingEncodingText(std::u16string_view file_name, std::string_view content);

// The playing time of a recording in whole seconds: a WAV's data size over its
// byte rate, an Ogg Vorbis stream's last granule position over its sample
// rate. Nothing for content that is neither or is cut short.
std::optional<std::uint32_t> RecordingLengthSeconds(std::string_view content);

// "m:ss" ("0:07", "12:03"); "Unknown" for nothing.
std::u16string LengthText(std::optional<std::uint32_t> seconds);

// Replaces each "%s" of `pattern` by the next argument, in order; a "%s"
// without an argument left becomes empty. Arguments are never read as patterns.
std::u16string FillTemplate(std::u16string_view pattern, const std::vector<std::u16string>& args);

// The note view's information text from the template "Encoding: %s%sSize:
// %s\nLength: %s%sDate: %s".
std::u16string NoteInfoText(std::u16string_view pattern, std::u16string_view encoding, std::u16string_view size,
                            std::u16string_view length, std::u16string_view date);

// The name proposed by the save dialog: the attachment's name fit for a file
// name (\ / : * ? " < > | become "."), "note" when nothing is left, cut to
// fewer than `limit` characters keeping its extension.
std::u16string ProposedSaveName(std::u16string_view attachment_name, std::size_t limit = 300);

// The last component of a path as the user typed or chose it ("/" or "\").
std::u16string DisplayFileName(std::u16string_view path);

}  // namespace delivery::dialogs
