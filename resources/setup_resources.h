#pragma once
// The resources of the setup library: the licence agreement dialog, its soft-key
// bar, the licence text and the texts the installation shows.
// RegisterSetupResources puts them into the toolkit's resource table; call it
// before the dialog is made (again is harmless).

#include "platform/window_system.h"

namespace resources {

using platform::UINT;

inline constexpr UINT kLicenseDialog = 110;
inline constexpr UINT kLicenseMenuBar = 115;
inline constexpr UINT kLicenseAcceptCommand = 1;
inline constexpr UINT kLicenseDeclineCommand = 2;

// Licence dialog controls.
inline constexpr int kLicenseText = 1001;
inline constexpr int kLicenseProductLine = 1004;
inline constexpr int kLicenseHeading = 1048;
inline constexpr int kLicenseNotice = 1049;

// Strings.
inline constexpr UINT kSetupTitleString = 4100;         // "DictaloSetup"
inline constexpr UINT kSetupProductString = 4101;       // "Dictalo"
inline constexpr UINT kSetupMakerString = 4102;         // the maker's name, caption of the refusal
inline constexpr UINT kSetupNoticeString = 4103;        // the maker's notice line
inline constexpr UINT kLicenseTextString = 4104;        // the licence agreement (8-bit text)
inline constexpr UINT kLicenseErrorString = 4105;       // "License error"
inline constexpr UINT kWrongSystemString = 4106;        // "%s requires a Windows Mobile 5 system...."
inline constexpr UINT kProductLineString = 4107;        // "%s\r%s\rfor Windows Mobile 5/6"
inline constexpr UINT kLicenseHeadingString = 4108;
inline constexpr UINT kAcceptString = 4109;
inline constexpr UINT kDeclineString = 4110;

void RegisterSetupResources();

}  // namespace resources
