#pragma once
// NoteOutcome: where a note handed to the session or the delivery went. Taken
// before the hand-over (the Outbox count, the notes folder, the log's length)
// and compared after it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <vector>

namespace settings {
class AppSettings;
}

namespace ctl {

class NoteOutcome {
 public:
  // `settings` outlives this object.
  explicit NoteOutcome(const settings::AppSettings& settings);

  // Prints one line on `out` saying where the note went, and on failure the
  // activity log lines of the attempt on `err`. `error_boxes`: error boxes the
  // user saw meanwhile. Returns the exit code: 0 when the note is where the
  // stop asked for (sent; in the Outbox for a save; a file in the file modes;
  // in the ActiveSync store's outgoing folder, or its Drafts for a save).
  int Report(bool save, std::size_t error_boxes, std::ostream& out, std::ostream& err) const;

 private:
  const settings::AppSettings& settings_;
  std::filesystem::path install_dir_;
  std::filesystem::path notes_dir_;
  long outbox_before_;
  std::vector<std::filesystem::path> notes_before_;
  std::uintmax_t log_before_;
  std::size_t store_outgoing_before_;
  std::size_t store_drafts_before_;
};

}  // namespace ctl
