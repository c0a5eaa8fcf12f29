#include "update/update_window.h"

#include "platform/process.h"
#include "platform/text.h"
#include "resources/update_resources.h"
#include "toolkit/ce_base_dialog.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/display.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace update {
namespace {

namespace pw = platform;
using resources::kUpdateList;
using resources::kUpdateProgress;

constexpr pw::UINT kProgressLengthMessage = pw::WM_APP + 1;  // wParam: blocks in all
constexpr pw::UINT kProgressStepMessage = pw::WM_APP + 2;
constexpr pw::UINT kProgressTextMessage = pw::WM_APP + 3;    // the text waits in worker_text_
constexpr std::uintptr_t kCancelledTimer = 502;
constexpr std::uintptr_t kInstallTimer = 503;
constexpr std::uintptr_t kExitTimer = 504;
constexpr int kStatusHeight = 112;
constexpr int kIconSide = 32;
constexpr int kStatusTextLeft = 4 + kIconSide + 6;

bool InStatusArea(int id) {
  return id == resources::kUpdateStatusTitle || id == resources::kUpdateStatusText ||
         id == resources::kUpdateStatusBack || id == resources::kUpdateStatusIcon;
}

}  // namespace

toolkit::ListItemParts ListRowParts(const ListRow& row, const ProductEntry* entry, const UpdateConfig& config,
                                    std::u16string picture) {
  toolkit::ListItemParts parts;
  if (row.kind != ListRow::Kind::kProduct || !entry) {
    parts.heading = row.kind == ListRow::Kind::kHeading;
    parts.title = row.text;
    return parts;
  }
  parts.picture = std::move(picture);
  parts.title = ProductTitle(config.fmt_name, entry->record);
  parts.label = ProductLabel(*entry, config.options);
  parts.detail = entry->record.description;
  return parts;
}

class UpdateWindow::WorkerObserver : public DownloadObserver {
 public:
  WorkerObserver(UpdateWindow& window, pw::HWND hwnd) : window_(window), hwnd_(hwnd) {}
  void OnLength(long long length) override {
    long long blocks = length < 0 ? 0 : (length + kDownloadBlock - 1) / kDownloadBlock;
    pw::PostMessage(hwnd_, kProgressLengthMessage, static_cast<pw::WPARAM>(blocks), 0);
  }
  void OnBlock(std::uint64_t, std::uint64_t) override { pw::PostMessage(hwnd_, kProgressStepMessage, 0, 0); }
  void OnStatus(const std::u16string& text) override {
    {
      std::lock_guard lock(window_.mu_);
      window_.worker_text_ = text;
    }
    pw::PostMessage(hwnd_, kProgressTextMessage, 0, 0);
  }
  bool ConfirmCancel() override {
    return toolkit::MessageBoxW(hwnd_, toolkit::LoadStringW(resources::kUpdateCancelQuestionString),
                                window_.session_.config().app_title,
                                toolkit::MB_YESNO | toolkit::MB_ICONQUESTION) == toolkit::IDYES;
  }

 private:
  UpdateWindow& window_;
  pw::HWND hwnd_;
};

UpdateWindow::UpdateWindow(UpdateSession& session, const UserLibrary* library)
    : session_(session),
      library_(library),
      images_(session.config(), session.folder().empty() ? std::filesystem::path() : session.folder() / "images") {}

UpdateWindow::~UpdateWindow() {
  JoinWorker();
  for (auto& [colour, brush] : brushes_) toolkit::DeleteObject(brush);
  if (title_font_) toolkit::DeleteObject(title_font_);
}

std::u16string UpdateWindow::ClassName() { return CeWnd::ClassName(kUpdateWindowName); }

bool UpdateWindow::CreateMain() {
  resources::RegisterUpdateResources();
  if (!CeWnd::RegisterClassW(kUpdateWindowName, 0, 0, 0, 101, 101, 0, u"")) return false;
  return Create(ClassName(), session_.config().app_title, pw::WS_POPUP | pw::WS_VISIBLE, nullptr, nullptr, 0) != nullptr;
}

