// The unsent-notes dialogs on real volume files without a display: the list's
// rows and selection, Save As with its replace question and a vanished folder,
// Delete with its question (also pressed again while the question is open,
// and on a note that the command line deleted meanwhile), the note view's
// text and Play pressed while playing, and the conversion question.

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "delivery/delivery_job_test_support.h"
#include "delivery/dialogs/note_view_dialog.h"
#include "delivery/dialogs/notes_commands.h"
#include "delivery/dialogs/notes_list_dialog.h"
#include "delivery/dialogs/wait_cursor.h"
#include "delivery/peer_test_support.h"
#include "platform/http_client_test_support.h"
#include "platform/text.h"
#include "resources/notes_resources.h"
#include "storage/delivery_volume.h"
#include "toolkit/common_controls.h"
#include "toolkit/headless_renderer.h"
#include "toolkit/message_box.h"
#include "toolkit/renderer.h"

namespace delivery::dialogs {
namespace {

namespace fs = std::filesystem;
using platform::Utf16ToUtf8;

// Answers boxes from a queue (then with the default button) and keeps what
// they said; `during` runs inside the next box, as a second click would.
class FakeMessageBoxes : public toolkit::MessageBoxPresenter {
 public:
  toolkit::MessageBoxAnswer Present(const toolkit::MessageBoxRequest& request) override {
    boxes.push_back(request);
    if (during) {
      auto hook = std::move(during);
      during = nullptr;
      hook();
    }
    int answer = request.default_button;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    return {answer, false};
  }
  std::string Text(std::size_t i) const { return i < boxes.size() ? Utf16ToUtf8(boxes[i].text) : ""; }
  std::vector<toolkit::MessageBoxRequest> boxes;
  std::deque<int> answers;
  std::function<void()> during;
};

class NotesDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(dynamic_cast<toolkit::HeadlessRenderer*>(toolkit::InitRenderer()), nullptr);
    resources::RegisterNotesResources();
    previous_ = toolkit::SetMessageBoxPresenter(&boxes_);
    settings_ = test::JobSettings(home_.root());
  }
  void TearDown() override { toolkit::SetMessageBoxPresenter(previous_); }

  fs::path Install() const { return home_.root() / "install"; }
  fs::path Volume() const { return storage::DeliveryVolumePath(Install()); }

  // A note with a recording named `file_name` holding `bytes`.
  storage::RecordId AddNote(const std::u16string& to, const std::u16string& subject, const std::string& file_name,
                            const std::string& bytes) {
    auto opened = storage::OpenDeliveryStorage(Install(), nullptr);
    EXPECT_TRUE(opened.storage);
    auto* drafts = opened.storage->GetFolder(storage::FolderType::kDrafts);
    std::unique_ptr<storage::CElDBMimeMessage> message;
    EXPECT_EQ(drafts->CreateMessage(&message), storage::kStorageOk);
    mime::NoteMessageRequest request;
    request.from = u"notes@example.org";
    request.to = to;
    request.subject = subject;
    request.attachments.push_back({test::WriteNote(home_.root() / "scratch", file_name, bytes), "audio/ogg"});
    EXPECT_EQ(mime::BuildMessage(mime::ComposeNoteMessage(request), &message->mime()), mime::kMimeOk);
    EXPECT_EQ(message->Save(mime::NoteWriteOptions()), storage::kStorageOk);
    EXPECT_EQ(drafts->MoveMessage(message->id(), *opened.storage->GetFolder(storage::FolderType::kOutbox)),
              storage::kStorageOk);
    return message->id();
  }

  std::vector<storage::RecordId> Ids() const {
    std::vector<storage::RecordId> ids;
    for (const PendingNote& note : ListPendingNotes(settings_)) ids.push_back(note.id);
    return ids;
  }

  toolkit::HeadlessFileDialogPresenter& FileDialogs() {
    return static_cast<toolkit::HeadlessRenderer*>(toolkit::CurrentRenderer())->HeadlessFileDialogs();
  }

