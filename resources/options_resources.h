#pragma once
// The options screen's resources: the screen itself (a page filling the main
// window), the four settings pages of the delivery modes, the sign-up dialog,
// the folder chooser with its new-folder dialog, their soft-key bars and the
// main window's bar. RegisterOptionsResources puts them into the toolkit's
// resource table; call it once at start, before any of them is made (calling
// it again is harmless).
//
// Geometry is in pixels at 96 dpi for a 240-pixel-wide screen; a renderer
// scales it for the display.

#include <string_view>

#include "platform/window_system.h"

namespace resources {

using platform::UINT;

// ---- dialogs ----
inline constexpr UINT kOptionsScreenDialog = 200;  // "Settings"
inline constexpr UINT kFilePageDialog = 201;       // "Save As File Settings"
inline constexpr UINT kSmtpPageDialog = 202;       // "Send Via SMTP Settings"
inline constexpr UINT kActiveSyncPageDialog = 203; // "Send Via ActiveSync Settings"
inline constexpr UINT kWebPageDialog = 204;        // "Send Via Corvane Service Settings"
inline constexpr UINT kSignupDialog = 205;         // "Web Service Signup"
inline constexpr UINT kSelectFolderDialog = 206;   // "Select Folder"
inline constexpr UINT kNewFolderDialog = 207;      // "Create New Folder"

// ---- soft-key bars ----
// The main window's: "OK" and "Menu" with popup kMainMenuPopup.
inline constexpr UINT kMainMenuBar = 307;
inline constexpr UINT kMainMenuPopup = 308;
// "OK" and "Cancel", for every dialog here that has no menu of its own.
inline constexpr UINT kOptionsOkCancelMenuBar = 220;
// "OK" and "Menu": "Mail Account…", "Test Account…", "Connection…", "Cancel".
inline constexpr UINT kSmtpPageMenuBar = 221;
inline constexpr UINT kSmtpPageMenuPopup = 222;
// "OK" and "Menu": "Signup…", "Connection…", "Cancel".
inline constexpr UINT kWebPageMenuBar = 223;
inline constexpr UINT kWebPageMenuPopup = 224;

// ---- main menu commands (the main window hands them to the options screen) ----
inline constexpr UINT kAboutCommand = 40002;
inline constexpr UINT kViewNotesCommand = 40010;
inline constexpr UINT kDeleteNotesCommand = 40011;
inline constexpr UINT kResendNotesCommand = 40012;
// 40013-40015 are kept for the options screen's future entries.
inline constexpr UINT kFirstScreenCommand = 40010;
inline constexpr UINT kLastScreenCommand = 40015;

// ---- options screen controls ----
inline constexpr int kModeLabel = 1000;
inline constexpr int kModeList = 1001;        // each item carries its SendMode value
inline constexpr int kDetailsButton = 1002;
inline constexpr int kEncodingLabel = 1003;
inline constexpr int kEncodingList = 1004;    // "Ogg" (1), "Wav" (0)
inline constexpr int kHotkeyLabel = 1005;     // the hotkey buttons follow it, made at run time
inline constexpr int kPlaySoundCheck = 1006;
inline constexpr int kSoundList = 1007;       // each item carries its MIDI flag
inline constexpr int kPlayButton = 1008;      // "…": plays the chosen sound
inline constexpr int kUnsentLine = 1009;
inline constexpr int kViewNotesButton = 1010;
inline constexpr int kDeleteAllButton = 1011;
inline constexpr int kResendAllButton = 1012;

// ---- mode page controls (the same ids on every page that has the field) ----
// The page menus send the ids of the buttons they stand for.
inline constexpr int kFromLabel = 1100;
inline constexpr int kFromEdit = 1101;
inline constexpr int kToLabel = 1102;
inline constexpr int kToEdit = 1103;
inline constexpr int kSubjectLabel = 1104;
inline constexpr int kSubjectEdit = 1105;
inline constexpr int kSendImmediatelyCheck = 1106;
inline constexpr int kUseSmtpCheck = 1107;
inline constexpr int kAccountButton = 1108;
inline constexpr int kTestButton = 1109;
inline constexpr int kConnectionButton = 1110;
inline constexpr int kSignupButton = 1111;
inline constexpr int kFileNameLabel = 1120;
inline constexpr int kFileNameEdit = 1121;
inline constexpr int kSaveToLabel = 1122;
inline constexpr int kSaveToEdit = 1123;
inline constexpr int kBrowseButton = 1124;

// ---- sign-up dialog ----
inline constexpr int kSignupIntroText = 1140;
inline constexpr int kSignupLink = 1141;  // a clickable text (SS_NOTIFY)
inline constexpr int kSignupAfterText = 1142;
inline constexpr int kUserNameLabel = 1143;
inline constexpr int kUserNameEdit = 1144;
inline constexpr int kPasswordLabel = 1145;
inline constexpr int kPasswordEdit = 1146;
// The maker's sign-up page.
inline constexpr std::string_view kSignupAddress = "https://www.corvane.com/products/dictalo/DK_Signup.php";

// ---- folder chooser ----
inline constexpr int kFolderPrompt = 1160;
inline constexpr int kFolderTree = 1161;
inline constexpr int kNewFolderButton = 1162;
inline constexpr int kNewFolderLabel = 1170;
inline constexpr int kNewFolderEdit = 1171;

void RegisterOptionsResources();

}  // namespace resources
