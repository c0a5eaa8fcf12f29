#pragma once
// The resources of the unsent-notes dialogs: the notes list, the note view,
// the connection-status window, their soft-key bars and the texts they show.
// RegisterNotesResources puts them into the toolkit's resource table; call it
// once at start, before any of these dialogs is made (again is harmless).

#include "platform/window_system.h"

namespace resources {

using platform::UINT;

// Dialogs.
inline constexpr UINT kNotesListDialog = 260;         // "Voice Notes List"
inline constexpr UINT kNoteViewDialog = 261;          // "Voice Note Edit"
inline constexpr UINT kConnectionStatusDialog = 262;  // "Connection Status"

// Notes list controls.
inline constexpr int kNotesListView = 3000;

// Note view controls.
inline constexpr int kNoteFromLabel = 3010;
inline constexpr int kNoteFromField = 3011;
inline constexpr int kNoteToLabel = 3012;
inline constexpr int kNoteToField = 3013;
inline constexpr int kNoteSubjectLabel = 3014;
inline constexpr int kNoteSubjectField = 3015;
inline constexpr int kNotePlayButton = 3016;
inline constexpr int kNoteInfoText = 3017;

// Connection-status window controls.
inline constexpr int kConnectionProgress = 3030;
inline constexpr int kConnectionStatusText = 3031;
inline constexpr int kConnectionReportText = 3032;  // the error report, hidden until one comes

// Soft-key bars and their commands.
inline constexpr UINT kNotesListMenuBar = 320;
inline constexpr UINT kNotesListPopup = 321;
inline constexpr UINT kNoteViewMenuBar = 322;
inline constexpr UINT kNoteViewPopup = 323;
inline constexpr UINT kOpenNoteCommand = 3100;
inline constexpr UINT kSaveNoteCommand = 3101;
inline constexpr UINT kDeleteNoteCommand = 3102;
inline constexpr UINT kPlayNoteCommand = 3103;

// Strings.
inline constexpr UINT kNotesAppTitleString = 3000;          // "Dictalo"
inline constexpr UINT kNotesListTitleString = 3001;         // "Voice Notes List"
inline constexpr UINT kNoteViewTitleString = 3002;          // "Voice Note Edit"
inline constexpr UINT kConnectionStatusTitleString = 3003;  // "Connection Status"
inline constexpr UINT kDateColumnString = 3010;
inline constexpr UINT kSizeColumnString = 3011;
inline constexpr UINT kRecipientColumnString = 3012;
inline constexpr UINT kSaveNoteTitleString = 3020;     // "Save Note As"
inline constexpr UINT kSaveNoteFilterString = 3021;    // "All Files (*.*)|*.*||"
inline constexpr UINT kReplaceFileString = 3022;       // "... named '%s'. Would you like to replace ..."
inline constexpr UINT kDeleteSelectedString = 3023;    // "Are you sure you want to delete selected note?"
inline constexpr UINT kDeleteOpenedString = 3024;      // "Are you sure you want to delete opened note?"
inline constexpr UINT kNoteInfoString = 3025;          // "Encoding: %s%sSize: %s\nLength: %s%sDate: %s"
inline constexpr UINT kSaveFailedString = 3026;        // the recording could not be written
inline constexpr UINT kNoteGoneString = 3027;          // the note left the Outbox meanwhile
inline constexpr UINT kDeleteFailedString = 3028;
inline constexpr UINT kConnectionErrorsTitleString = 3029;  // title of the report box after a failed run
inline constexpr UINT kOpenString = 3030;
inline constexpr UINT kSaveAsFileString = 3031;
inline constexpr UINT kDeleteString = 3032;
inline constexpr UINT kPlayString = 3033;
inline constexpr UINT kNotesCancelString = 3034;
inline constexpr UINT kMenuString = 3035;
inline constexpr UINT kCloseString = 3036;
inline constexpr UINT kFromLabelString = 3040;
inline constexpr UINT kToLabelString = 3041;
inline constexpr UINT kSubjectLabelString = 3042;
inline constexpr UINT kConversionFailedString = 3043;  // some notes could not be converted
inline constexpr UINT kNoRecordingString = 3044;
inline constexpr UINT kDeleteAllFailedString = 3045;
inline constexpr UINT kWebResendFailedString = 3046;

// The columns' widths at 96 dpi.
inline constexpr int kDateColumnWidth = 60;
inline constexpr int kSizeColumnWidth = 50;
inline constexpr int kRecipientColumnWidth = 1000;

void RegisterNotesResources();

}  // namespace resources
