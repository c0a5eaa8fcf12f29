#include "toolkit/common_controls.h"

#include <mutex>

#include "toolkit/control_internal.h"

namespace toolkit {

void RegisterCommonControlClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    control_internal::RegisterEditClass();
    control_internal::RegisterComboBoxClass();
    control_internal::RegisterTrackbarClass();
    control_internal::RegisterListBoxClass();
    control_internal::RegisterListViewClass();
    control_internal::RegisterTabControlClass();
    control_internal::RegisterTreeViewClass();
  });
}

}  // namespace toolkit