void UpdateWindow::OnCreate(pw::CREATESTRUCT*, bool& handled) {
  // Laid out in the window's own size (a handheld's screen by default), the
  // list ending above the soft-key bar.
  pw::HWND self = GetSafeHwnd();
  pw::RECT area{0, 0, pw::kDefaultScreenWidth, pw::kDefaultScreenHeight};
  pw::RECT client{};
  if (pw::GetClientRect(self, &client) && client.right > client.left && client.bottom > client.top) area = client;
  int width = area.right - area.left;
  int list_height = area.bottom - area.top - kStatusHeight - toolkit::kMenuBarHeight;
  constexpr pw::DWORD kStatic = pw::WS_CHILD | pw::WS_VISIBLE | toolkit::SS_NOPREFIX;
  // The coloured band first, so the icon and texts lie on it.
  pw::CreateWindowEx(0, toolkit::kStaticClass, u"", kStatic, 0, 0, width, kStatusHeight, self,
                     resources::kUpdateStatusBack, nullptr);
  pw::CreateWindowEx(0, toolkit::kStaticClass, u"", kStatic, 4, 4, kIconSide, kIconSide, self,
                     resources::kUpdateStatusIcon, nullptr);
  pw::HWND title = pw::CreateWindowEx(0, toolkit::kStaticClass, u"", kStatic, kStatusTextLeft, 4,
                                      width - kStatusTextLeft - 4, 20, self, resources::kUpdateStatusTitle, nullptr);
  pw::CreateWindowEx(0, toolkit::kStaticClass, u"", kStatic, kStatusTextLeft, 24, width - kStatusTextLeft - 4,
                     kStatusHeight - 26, self, resources::kUpdateStatusText, nullptr);
  title_font_ = toolkit::CreateFontW(-13, toolkit::FW_BOLD, false, u"");
  pw::SendMessage(title, toolkit::WM_SETFONT, reinterpret_cast<pw::WPARAM>(title_font_), 1);
  pw::CreateWindowEx(0, toolkit::kProgressClass, u"", pw::WS_CHILD, 4, kStatusHeight + 8, width - 8, 16, self,
                     kUpdateProgress, nullptr);
  pw::CreateWindowEx(0, toolkit::kListBoxClass, u"",
                     pw::WS_CHILD | pw::WS_VISIBLE | toolkit::WS_TABSTOP | toolkit::LBS_NOTIFY |
                         toolkit::LBS_OWNERDRAWVARIABLE | toolkit::LBS_HASSTRINGS,
                     0, kStatusHeight, width,
                     list_height, self, kUpdateList, nullptr);
  SetTimer(kStartTimer, 250);
  handled = true;
}

void UpdateWindow::Show(const StatusScreen& screen) {
  bool recolour = screen.colour != status_.colour;
  status_ = screen;
  SetDlgItemTextW(resources::kUpdateStatusTitle, screen.title);
  SetDlgItemTextW(resources::kUpdateStatusText, screen.text);
  std::u16string icon(StatusIconName(screen.icon));
  pw::SendMessage(GetDlgItem(resources::kUpdateStatusIcon), toolkit::STM_SETIMAGE, 0,
                  reinterpret_cast<pw::LPARAM>(icon.c_str()));
  if (recolour) {
    for (int id : {resources::kUpdateStatusBack, resources::kUpdateStatusIcon, resources::kUpdateStatusTitle,
                   resources::kUpdateStatusText})
      toolkit::InvalidateRect(GetDlgItem(id), nullptr, true);
  }
  if (screen.soft_keys) SetSoftKeys(screen.soft_keys);
}

toolkit::HBRUSH UpdateWindow::StatusBrush(toolkit::COLORREF colour) {
  auto found = brushes_.find(colour);
  if (found != brushes_.end()) return found->second;
  toolkit::HBRUSH brush = toolkit::CreateSolidBrush(colour);
  if (brush) brushes_.emplace(colour, brush);
  return brush;
}

platform::LRESULT UpdateWindow::OnCtlColorStatic(toolkit::HDC dc, pw::HWND control, bool& handled) {
  if (!InStatusArea(pw::GetDlgCtrlID(control)) || pw::GetParent(control) != GetSafeHwnd()) return 0;
  // Nothing shown yet: the window's own background.
  if (status_.title.empty()) return 0;
  // The colours are light: dark text reads on every one of them.
  toolkit::SetTextColor(dc, 0x000000);
  toolkit::SetBkColor(dc, status_.colour);
  handled = true;
  return reinterpret_cast<platform::LRESULT>(StatusBrush(status_.colour));
}

void UpdateWindow::SetSoftKeys(unsigned bar) {
  if (bar == kDownloadMenuBar && (session_.config().options & kHideBuyNow)) bar = resources::kUpdateDownloadNoBuyBar;
  if (bar_.GetWindow() && bar_id_ == bar) return;
  bar_.Destroy();
  bar_.Create(GetSafeHwnd(), bar);
  bar_id_ = bar;
}

