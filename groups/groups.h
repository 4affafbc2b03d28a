// Local administration groups: the eleven groups through which the server's database
// administration rights are granted, created on this computer.
#pragma once

#include <string>
#include <vector>

// One message for each group that was not newly created, in table order.
using GroupErrorList = std::vector<std::wstring>;

// The eleven group names in order of creation, then a null pointer.
extern const wchar_t* const AdminGroupTable[];

// Tries every group of AdminGroupTable, whatever failed before. True when each group was
// added or existed already; appends the message of every group not newly added.
bool CreateNTGroups(GroupErrorList& errors);
