// The Linux add and delete calls of local_group.h with the directories their tools are run
// from: AddLocalGroup and DeleteLocalGroup run the system's (kSystemToolDirectories); a test
// runs stand-ins.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "groups/local_group.h"
#include "groups/shadow_tool-posix.h"

// Adds the group `group` with the groupadd of the first of `directories` that holds one.
GroupResult AddLocalGroupFrom(std::span<const std::string_view> directories,
                              const std::wstring& group);

// Removes the group `group` with the groupdel of the first of `directories` that holds one.
GroupResult DeleteLocalGroupFrom(std::span<const std::string_view> directories,
                                 const std::wstring& group);
