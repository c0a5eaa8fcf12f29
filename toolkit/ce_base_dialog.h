#pragma once
// CeBaseDialog: a dialog made from a template of the resource table, run modally
// (DoModal) or modelessly (Create), with its messages routed to the object's
// handlers like any CeWnd (see ce_msg_wnd.h for the handler table).
//
// Binding: the dialog's user slot (DWLP_USER) holds the object. Until
// WM_INITDIALOG arrives (its lParam is the object) the dialog procedure answers
// every message with 0; WM_INITDIALOG stores the object, calls OnFirstMessage and
// sets the handle. After WM_DESTROY has been handled the previous dialog procedure
// (if any) is put back, the slot and the handle are cleared and OnFinalMessage is
// called (the object may delete itself there).
//
// Results: for a handled message the dialog procedure returns the handler's result
// itself when the message is one of the direct-result messages (46, 47, 55, 57,
// 272 and 306-312, see dialog_manager.h); for every other message it stores the
// result in DWLP_MSGRESULT and returns the handled flag (1). Unhandled: 0, and the
// dialog manager's default handling runs.
//
// An exception escaping a handler ends the program: a "Software Error" box with
// "%s at %s had an internal crash. Now closing program." filled with the dialog's
// text ("No Window" when it is gone) and the exception's text, then CrashExit.
//
// Threads: a dialog belongs to the thread that made it, which runs all of its
// handlers. EndDialog may be called from any thread.

#include <atomic>
#include <mutex>
#include <set>
#include <vector>

#include "toolkit/ce_child_mgr.h"
#include "toolkit/ce_wnd.h"
#include "toolkit/dialog_manager.h"

namespace toolkit {

using platform::MSG;

// Shell dialog flags (SetSHInitFlags).
inline constexpr DWORD SHIDIF_DONEBUTTON = 0x0001;
inline constexpr DWORD SHIDIF_SIZEDLG = 0x0002;
inline constexpr DWORD SHIDIF_SIZEDLGFULLSCREEN = 0x0004;  // full-screen sizing, kept on setting changes
inline constexpr DWORD SHIDIF_SIPDOWN = 0x0008;
inline constexpr DWORD SHIDIF_FULLSCREENNOMENUBAR = 0x0010;
inline constexpr DWORD SHIDIF_EMPTYMENU = 0x0020;
inline constexpr DWORD SHIDIF_WANTSCROLLBAR = 0x0040;

// The shell's activation record (its size field is 12).
struct SHACTIVATEINFO {
  DWORD cbSize = 12;
  HWND hwndLastFocus = nullptr;
  UINT fSipUp = 0;
};

class CeBaseDialog : public CeWnd {
 public:
  CeBaseDialog();
  // A dialog still bound to the object is unbound, so it never calls into a
  // deleted object; it is not destroyed.
  ~CeBaseDialog() override;

  // Base table after the destructor, in this order.
  // IDCANCEL: ends a modal dialog with 2 (handled); nothing for a modeless one.
  virtual void OnCancel(bool& handled);
  // IDOK: ends a modal dialog with 1 (handled); nothing for a modeless one.
  virtual void OnOK(bool& handled);
  // With shell flags: sizes the dialog as they ask (full screen: the work area);
  // without: centres a modal dialog. Returns 1 (focus to `focus`), handled.
  virtual LRESULT OnInitDialog(HWND focus, LPARAM param, bool& handled);
  // WM_CTLCOLORSTATIC; default: not handled, 0.
  virtual LRESULT OnCtlColorStatic(std::uintptr_t dc, HWND control, bool& handled);

  // Runs the template modally on the calling thread and returns EndDialog's
  // result (-1 when the dialog cannot be made). Owner: parent, or, when parent is
  // a child window of a class other than "Dialog", its top-level window; with no
  // parent, the program's main window (SetProgramMainWindow). The owner is
  // disabled meanwhile and may belong to another thread. The calling thread's
  // focus is put back afterwards when its window still exists.
  LRESULT DoModal(UINT template_id, HWND parent = nullptr);
  // Makes the template modelessly and adds it to the modeless set; nullptr on failure.
  HWND Create(UINT template_id, HWND parent = nullptr);
  // Ends the dialog (modal: with result; modeless: destroys it). Any thread.
  bool EndDialog(LRESULT result);

  // Offers a message of the calling thread's queue to each of its modeless
  // dialogs in turn (IsDialogMessageW); true when one took it.
  static bool IsDialogMsg(MSG* msg);
  // The modeless dialogs now open (all threads).
  static std::vector<HWND> ModelessDialogs();

  void SetSHInitFlags(DWORD flags) { sh_init_flags_ = flags; }
  DWORD GetSHInitFlags() const { return sh_init_flags_; }
  UINT GetTemplateId() const { return template_id_; }
  bool IsModal() const { return modal_; }
  bool IsInsideInit() const { return inside_init_; }
  CeChildMgr& ChildMgr() { return child_mgr_; }

  // WM_ACTIVATE to the shell's activation handler; WM_INITDIALOG with the
  // inside-init flag around OnInitDialog; WM_COMMAND IDOK -> OnOK, IDCANCEL ->
  // OnCancel, 0xFFFF with notification 0 -> posts WM_NEXTDLGCTL (focus to the
  // control after the sender), any other command ignored while inside init, else
  // OnCommand; WM_CTLCOLORSTATIC -> OnCtlColorStatic; WM_NOTIFY ignored while
  // inside init; everything else as CeMsgWnd::ProcessMessage.
  LRESULT ProcessMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  // The dialog manager's default handling of the current message (or the previous
  // dialog procedure's, when one was replaced).
  LRESULT Default() override;
  // Also runs the child manager (not handled).
  void OnSize(UINT type, int width, int height, bool& handled) override;
  // With full-screen sizing among the shell flags: sizes to the work area again.
  void OnSettingChange(UINT flag, LPARAM lparam, bool& handled) override;

  // The dialog procedure of every dialog of the layer.
  static LRESULT DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  // The object bound to a dialog of the layer, or nullptr.
  static CeBaseDialog* FromDialog(HWND hwnd);

 protected:
  CeChildMgr child_mgr_;
  UINT template_id_ = 0;
  bool modal_ = false;
  DWORD sh_init_flags_ = 0;
  SHACTIVATEINFO activate_info_;
  bool inside_init_ = false;

  static std::set<HWND> m_setModeless;

 private:
  LRESULT HandleDialogMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  void UnbindDialog(HWND hwnd);
  void SizeForShellFlags();

  DLGPROC prev_dlg_proc_ = nullptr;
  // The handle as other threads may read it (EndDialog).
  std::atomic<HWND> dialog_hwnd_{nullptr};
  static std::mutex modeless_mu_;
};

}  // namespace toolkit