  static void Command(platform::HWND dialog, platform::UINT id) {
    platform::SendMessage(dialog, platform::WM_COMMAND, platform::MAKEWPARAM(static_cast<std::uint16_t>(id), 0), 0);
  }

  testing_support::ScopedTestHome home_;
  settings::AppSettings settings_;
  FakeMessageBoxes boxes_;
  toolkit::MessageBoxPresenter* previous_ = nullptr;
};

// The list dialog made modeless, so that the test can act on it like a user.
class OpenList {
 public:
  explicit OpenList(NotesListDialog& dialog) : dialog_(dialog) {
    hwnd_ = dialog_.Create(resources::kNotesListDialog, nullptr);
  }
  ~OpenList() {
    if (platform::IsWindow(hwnd_)) platform::DestroyWindow(hwnd_);
  }
  platform::HWND hwnd() const { return hwnd_; }

 private:
  NotesListDialog& dialog_;
  platform::HWND hwnd_;
};

TEST_F(NotesDialogsTest, ListShowsOneRowPerNoteNewestFirstWithTheTopRowSelected) {
  storage::RecordId first = AddNote(u"ann@example.org", u"One", "a.ogg", std::string(700, 'a'));
  storage::RecordId second = AddNote(u"bob@example.org", u"Two", "b.ogg", std::string(3000, 'b'));
  NotesListDialog dialog(settings_);
  OpenList open(dialog);
  ASSERT_TRUE(open.hwnd());
  platform::HWND list = platform::GetDlgItem(open.hwnd(), resources::kNotesListView);
  ASSERT_TRUE(list);
  EXPECT_EQ(platform::GetWindowText(open.hwnd()), u"Voice Notes List");
  EXPECT_EQ(platform::SendMessage(list, toolkit::LVM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(platform::SendMessage(list, toolkit::LVM_GETCOLUMNCOUNT, 0, 0), 3);
  EXPECT_EQ(platform::SendMessage(list, toolkit::LVM_GETCOLUMNWIDTH, 0, 0), resources::kDateColumnWidth);
  EXPECT_NE(platform::SendMessage(list, toolkit::LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & toolkit::LVS_EX_FULLROWSELECT, 0);
  ASSERT_EQ(dialog.rows().size(), 2u);
  EXPECT_EQ(dialog.rows()[0].id, second);
  EXPECT_EQ(dialog.rows()[1].id, first);
  EXPECT_EQ(dialog.SelectedRow(), 0);
  char16_t text[64] = {};
  toolkit::LVITEMW cell;
  cell.iSubItem = 2;
  cell.pszText = text;
  cell.cchTextMax = 64;
  platform::SendMessage(list, toolkit::LVM_GETITEMTEXTW, 0, reinterpret_cast<platform::LPARAM>(&cell));
  EXPECT_EQ(std::u16string(text), u"bob@example.org");
  EXPECT_EQ(dialog.rows()[0].size, PendingNoteSizeText(ListPendingNotes(settings_)[1].size));
}

TEST_F(NotesDialogsTest, SaveAsAsksForANameAndAsksBeforeReplacingAFile) {
  AddNote(u"ann@example.org", u"One", "my:note?.ogg", "first recording");
  fs::path folder = home_.root() / "saved";
  fs::create_directories(folder);
  fs::path target = folder / "kept.ogg";
  std::u16string chosen = platform::Utf8ToUtf16(target.string());
  FileDialogs().SetAnswers({chosen, chosen, chosen});
  std::size_t before = FileDialogs().Requests().size();  // the renderer is the process's
  NotesListDialog dialog(settings_);
  OpenList open(dialog);

  Command(open.hwnd(), resources::kSaveNoteCommand);
  std::vector<toolkit::FileDialogRequest> asked = FileDialogs().Requests();
  asked.erase(asked.begin(), asked.begin() + static_cast<std::ptrdiff_t>(before));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].owner, open.hwnd());
  EXPECT_EQ(asked[0].title, u"Save Note As");
  EXPECT_EQ(asked[0].filter, u"All Files (*.*)|*.*||");
  EXPECT_EQ(asked[0].initial_name, u"my.note..ogg");
  EXPECT_EQ(asked[0].max_path, 300u);
  EXPECT_TRUE(asked[0].save);
  EXPECT_TRUE(boxes_.boxes.empty()) << "no question for a new file";
  EXPECT_EQ(testing_support::ReadFileBytes(target), "first recording");

  // The file is there now: No keeps it as it is, Yes replaces it.
  testing_support::WriteFileBytes(target, "something else");
  boxes_.answers = {toolkit::IDNO};
  Command(open.hwnd(), resources::kSaveNoteCommand);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.Text(0),
            "This folder already contains a file named 'kept.ogg'. Would you like to replace the existing file?");
  EXPECT_EQ(boxes_.boxes[0].type & toolkit::MB_TYPEMASK, toolkit::MB_YESNO);
  EXPECT_EQ(testing_support::ReadFileBytes(target), "something else");
  boxes_.answers = {toolkit::IDYES};
  Command(open.hwnd(), resources::kSaveNoteCommand);
  EXPECT_EQ(testing_support::ReadFileBytes(target), "first recording");
  EXPECT_EQ(Ids().size(), 1u) << "saving keeps the note unsent";
}

