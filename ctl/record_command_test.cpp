// dictaloctl record and send in-process, on a temporary home: what they print,
// their exit codes, and where the note lands in the file and mail modes.

#include "ctl/record_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "ctl/send_command.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "tests/support/test_environment.h"

namespace ctl {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

class RecordCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DICTALO_AUDIO_INPUT", ("file:" + (testing_support::SourceDir() / "samples" / "voice-note.wav").string()).c_str(), 1);
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
    notes_ = home_.root() / "notes";
  }
  void TearDown() override {
    unsetenv("DICTALO_AUDIO_INPUT");
    unsetenv("DICTALO_AUDIO_OUTPUT");
  }
  void Configure(settings::SendMode mode) {
    settings::AppSettings s;
    s.Load();
    s.notes_send_mode = mode;
    s.note_file_path = platform::Utf8ToUtf16(notes_.string());
    s.show_save_info = false;
    s.play_sound = false;
    s.send_to_address = u"bob@example.org";
    s.smtp_host = "127.0.0.1";
    s.smtp_port = 28999;  // nothing listens here
    ASSERT_TRUE(s.Save());
  }
  Outcome Record(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int code = RunRecordCommand(u"", args, out, err);
    return {code, out.str(), err.str()};
  }
  Outcome Send(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int code = RunSendCommand(u"", args, out, err);
    return {code, out.str(), err.str()};
  }
  std::vector<fs::path> Notes() const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::directory_iterator(notes_, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
      files.push_back(it->path());
    return files;
  }

  testing_support::ScopedTestHome home_;
  fs::path notes_;
};

TEST_F(RecordCommandTest, BadUsageRecordsNothing) {
  Configure(settings::SendMode::SaveAsFile);
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--seconds", "-1"}, {"--seconds", "5x"}, {"--seconds", ""}, {"--seconds"}, {"--loud"}, {"--seconds", "99999999"}}) {
    Outcome r = Record(args);
    EXPECT_EQ(r.code, 2) << args.size();
    EXPECT_NE(r.err.find("dictaloctl record"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(Notes().empty());
  EXPECT_EQ(Send({}).code, 2);
  EXPECT_EQ(Send({(home_.root() / "missing.wav").string()}).code, 2);
  EXPECT_EQ(Send({"a.wav", "b.wav"}).code, 2);
}

// What a new user runs first: no settings at all. The note goes to the
// messaging store's outgoing folder (or its Drafts for a save) and the run says
// where, with exit 0.
TEST_F(RecordCommandTest, FirstStartDefaultsHandTheNoteToTheMessagingStore) {
  auto messages = [&](const char* folder) {
    std::size_t n = 0;
    for (const char* part : {"new", "cur"}) {
      std::error_code ec;
      for (auto it = fs::directory_iterator(home_.data_home() / "dictalo" / "ActiveSync" / folder / part, ec);
           !ec && it != fs::directory_iterator(); it.increment(ec))
        ++n;
    }
    return n;
  };
  Outcome sent = Record({"--seconds", "1"});
  EXPECT_EQ(sent.code, 0) << sent.out << sent.err;
  EXPECT_NE(sent.out.find("through the messaging store"), std::string::npos) << sent.out;
  EXPECT_EQ(messages(".Outbox"), 1u);
  Outcome saved = Record({"--seconds", "1", "--save"});
  EXPECT_EQ(saved.code, 0) << saved.out << saved.err;
  EXPECT_NE(saved.out.find("Note saved in the Drafts of the messaging store"), std::string::npos) << saved.out;
  EXPECT_EQ(messages(".Drafts"), 1u);
}

TEST_F(RecordCommandTest, FileModesKeepTheNoteAsAFile) {
  Configure(settings::SendMode::SaveAsFile);
  Outcome r = Record({"--seconds", "1"});
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_EQ(r.out.rfind("Press the hotkey again to stop the recording\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("  Recording: 00:00, "), std::string::npos) << r.out;
  auto notes = Notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(r.out.find("Note saved as " + notes[0].string() + "\n"), std::string::npos) << r.out;
  EXPECT_GT(fs::file_size(notes[0]), 11025u / 2);

  // An existing file is kept as a copy in the notes folder; the file stays.
  fs::path mine = home_.root() / "mine.wav";
  fs::copy_file(notes[0], mine);
  Outcome sent = Send({mine.string()});
  EXPECT_EQ(sent.code, 0) << sent.out << sent.err;
  EXPECT_EQ(Notes().size(), 2u);
  EXPECT_TRUE(fs::exists(mine));
}

TEST_F(RecordCommandTest, MailModeSavesToTheOutboxAndReportsAFailedSend) {
  Configure(settings::SendMode::MailServer);
  Outcome saved = Record({"--seconds", "1", "--save"});
  EXPECT_EQ(saved.code, 0) << saved.out << saved.err;
  EXPECT_NE(saved.out.find("Saving...\n"), std::string::npos) << saved.out;
  EXPECT_NE(saved.out.find("Note saved in the Outbox (1 waiting)\n"), std::string::npos) << saved.out;

  // The server is down: the send fails, says so, and both notes wait.
  Outcome failed = Record({"--seconds", "1"});
  EXPECT_EQ(failed.code, 1) << failed.out;
  EXPECT_NE(failed.out.find("Sending to bob@example.org...\n"), std::string::npos) << failed.out;
  EXPECT_NE(failed.out.find("Note not sent; it waits in the Outbox (2 waiting)\n"), std::string::npos) << failed.out;
  EXPECT_NE(failed.err.find("Connection Error: Please check your internet connection and mail server settings.\n"),
            std::string::npos)
      << failed.err;
  EXPECT_NE(failed.err.find("*** Critical Error: 0x80C00013"), std::string::npos) << failed.err;
  EXPECT_TRUE(Notes().empty());  // the notes are in the Outbox, not kept as files

  fs::path mine = home_.root() / "mine.wav";
  testing_support::WriteFileBytes(mine, std::string(4000, 'x'));
  Outcome again = Send({mine.string()});
  EXPECT_EQ(again.code, 1);
  EXPECT_NE(again.out.find("(3 waiting)"), std::string::npos) << again.out;
  Outcome kept = Send({mine.string(), "--save"});
  EXPECT_EQ(kept.code, 0) << kept.out << kept.err;
  EXPECT_NE(kept.out.find("Note saved in the Outbox (4 waiting)\n"), std::string::npos) << kept.out;
}

}  // namespace
}  // namespace ctl
