#pragma once
// Where the program keeps and finds its files. Every folder the program uses is
// mapped here and nowhere else, so a test that points HOME and the XDG variables
// at a temporary directory isolates everything.

#include <filesystem>

namespace platform::folders {

// The installation folder: settings, activity log and outbox volume.
// $XDG_DATA_HOME/dictalo (default ~/.local/share/dictalo). Not created here.
std::filesystem::path InstallDir();

// The registry hives: $XDG_CONFIG_HOME/dictalo (default ~/.config/dictalo).
std::filesystem::path ConfigDir();

// The personal folder ("My Documents"): XDG_DOCUMENTS_DIR from the environment or
// from $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Documents.
std::filesystem::path PersonalDir();

// The program's share folder (cue sounds, help page): $DICTALO_SHARE_DIR when set,
// else <executable dir>/../share/dictalo, else the resources folder of the build tree.
std::filesystem::path WindowsDir();

// The Programs folder, where shortcuts (.desktop files) live: $XDG_DATA_HOME/applications.
std::filesystem::path ProgramsDir();

// The temporary folder: $TMPDIR, else /tmp.
std::filesystem::path TempDir();

// A folder of the temporary folder that only this user can enter
// ("dictalo-notes-<uid>", mode 0700), for temporary notes and playback copies,
// which hold the user's speech. When that name is taken by something else (a
// link, another user's folder) a private folder in the installation folder
// serves instead; empty when neither can be had.
std::filesystem::path PrivateTempDir();

// Per-user runtime folder for sockets: $XDG_RUNTIME_DIR, else /tmp/dictalo-<uid>
// (created with mode 0700 when missing). Empty, with a line on stderr, when that
// fallback cannot be created or belongs to another user.
std::filesystem::path RuntimeDir();

// The folder holding the running executable.
std::filesystem::path ExecutableDir();

}  // namespace platform::folders