TEST_F(NotesDialogsTest, SaveAsIntoAFolderThatVanishedSaysSoAndKeepsTheNote) {
  AddNote(u"ann@example.org", u"One", "a.ogg", "recording");
  fs::path gone = home_.root() / "gone";
  fs::path target = gone / "a.ogg";
  // Chosen in the dialog, removed before the write.
  FileDialogs().SetAnswers({platform::Utf8ToUtf16(target.string()), std::nullopt});
  std::size_t before = FileDialogs().Requests().size();
  NotesListDialog dialog(settings_);
  OpenList open(dialog);
  Command(open.hwnd(), resources::kSaveNoteCommand);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_NE(boxes_.Text(0).find("could not be saved"), std::string::npos) << boxes_.Text(0);
  EXPECT_NE(boxes_.Text(0).find(target.string()), std::string::npos);
  EXPECT_EQ(boxes_.boxes[0].type & toolkit::MB_ICONMASK, toolkit::MB_ICONERROR);
  EXPECT_FALSE(fs::exists(gone));
  EXPECT_EQ(Ids().size(), 1u);

  Command(open.hwnd(), resources::kSaveNoteCommand);
  EXPECT_EQ(FileDialogs().Requests().size(), before + 2);
  EXPECT_EQ(boxes_.boxes.size(), 1u) << "a cancelled save dialog says nothing";
}

TEST_F(NotesDialogsTest, DeleteAsksAndDeletesTheSelectedNoteOnlyOnYes) {
  storage::RecordId first = AddNote(u"ann@example.org", u"One", "a.ogg", "1");
  storage::RecordId second = AddNote(u"bob@example.org", u"Two", "b.ogg", "2");
  storage::RecordId third = AddNote(u"cy@example.org", u"Three", "c.ogg", "3");
  NotesListDialog dialog(settings_);
  OpenList open(dialog);

  boxes_.answers = {toolkit::IDNO};
  Command(open.hwnd(), resources::kDeleteNoteCommand);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.Text(0), "Are you sure you want to delete selected note?");
  EXPECT_EQ(boxes_.boxes[0].type & toolkit::MB_ICONMASK, toolkit::MB_ICONQUESTION);
  EXPECT_EQ(Ids().size(), 3u);

  // The second row, then Yes.
  toolkit::PostUserSelect(platform::GetDlgItem(open.hwnd(), resources::kNotesListView), 1);
  platform::MSG msg;
  while (platform::PeekMessage(&msg)) platform::DispatchMessage(msg);
  ASSERT_EQ(dialog.SelectedRow(), 1);
  boxes_.answers = {toolkit::IDYES};
  Command(open.hwnd(), resources::kDeleteNoteCommand);
  EXPECT_EQ(Ids(), (std::vector<storage::RecordId>{first, third}));
  ASSERT_EQ(dialog.rows().size(), 2u);
  EXPECT_EQ(dialog.SelectedRow(), 1) << "the row that took its place";
  EXPECT_EQ(dialog.rows()[1].id, first);
  (void)second;
}