void UpdateWindow::LoadList() {
  pw::SendMessage(GetDlgItem(kUpdateList), toolkit::LB_RESETCONTENT, 0, 0);
  list_ = session_.LoadList([this](const StatusScreen& s) { Show(s); },
                            [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
  if (list_.error == ListError::kNone && !list_.entries.empty()) FillList();
}

void UpdateWindow::FillList() {
  pw::HWND list = GetDlgItem(kUpdateList);
  pw::SendMessage(list, toolkit::LB_RESETCONTENT, 0, 0);
  int first_product = -1;
  int icon_size = IconSizeForDpi(toolkit::GetDisplayMetrics().device_dpi);
  for (const ListRow& row : list_.rows) {
    std::u16string text = row.text;
    const ProductEntry* entry = nullptr;
    std::u16string picture;
    if (row.kind == ListRow::Kind::kProduct) {
      entry = &list_.entries[row.entry];
      text = ProductTitle(session_.config().fmt_name, entry->record) + u"- " +
             ProductLabel(*entry, session_.config().options) + u"\r\n" + entry->record.description;
      if (auto file = images_.Fetch(entry->record, icon_size)) picture = platform::Utf8ToUtf16(file->string());
    }
    auto index = pw::SendMessage(list, toolkit::LB_ADDSTRING, 0, reinterpret_cast<pw::LPARAM>(text.c_str()));
    toolkit::ListItemParts parts = ListRowParts(row, entry, session_.config(), std::move(picture));
    pw::SendMessage(list, toolkit::LB_SETITEMPARTS, static_cast<pw::WPARAM>(index),
                    reinterpret_cast<pw::LPARAM>(&parts));
    pw::SendMessage(list, toolkit::LB_SETITEMDATA, static_cast<pw::WPARAM>(index),
                    static_cast<pw::LPARAM>(row.kind == ListRow::Kind::kProduct ? row.entry : -1));
    if (first_product < 0 && row.kind == ListRow::Kind::kProduct) first_product = static_cast<int>(index);
  }
  if (first_product >= 0) pw::SendMessage(list, toolkit::LB_SETCURSEL, static_cast<pw::WPARAM>(first_product), 0);
  SetSoftKeys(kDownloadMenuBar);
}

const ProductEntry* UpdateWindow::SelectedEntry() const {
  pw::HWND list = GetDlgItem(kUpdateList);
  auto index = pw::SendMessage(list, toolkit::LB_GETCURSEL, 0, 0);
  if (index < 0) return nullptr;
  auto entry = pw::SendMessage(list, toolkit::LB_GETITEMDATA, static_cast<pw::WPARAM>(index), 0);
  if (entry < 0 || static_cast<std::size_t>(entry) >= list_.entries.size()) return nullptr;
  return &list_.entries[static_cast<std::size_t>(entry)];
}

void UpdateWindow::StartDownload() {
  const ProductEntry* entry = SelectedEntry();
  if (!entry || downloading_) return;
  if (library_ && library_->OnProductDownload(GetSafeHwnd(), entry->record)) return;
  Show(screens::PreparingDownload());
  ::platform::ShowWindow(GetDlgItem(kUpdateList), pw::SW_HIDE);
  pw::HWND progress = GetDlgItem(kUpdateProgress);
  pw::SendMessage(progress, toolkit::PBM_SETRANGE32, 0, 0);
  pw::SendMessage(progress, toolkit::PBM_SETSTEP, 1, 0);
  pw::SendMessage(progress, toolkit::PBM_SETPOS, 0, 0);
  ::platform::ShowWindow(progress, pw::SW_SHOW);
  cancel_ = false;
  downloading_ = true;
  ProductEntry chosen = *entry;
  pw::HWND self = GetSafeHwnd();
  try {
    worker_ = std::thread([this, chosen, self] {
      WorkerObserver observer(*this, self);
      DownloadResult result = session_.DownloadProduct(chosen, cancel_, observer);
      {
        std::lock_guard lock(mu_);
        result_ = std::move(result);
      }
      pw::PostMessage(self, kDownloadEndedMessage, 0, 0);
    });
  } catch (const std::system_error&) {
    downloading_ = false;
    Show(screens::DownloadFailed());
  }
}

void UpdateWindow::OnDownloadEnded() {
  JoinWorker();
  downloading_ = false;
  DownloadResult result;
  {
    std::lock_guard lock(mu_);
    result = result_;
  }
  if (library_ && result.outcome == DownloadOutcome::kComplete) {
    if (auto handled = library_->OnDownloadComplete(GetSafeHwnd(), result.file.string())) {
      if (!*handled) Exit();
      return;
    }
  }
  switch (result.outcome) {
    case DownloadOutcome::kCancelled:
      Show(screens::Cancelled());
      SetTimer(kCancelledTimer, 3000);
      return;
    case DownloadOutcome::kFailed:
      Show(result.error == "digest" ? screens::PackageRefused() : screens::DownloadFailed());
      return;
    case DownloadOutcome::kComplete:
      Show(screens::DownloadComplete());
      SetTimer(kInstallTimer, 2000);
      return;
  }
}

void UpdateWindow::OnTimer(std::uintptr_t id, bool& handled) {
  handled = true;
  KillTimer(id);
  switch (id) {
    case kStartTimer:
      LoadList();
      break;
    case kCancelledTimer:
    case kExitTimer:
      Exit();
      break;
    case kInstallTimer: {
      DownloadResult result;
      {
        std::lock_guard lock(mu_);
        result = result_;
      }
      if (session_.StartInstall(result.file)) {
        SetTimer(kExitTimer, 1000);
      } else {
        Show(screens::InstallFailed());
      }
      break;
    }
    default:
      handled = false;
  }
}

platform::LRESULT UpdateWindow::OnCommand(pw::WPARAM wparam, pw::LPARAM lparam, bool& handled) {
  handled = true;
  switch (pw::LOWORD(wparam)) {
    case resources::kUpdateRetryCommand:
      LoadList();
      break;
    case resources::kUpdateDownloadCommand:
      StartDownload();
      break;
    case resources::kUpdateCancelCommand:
      cancel_ = true;
      break;
    case resources::kUpdateInfoCommand:
      if (const ProductEntry* e = SelectedEntry()) {
        if (!(library_ && library_->OnProductInfo(e->record))) OpenAddress(e->record.info_address);
      }
      break;
    case resources::kUpdateBuyCommand:
      if (const ProductEntry* e = SelectedEntry()) {
        if (!(library_ && library_->OnProductBuy(e->record))) OpenAddress(e->record.buy_address);
      }
      break;
    case resources::kUpdateAboutCommand:
      if (!(library_ && library_->AboutDialog(GetSafeHwnd()))) {
        toolkit::CeBaseDialog about;
        (void)about.DoModal(resources::kUpdateAboutDialog, GetSafeHwnd());  // only OK ends it
      }
      break;
    case resources::kUpdateExitCommand:
    case resources::kUpdateDoneCommand:
    case toolkit::IDOK:
      if (!downloading_) Exit();
      break;
    case kUpdateList:
      if (pw::HIWORD(wparam) == toolkit::LBN_DBLCLK) StartDownload();
      break;
    default:
      handled = false;
  }
  (void)lparam;
  return 0;
}

void UpdateWindow::OnKeyDown(pw::UINT key, pw::UINT, pw::UINT, bool& handled) {
  if (key == pw::VK_RETURN && SelectedEntry()) {
    StartDownload();
    handled = true;
  }
}

platform::LRESULT UpdateWindow::OnMessage(pw::UINT msg, pw::WPARAM wparam, pw::LPARAM lparam, bool& handled) {
  if (msg == pw::WM_CTLCOLORSTATIC)
    return OnCtlColorStatic(reinterpret_cast<toolkit::HDC>(wparam), reinterpret_cast<pw::HWND>(lparam), handled);
  pw::HWND progress = GetDlgItem(kUpdateProgress);
  switch (msg) {
    case kDownloadEndedMessage:
      OnDownloadEnded();
      break;
    case kProgressLengthMessage:
      pw::SendMessage(progress, toolkit::PBM_SETRANGE32, 0, static_cast<pw::LPARAM>(wparam));
      break;
    case kProgressStepMessage:
      pw::SendMessage(progress, toolkit::PBM_STEPIT, 0, 0);
      break;
    case kProgressTextMessage: {
      std::u16string text;
      {
        std::lock_guard lock(mu_);
        text = worker_text_;
      }
      SetDlgItemTextW(resources::kUpdateStatusText, text);
      break;
    }
    default:
      return 0;
  }
  handled = true;
  return 0;
}

void UpdateWindow::OpenAddress(const std::u16string& address) {
  if (address.empty() || !pw::OpenWithDefaultViewer(pw::Utf16ToUtf8(address))) {
    (void)toolkit::MessageBoxW(GetSafeHwnd(), toolkit::LoadStringW(resources::kUpdateNoBrowserString),
                               session_.config().app_title, toolkit::MB_OK | toolkit::MB_ICONERROR);  // OK only
  }
}

void UpdateWindow::OnClose(bool& handled) {
  handled = true;
  if (!downloading_) Exit();
}

void UpdateWindow::Exit() { DestroyWindow(); }

void UpdateWindow::OnDestroy(bool& handled) {
  // A download still running stops at its next block.
  cancel_ = true;
  JoinWorker();
  bar_.Destroy();
  pw::PostQuitMessage(0);
  handled = true;
}

void UpdateWindow::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace update
