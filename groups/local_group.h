// The platform's part of the group jobs: one definition per platform
// (local_group-posix.cpp, local_group-win32.cpp).
#pragma once

#include <string>

// What the platform made of one group.
enum class GroupOutcome {
  kDone,          // the group was created
  kAlreadyDone,   // the group exists already
  kAccessDenied,  // the caller may not add groups
  kOther,         // anything else; the reason says what happened
};

struct GroupResult {
  GroupOutcome outcome;
  std::wstring reason;  // words for kOther, never empty then; empty otherwise
};

// Adds the local group `group` on the computer `server`, with `comment` where the platform
// stores one. May throw.
GroupResult AddLocalGroup(const std::wstring& server, const std::wstring& group,
                          const std::wstring& comment);

// The name of this computer.
std::wstring ReadComputerName();
