// The platform's part of group creation: one definition per platform
// (add_group-posix.cpp, add_group-win32.cpp).
#pragma once

#include <string>

// Adds the local group `group` on the computer `server`, with `comment` where the platform
// stores one. Returns the platform's result in the system's codes: 0 when the group was
// added, 1379 or 2223 when it exists already, 5 when the caller may not add groups, 2226 or
// 2351 as the system reports them, or any other code; for a code outside those, `reason`
// receives a text that says what happened. May throw.
unsigned long AddLocalGroup(const std::wstring& server, const std::wstring& group,
                            const std::wstring& comment, std::wstring& reason);

// The name of this computer.
std::wstring ReadComputerName();
