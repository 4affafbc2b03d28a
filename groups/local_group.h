// The platform's part of the group jobs: one definition per platform
// (local_group-posix.cpp, local_group-win32.cpp).
#pragma once

#include <string>

// What the platform made of one group.
enum class GroupOutcome {
  kDone,          // the group was created, or removed
  kAlreadyDone,   // the group exists already, or does not exist, so there is nothing to do
  kAccessDenied,  // the caller may not add, or remove, groups
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

// Removes the local group `group` from the computer `server`, and nothing else: a group that is
// still needed (on Linux, the primary group of a user) is left in place, as kOther. May throw.
GroupResult DeleteLocalGroup(const std::wstring& server, const std::wstring& group);

// The name of this computer.
std::wstring ReadComputerName();
