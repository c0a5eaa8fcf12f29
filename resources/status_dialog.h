#pragma once
// The program's own resources for a recording: the status dialog, its soft-key
// bar, and the strings the recording session shows. RegisterProgramResources puts
// them into the toolkit's resource table; the program calls it once at start,
// before any window exists (calling it again is harmless).

#include "platform/window_system.h"

namespace resources {

using platform::UINT;

// Strings.
inline constexpr UINT kAppTitleString = 90;            // "Dictalo"
inline constexpr UINT kSavingNoteTitleString = 50630;  // "Saving a Note"
inline constexpr UINT kSavingNoteTextString = 50631;
inline constexpr UINT kDontShowAgainString = 50632;    // "Don't show this again"
inline constexpr UINT kStopSendString = 50710;         // "Stop && Send"
inline constexpr UINT kStopSaveString = 50711;         // "Stop && Save"
inline constexpr UINT kCancelString = 50712;           // "Cancel"

// The status dialog and its controls.
inline constexpr UINT kStatusDialog = 508;
inline constexpr int kStatusTextControl = 10120;      // first text line
inline constexpr int kStatusDetailControl = 10121;    // second text line
inline constexpr int kStopSendButton = 10122;         // owner-drawn
inline constexpr int kStopSaveButton = 10123;         // owner-drawn
inline constexpr int kCancelButton = 10124;           // owner-drawn
inline constexpr int kStatusProgressControl = 10126;  // in the second line's place, hidden at first
// Height of the status dialog at 96 dpi.
inline constexpr int kStatusDialogHeight = 162;

// The status dialog's soft-key bar: "Send" and "Save".
inline constexpr UINT kStatusMenuBar = 309;
inline constexpr UINT kSendCommand = 50600;
inline constexpr UINT kSaveCommand = 50601;

void RegisterProgramResources();

}  // namespace resources
