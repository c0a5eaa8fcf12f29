#pragma once
// The utility's window: a status area (title, text, background colour), a
// progress bar (201) and the product list (203) above a soft-key bar. It loads
// the list when its start timer fires, downloads the chosen product on a worker
// thread, and hands the package to the installer.
//
// The worker reports to the window only by posted messages; the window joins it
// when it ends (message 1025) or when the window goes.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include <map>

#include "toolkit/ce_wnd.h"
#include "toolkit/common_controls.h"
#include "toolkit/gdi.h"
#include "toolkit/menu_bar.h"
#include "update/product_images.h"
#include "update/update_session.h"
#include "update/user_library.h"

namespace update {

inline constexpr std::u16string_view kUpdateWindowName = u"TARNUPDATE";
inline constexpr platform::UINT kDownloadEndedMessage = 1025;
inline constexpr std::uintptr_t kStartTimer = 501;

// What the owner-drawn list shows for a row: a heading, a note, or a product
// (entry given) with its picture file (empty: none), its title from "FmtName",
// its label and its description.
toolkit::ListItemParts ListRowParts(const ListRow& row, const ProductEntry* entry, const UpdateConfig& config,
                                    std::u16string picture);

class UpdateWindow : public toolkit::CeWnd {
 public:
  UpdateWindow(UpdateSession& session, const UserLibrary* library);
  ~UpdateWindow() override;

  // The window class name others find the running utility by.
  static std::u16string ClassName();
  // Registers the class and makes the visible window; false when it cannot.
  bool CreateMain();

  const StatusScreen& status() const { return status_; }
  unsigned soft_keys() const { return bar_id_; }
  bool downloading() const { return downloading_; }

  void OnCreate(platform::CREATESTRUCT* create, bool& handled) override;
  platform::LRESULT OnCommand(platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;
  void OnTimer(std::uintptr_t id, bool& handled) override;
  void OnClose(bool& handled) override;
  void OnDestroy(bool& handled) override;
  void OnKeyDown(platform::UINT key, platform::UINT repeat, platform::UINT flags, bool& handled) override;
  platform::LRESULT OnMessage(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;

 private:
  class WorkerObserver;

  void Show(const StatusScreen& screen);
  // The status area's statics take its colour.
  platform::LRESULT OnCtlColorStatic(toolkit::HDC dc, platform::HWND control, bool& handled);
  toolkit::HBRUSH StatusBrush(toolkit::COLORREF colour);
  void SetSoftKeys(unsigned bar);
  void LoadList();
  void FillList();
  const ProductEntry* SelectedEntry() const;
  void StartDownload();
  void OnDownloadEnded();
  void OpenAddress(const std::u16string& address);
  void Exit();
  void JoinWorker();

  UpdateSession& session_;
  const UserLibrary* library_;
  toolkit::CMenuBar bar_;
  unsigned bar_id_ = 0;
  StatusScreen status_;
  LoadedList list_;
  ProductImages images_;
  // One brush per colour shown, kept until the window object goes: a renderer
  // may still be reading one that was answered a moment ago.
  std::map<toolkit::COLORREF, toolkit::HBRUSH> brushes_;
  toolkit::HFONT title_font_ = nullptr;

  std::thread worker_;
  std::atomic<bool> cancel_{false};
  bool downloading_ = false;
  std::mutex mu_;
  std::u16string worker_text_;  // the latest progress text, under mu_
  DownloadResult result_;       // written by the worker before it posts its end
};

}  // namespace update
