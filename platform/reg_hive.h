#pragma once
// Internal to the registry: the hive files and their locking. Each hive is
// "<ConfigDir>/HKCU.reg" or "HKLM.reg", guarded by flock() on "<hive>.lock".

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/reg_text.h"
#include "platform/registry.h"

namespace platform::reg_hive {

std::filesystem::path HivePath(RegistryRoot root);

// The hive as it is on disk now, read under a shared lock; empty when there is
// no hive file. A damaged hive is repaired (see Modify) before it is returned.
std::unique_ptr<reg_text::Node> Read(RegistryRoot root);

enum class Change { None, Changed, Refused };

// One transaction under the exclusive lock: re-read the hive, let change edit it,
// and when it reports Changed write it to a temporary file, fsync it and rename
// it over the hive. A damaged hive found here is reported on stderr, linked aside
// as "<hive>.damaged-<unix time>" and rewritten with what could be read, whatever
// change returns. True when change returned Changed or None and every write
// succeeded.
bool Modify(RegistryRoot root, const std::function<Change(reg_text::Node&)>& change);

}  // namespace platform::reg_hive
