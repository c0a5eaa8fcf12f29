#pragma once
// The resources of the update utility: its soft-key bars, its About dialog and
// the texts it shows outside its status screens. RegisterUpdateResources puts
// them into the toolkit's resource table (again is harmless).

#include "platform/window_system.h"

namespace resources {

using platform::UINT;

// Soft-key bars.
inline constexpr UINT kUpdateRetryExitBar = 129;  // "Retry", "Exit"
inline constexpr UINT kUpdateDownloadBar = 130;   // "Download", "Menu"
inline constexpr UINT kUpdateDownloadNoBuyBar = 134;  // the same without "Buy Now..."
inline constexpr UINT kUpdateExitBar = 131;       // "Exit"
inline constexpr UINT kUpdateCancelBar = 132;     // "Cancel"
inline constexpr UINT kUpdateDoneBar = 133;       // "Done"
inline constexpr UINT kUpdateMenuPopup = 135;

// Commands.
inline constexpr UINT kUpdateRetryCommand = 4230;
inline constexpr UINT kUpdateExitCommand = 4231;
inline constexpr UINT kUpdateDownloadCommand = 4232;
inline constexpr UINT kUpdateInfoCommand = 4233;
inline constexpr UINT kUpdateBuyCommand = 4234;
inline constexpr UINT kUpdateAboutCommand = 4235;
inline constexpr UINT kUpdateCancelCommand = 4236;
inline constexpr UINT kUpdateDoneCommand = 4237;

// Window controls.
inline constexpr int kUpdateProgress = 201;
inline constexpr int kUpdateList = 203;
inline constexpr int kUpdateStatusTitle = 4210;
inline constexpr int kUpdateStatusText = 4211;
inline constexpr int kUpdateStatusBack = 4212;  // the coloured band behind the status
inline constexpr int kUpdateStatusIcon = 4213;

// About dialog.
inline constexpr UINT kUpdateAboutDialog = 400;
inline constexpr int kUpdateAboutText = 4220;

// Strings.
inline constexpr UINT kUpdateCancelQuestionString = 4200;  // "Cancel download; Are you sure?"
inline constexpr UINT kUpdateNoBrowserString = 4201;       // "Unable to start Internet browser."
inline constexpr UINT kUpdateAboutTitleString = 4202;
inline constexpr UINT kUpdateAboutTextString = 4203;

void RegisterUpdateResources();

}  // namespace resources
