// Local administration groups: the eleven groups through which the server's database
// administration rights are granted, created on this computer or removed from it.
#pragma once

#include <string>
#include <vector>

// One message for each group that was not newly created (or removed), in table order.
using GroupErrorList = std::vector<std::wstring>;

// The eleven group names in order of creation, then a null pointer.
extern const wchar_t* const AdminGroupTable[];

// Adds the local group `group`, with `comment`, on the computer `server`. True when the group
// was added or existed already, false otherwise. A newly added group leaves `errorText`
// untouched; in every other case, "already exists" included, `errorText` becomes
// "AddNTGroup : failed : <reason> for : <group>" (the part before " for : " holds at most 511
// characters), or "AddNTGroup : unknown error for : <group>" when the platform's add call threw
// anything at all.
bool AddNTGroup(const std::wstring& server, const std::wstring& group, const std::wstring& comment,
                std::wstring& errorText);

// Tries every group of AdminGroupTable in order, whatever failed before, on this computer with
// the comment "VOK QTV account". True when each group was added or existed already. Appends
// (never clears) the message of every group not newly added.
bool CreateNTGroups(GroupErrorList& errors);

// Removes the local group `group` from the computer `server`. True when the group was removed
// or did not exist, false otherwise. A newly removed group leaves `errorText` untouched; in
// every other case, "does not exist" included, `errorText` becomes
// "DeleteNTGroup : failed : <reason> for : <group>" (the part before " for : " holds at most 511
// characters), or "DeleteNTGroup : unknown error for : <group>" when the platform's delete call
// threw anything at all.
bool DeleteNTGroup(const std::wstring& server, const std::wstring& group, std::wstring& errorText);

// Tries to remove every group of AdminGroupTable in order, whatever failed before, from this
// computer, and never any other group. True when each group was removed or did not exist.
// Appends (never clears) the message of every group not newly removed.
bool DeleteNTGroups(GroupErrorList& errors);