TEST_F(NotesDialogsTest, DeletePressedAgainWhileItsQuestionIsOpenDeletesOneNote) {
  AddNote(u"ann@example.org", u"One", "a.ogg", "1");
  AddNote(u"bob@example.org", u"Two", "b.ogg", "2");
  NotesListDialog dialog(settings_);
  OpenList open(dialog);
  boxes_.answers = {toolkit::IDYES, toolkit::IDYES};
  boxes_.during = [&] { Command(open.hwnd(), resources::kDeleteNoteCommand); };
  Command(open.hwnd(), resources::kDeleteNoteCommand);
  EXPECT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(Ids().size(), 1u);
}

TEST_F(NotesDialogsTest, ANoteDeletedFromTheCommandLineMeanwhileIsNotConfusedWithAnother) {
  storage::RecordId first = AddNote(u"ann@example.org", u"One", "a.ogg", "1");
  storage::RecordId second = AddNote(u"bob@example.org", u"Two", "b.ogg", "2");
  NotesListDialog dialog(settings_);
  OpenList open(dialog);
  ASSERT_EQ(dialog.rows()[0].id, second);
  // What "dictaloctl outbox delete 2" does while the list is open.
  ASSERT_TRUE(DeletePendingNote(settings_, second));

  boxes_.answers = {toolkit::IDYES};
  Command(open.hwnd(), resources::kDeleteNoteCommand);
  EXPECT_EQ(Ids(), std::vector<storage::RecordId>{first}) << "the other note stays";
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  EXPECT_EQ(boxes_.Text(1), "This note is no longer among the unsent notes.");
  ASSERT_EQ(dialog.rows().size(), 1u) << "the list was filled again";
  EXPECT_EQ(dialog.rows()[0].id, first);

  // Open and Save As on a vanished note say the same and open nothing.
  ASSERT_TRUE(DeletePendingNote(settings_, first));
  Command(open.hwnd(), resources::kOpenNoteCommand);
  EXPECT_EQ(boxes_.Text(2), "This note is no longer among the unsent notes.");
  EXPECT_TRUE(dialog.rows().empty());
  Command(open.hwnd(), resources::kSaveNoteCommand);
  EXPECT_EQ(boxes_.boxes.size(), 3u) << "nothing selected, nothing asked";
}

