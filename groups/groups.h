// Local administration groups: the eleven groups through which the server's database
// administration rights are granted, created on this computer.
#pragma once

#include <string>
#include <vector>

// One message for each group that was not newly created, in table order.
using GroupErrorList = std::vector<std::wstring>;

// The eleven group names in order of creation, then a null pointer.
extern const wchar_t* const AdminGroupTable[];

// Adds the local group `group`, with `comment`, on the computer `server`. True when the group
// was added or existed already, false otherwise. A newly added group leaves `errorText`
// untouched; in every other case, "already exists" included, `errorText` becomes
// "AddNTGroup : failed : <reason> for : <group>" (the part before " for : " holds at most 511
// characters), or "AddNTGroup : unknown error for : <group>" when the platform's add call threw
// anything at all.
bool AddNTGroup(const std::wstring& server, const std::wstring& group,
                const std::wstring& comment, std::wstring& errorText);

// Tries every group of AdminGroupTable in order, whatever failed before, on this computer with
// the comment "VOK QTV account". True when each group was added or existed already. Appends
// (never clears) the message of every group not newly added.
bool CreateNTGroups(GroupErrorList& errors);