TEST_F(NotesDialogsTest, OpenShowsTheNoteViewWithItsFieldsAndInformation) {
  // A two-second WAV: 8-bit mono 11025 Hz.
  std::string wav = "RIFF" + std::string("\x00\x00\x00\x00", 4) + "WAVEfmt " + std::string("\x10\0\0\0\x01\0\x01\0", 8) +
                    std::string("\x11\x2b\0\0\x11\x2b\0\0\x01\0\x08\0", 12) + "data" +
                    std::string("\x22\x56\0\0", 4) + std::string(22050, '\x80');
  AddNote(u"ann@example.org", u"Shopping", "note.wav", wav);
  PendingNote note = ListPendingNotes(settings_).at(0);
  NotesListDialog dialog(settings_);
  OpenList open(dialog);

  // The user reads the note view and closes it.
  std::string seen_subject, seen_to, seen_from, seen_info;
  std::thread user([&] {
    platform::HWND view = nullptr;
    for (int i = 0; i < 400 && !view; ++i) {
      view = platform::FindWindow(u"Dialog", std::u16string_view(u"Voice Note Edit"));
      if (!view) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!view) return;
    // The window exists before its fields are filled: wait for the last one.
    for (int i = 0; i < 400; ++i) {
      if (!platform::GetWindowText(platform::GetDlgItem(view, resources::kNoteInfoText)).empty()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    seen_subject = Utf16ToUtf8(platform::GetWindowText(platform::GetDlgItem(view, resources::kNoteSubjectField)));
    seen_to = Utf16ToUtf8(platform::GetWindowText(platform::GetDlgItem(view, resources::kNoteToField)));
    seen_from = Utf16ToUtf8(platform::GetWindowText(platform::GetDlgItem(view, resources::kNoteFromField)));
    seen_info = Utf16ToUtf8(platform::GetWindowText(platform::GetDlgItem(view, resources::kNoteInfoText)));
    platform::PostMessage(view, platform::WM_COMMAND, toolkit::IDCANCEL, 0);
  });
  Command(open.hwnd(), resources::kOpenNoteCommand);
  user.join();
  EXPECT_EQ(seen_subject, "Shopping");
  EXPECT_EQ(seen_to, "ann@example.org");
  EXPECT_EQ(seen_from, "notes@example.org");
  EXPECT_EQ(seen_info, "Encoding: WAV\nSize: " + Utf16ToUtf8(PendingNoteSizeText(note.size)) +
                           "\nLength: 0:02\nDate: " + Utf16ToUtf8(PendingNoteDateText(note.date)));
}

TEST_F(NotesDialogsTest, PlayWhilePlayingIsIgnoredAndDeleteFromTheViewAsksFirst) {
  AddNote(u"ann@example.org", u"One", "a.ogg", "recording");
  PendingNote note = ListPendingNotes(settings_).at(0);
  std::mutex mu;
  std::condition_variable cv;
  bool release = false;
  int plays = 0;
  std::string played;
  NoteViewDialog view(settings_, note, [&](std::u16string_view, std::span<const std::uint8_t> content,
                                           const audio::BusyIndicator&) {
    std::unique_lock<std::mutex> lock(mu);
    ++plays;
    played.assign(content.begin(), content.end());
    cv.wait(lock, [&] { return release; });
    return true;
  });
  platform::HWND hwnd = view.Create(resources::kNoteViewDialog, nullptr);
  ASSERT_TRUE(hwnd);
  platform::HWND button = platform::GetDlgItem(hwnd, resources::kNotePlayButton);

  Command(hwnd, resources::kPlayNoteCommand);
  EXPECT_TRUE(view.playing());
  EXPECT_FALSE(platform::IsWindowEnabled(button));
  Command(hwnd, resources::kNotePlayButton);
  Command(hwnd, resources::kPlayNoteCommand);
  {
    std::lock_guard<std::mutex> hold(mu);
    release = true;
  }
  cv.notify_all();
  platform::MSG msg;
  for (int i = 0; i < 500 && view.playing(); ++i) {
    while (platform::PeekMessage(&msg)) platform::DispatchMessage(msg);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(view.playing());
  EXPECT_EQ(plays, 1);
  EXPECT_EQ(played, "recording");
  EXPECT_TRUE(platform::IsWindowEnabled(button));

  boxes_.answers = {toolkit::IDNO};
  Command(hwnd, resources::kDeleteNoteCommand);
  EXPECT_EQ(boxes_.Text(0), "Are you sure you want to delete opened note?");
  EXPECT_EQ(Ids().size(), 1u);
  boxes_.answers = {toolkit::IDYES};
  Command(hwnd, resources::kDeleteNoteCommand);
  EXPECT_TRUE(Ids().empty());
  EXPECT_FALSE(platform::IsWindow(hwnd)) << "the view closes with its note";
}

TEST_F(NotesDialogsTest, ConversionQuestionTextsAndNoDoesNothing) {
  AddNote(u"ann@example.org", u"Call Ann", "a.ogg", "1");
  boxes_.answers = {toolkit::IDNO, toolkit::IDNO};
  EXPECT_FALSE(OfferPendingNotesConversion(nullptr, settings_, settings::SendMode::ActiveSync));
  EXPECT_FALSE(OfferPendingNotesConversion(nullptr, settings_, settings::SendMode::SaveAsFile));
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  EXPECT_EQ(boxes_.Text(0), "There are unsent notes on your PDA. Do you want to save them as ActiveSync messages?");
  EXPECT_EQ(boxes_.Text(1), "There are unsent notes on your PDA. Do you want to save them as files?");
  for (const auto& box : boxes_.boxes) {
    EXPECT_EQ(Utf16ToUtf8(box.caption), "Dictalo");
    EXPECT_EQ(box.type & toolkit::MB_TYPEMASK, toolkit::MB_YESNO);
    EXPECT_EQ(box.type & toolkit::MB_ICONMASK, toolkit::MB_ICONQUESTION);
  }
  EXPECT_EQ(Ids().size(), 1u);
  EXPECT_TRUE(fs::exists(Volume()));
  EXPECT_FALSE(fs::exists(home_.root() / "notes"));
  // Modes that convert nothing ask nothing.
  EXPECT_FALSE(OfferPendingNotesConversion(nullptr, settings_, settings::SendMode::MailServer));
  EXPECT_EQ(boxes_.boxes.size(), 2u);
}

TEST_F(NotesDialogsTest, ConversionToFilesOnYesWritesOneFilePerNoteAndRemovesTheVolume) {
  AddNote(u"ann@example.org", u"Call Ann", "a.ogg", "first");
  AddNote(u"bob@example.org", u"Buy milk", "b.ogg", "second");
  boxes_.answers = {toolkit::IDYES};
  auto result = OfferPendingNotesConversion(nullptr, settings_, settings::SendMode::SaveAsFile);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->converted, 2u);
  EXPECT_EQ(boxes_.boxes.size(), 1u);
  fs::path notes = home_.root() / "notes";
  EXPECT_EQ(testing_support::ReadFileBytes(notes / "Call Ann.ogg"), "first");
  EXPECT_EQ(testing_support::ReadFileBytes(notes / "Buy milk.ogg"), "second");
  EXPECT_EQ(test::Files(notes).size(), 2u);
  EXPECT_FALSE(fs::exists(Volume()));
  // No notes left: nothing to ask.
  EXPECT_FALSE(OfferPendingNotesConversion(nullptr, settings_, settings::SendMode::SaveAsFile));
  EXPECT_EQ(boxes_.boxes.size(), 1u);
}

TEST_F(NotesDialogsTest, WebResendRunsUnderTheWaitCursorAndTellsOfARefusal) {
  settings_.notes_send_mode = settings::SendMode::WebService;
  settings_.use_smtp_for_web = false;
  testing_support::HttpReceiver receiver;
  PendingNotesOptions options;
  options.web.url = receiver.Url();
  options.web.timeout = std::chrono::seconds(20);
  std::vector<bool> cursor;
  WaitCursorHandler previous = SetWaitCursorHandler([&](bool busy) { cursor.push_back(busy); });
  AddNote(u"ann@example.org", u"One", "a.ogg", "1");

  receiver.SetReply("200", "1");
  ResendResult refused = ResendPendingNotesFor(nullptr, settings_, options);
  EXPECT_TRUE(refused.web_upload);
  EXPECT_FALSE(refused.succeeded);
  EXPECT_EQ(cursor, (std::vector<bool>{true, false}));
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_NE(boxes_.Text(0).find("did not accept"), std::string::npos);
  EXPECT_EQ(Ids().size(), 1u);

  receiver.SetReply("200", "0");
  ResendResult accepted = ResendPendingNotesFor(nullptr, settings_, options);
  EXPECT_TRUE(accepted.succeeded);
  EXPECT_EQ(boxes_.boxes.size(), 1u) << "success says nothing";
  EXPECT_TRUE(Ids().empty());
  EXPECT_EQ(receiver.RequestCount(), 2);
  SetWaitCursorHandler(std::move(previous));
}

}  // namespace
}  // namespace delivery::dialogs
