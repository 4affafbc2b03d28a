// The group jobs' logic over fake platform calls that answer with outcomes: this program links
// the definitions below in place of the platform's.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "groups/groups.h"
#include "groups/local_group.h"

namespace {

// How the fake platform calls answer for one group; groups without an answer are done. The
// answers are tables whose texts outlive them, so `reason` is a view (a string member of a
// nested table entry makes GCC warn of its clean-up at -O3).
struct FakeAnswer {
  GroupOutcome outcome = GroupOutcome::kDone;
  std::wstring_view reason;  // the platform's words
  bool throwsNumber = false;
  bool throwsException = false;
};

std::map<std::wstring, FakeAnswer> fakeAnswers;

struct PlatformCall {
  std::string kind;  // "add" or "delete"
  std::wstring server, group, comment;
  bool operator==(const PlatformCall&) const = default;
};
std::vector<PlatformCall> platformCalls;
int computerNameReads = 0;

const std::wstring kServer = L"testhost";
const std::wstring kComment = L"VOK QTV account";

GroupResult FakeAnswerFor(const std::wstring& group) {
  const auto found = fakeAnswers.find(group);
  if (found == fakeAnswers.end()) return {GroupOutcome::kDone, {}};
  if (found->second.throwsNumber) throw 42;
  if (found->second.throwsException) throw std::runtime_error("platform call failed");
  return {found->second.outcome, std::wstring(found->second.reason)};
}

}  // namespace

GroupResult AddLocalGroup(const std::wstring& server, const std::wstring& group,
                          const std::wstring& comment) {
  platformCalls.push_back({"add", server, group, comment});
  return FakeAnswerFor(group);
}

GroupResult DeleteLocalGroup(const std::wstring& server, const std::wstring& group) {
  platformCalls.push_back({"delete", server, group, L""});
  return FakeAnswerFor(group);
}

std::wstring ReadComputerName() {
  ++computerNameReads;
  return kServer;
}

namespace {

class GroupsTest : public testing::Test {
 protected:
  void SetUp() override {
    fakeAnswers.clear();
    platformCalls.clear();
    computerNameReads = 0;
  }
};

struct MappingCase {
  const char* what;
  FakeAnswer answer;
  bool result;
  std::wstring errorText;
};

using GroupCall = std::function<bool(const std::wstring& group, std::wstring& errorText)>;

// Runs `call` on the group "grp" answering as each case says.
void ExpectMappings(const GroupCall& call, const std::vector<MappingCase>& cases) {
  for (const MappingCase& c : cases) {
    fakeAnswers = {{L"grp", c.answer}};
    std::wstring errorText = L"untouched";
    EXPECT_EQ(call(L"grp", errorText), c.result) << c.what;
    EXPECT_EQ(errorText, c.errorText) << c.what;
  }
}

TEST_F(GroupsTest, AddNTGroupDescribesEveryResultButAdded) {
  const std::wstring head = L"AddNTGroup : failed : ";
  const std::wstring tail = L" for : grp";
  const std::wstring longReason(600, L'x');
  const GroupOutcome done = GroupOutcome::kDone;
  const GroupOutcome other = GroupOutcome::kOther;
  ExpectMappings(
      [](const std::wstring& group, std::wstring& errorText) {
        return AddNTGroup(kServer, group, kComment, errorText);
      },
      {
          {"added", {done, L"", false, false}, true, L"untouched"},
          {"added, platform text ignored", {done, L"spoken", false, false}, true, L"untouched"},
          {"access denied, in the table's words",
           {GroupOutcome::kAccessDenied, L"platform text", false, false},
           false,
           head + L"The user does not have access to the requested information." + tail},
          {"exists already, in the table's words",
           {GroupOutcome::kAlreadyDone, L"platform text", false, false},
           true,
           head + L"The local group already exists." + tail},
          {"other, in the platform's words",
           {other, L"The operation is allowed only on the primary domain controller of the domain.",
            false, false},
           false,
           head + L"The operation is allowed only on the primary domain controller of the domain." +
               tail},
          {"other, groupadd's words",
           {other, L"groupadd exited with status 3", false, false},
           false,
           head + L"groupadd exited with status 3" + tail},
          {"text longer than the head holds",
           {other, longReason, false, false},
           false,
           (head + longReason).substr(0, 511) + tail},
          {"throws a number",
           {done, L"", true, false},
           false,
           L"AddNTGroup : unknown error" + tail},
          {"throws an exception",
           {done, L"", false, true},
           false,
           L"AddNTGroup : unknown error" + tail},
      });
}

TEST_F(GroupsTest, DeleteNTGroupDescribesEveryResultButRemoved) {
  const std::wstring head = L"DeleteNTGroup : failed : ";
  const std::wstring tail = L" for : grp";
  const std::wstring longReason(600, L'y');
  const GroupOutcome done = GroupOutcome::kDone;
  const GroupOutcome other = GroupOutcome::kOther;
  ExpectMappings(
      [](const std::wstring& group, std::wstring& errorText) {
        return DeleteNTGroup(kServer, group, errorText);
      },
      {
          {"removed", {done, L"", false, false}, true, L"untouched"},
          {"removed, platform text ignored", {done, L"spoken", false, false}, true, L"untouched"},
          // Nothing to remove counts as done, and is described all the same.
          {"does not exist, in the table's words",
           {GroupOutcome::kAlreadyDone, L"platform text", false, false},
           true,
           head + L"The local group does not exist." + tail},
          {"access denied, in the table's words",
           {GroupOutcome::kAccessDenied, L"platform text", false, false},
           false,
           head + L"The user does not have access to the requested information." + tail},
          {"other, groupdel's words",
           {other, L"groupdel: cannot remove the primary group of user 'alice'", false, false},
           false,
           head + L"groupdel: cannot remove the primary group of user 'alice'" + tail},
          {"other, the system's words",
           {other, L"The computer name is invalid.", false, false},
           false,
           head + L"The computer name is invalid." + tail},
          {"text longer than the head holds",
           {other, longReason, false, false},
           false,
           (head + longReason).substr(0, 511) + tail},
          {"throws a number",
           {done, L"", true, false},
           false,
           L"DeleteNTGroup : unknown error" + tail},
          {"throws an exception",
           {done, L"", false, true},
           false,
           L"DeleteNTGroup : unknown error" + tail},
      });
}

std::wstring Message(const std::wstring& job, const std::wstring& reason, int groupNumber) {
  return job + L" : failed : " + reason + L" for : " + AdminGroupTable[groupNumber - 1];
}

struct RunCase {
  const char* what;
  std::map<int, FakeAnswer> answers;  // by group number, 1 to 11
  bool result;
  std::vector<std::wstring> messages;
};

// Runs `job` once for each case and checks its result, the messages it appends, and that it
// made `kind` platform calls for exactly the eleven groups, in table order, on this computer.
void ExpectRuns(bool (*job)(GroupErrorList&), const std::string& kind, const std::wstring& comment,
                const std::vector<RunCase>& cases) {
  std::vector<PlatformCall> everyGroup;
  for (const wchar_t* const* group = AdminGroupTable; *group != nullptr; ++group) {
    everyGroup.push_back({kind, kServer, *group, comment});
  }
  ASSERT_EQ(everyGroup.size(), 11u);
  for (const RunCase& c : cases) {
    fakeAnswers.clear();
    platformCalls.clear();
    computerNameReads = 0;
    for (const auto& [number, answer] : c.answers) {
      fakeAnswers[AdminGroupTable[number - 1]] = answer;
    }
    GroupErrorList errors{L"from before"};
    EXPECT_EQ(job(errors), c.result) << c.what;
    std::vector<std::wstring> expected{L"from before"};
    expected.insert(expected.end(), c.messages.begin(), c.messages.end());
    EXPECT_EQ(errors, expected) << c.what;
    EXPECT_EQ(platformCalls, everyGroup) << c.what;
    EXPECT_EQ(computerNameReads, 1) << c.what;
  }
}

// Every group answering `answer`, each with the message `reason`.
RunCase AllGroups(const char* what, const FakeAnswer& answer, bool result, const std::wstring& job,
                  const std::wstring& reason) {
  RunCase run{what, {}, result, {}};
  for (int group = 1; group <= 11; ++group) {
    run.answers[group] = answer;
    run.messages.push_back(Message(job, reason, group));
  }
  return run;
}

const std::wstring kDenied = L"The user does not have access to the requested information.";
const FakeAnswer kDeniedAnswer{GroupOutcome::kAccessDenied, L"", false, false};
const FakeAnswer kAlreadyDoneAnswer{GroupOutcome::kAlreadyDone, L"", false, false};

TEST_F(GroupsTest, CreateNTGroupsTriesEveryGroupAndListsThoseNotNewlyAdded) {
  const std::wstring add = L"AddNTGroup";
  const std::wstring exists = L"The local group already exists.";
  ExpectRuns(CreateNTGroups, "add", kComment,
             {
                 {"all added", {}, true, {}},
                 AllGroups("all present", kAlreadyDoneAnswer, true, add, exists),
                 {"groups 1 to 3 present, group 7 denied",
                  {{1, kAlreadyDoneAnswer},
                   {2, kAlreadyDoneAnswer},
                   {3, kAlreadyDoneAnswer},
                   {7, kDeniedAnswer}},
                  false,
                  {Message(add, exists, 1), Message(add, exists, 2), Message(add, exists, 3),
                   Message(add, kDenied, 7)}},
                 {"first throws, last fails otherwise",
                  {{1, {GroupOutcome::kDone, L"", true, false}},
                   {11, {GroupOutcome::kOther, L"error 99", false, false}}},
                  false,
                  {std::wstring(L"AddNTGroup : unknown error for : ") + AdminGroupTable[0],
                   Message(add, L"error 99", 11)}},
             });
}

TEST_F(GroupsTest, DeleteNTGroupsTriesEveryGroupAndListsThoseNotNewlyRemoved) {
  const std::wstring del = L"DeleteNTGroup";
  const std::wstring absent = L"The local group does not exist.";
  const std::wstring primary = L"groupdel: cannot remove the primary group of user 'alice'";
  ExpectRuns(DeleteNTGroups, "delete", L"",
             {
                 {"all removed", {}, true, {}},
                 AllGroups("all absent", kAlreadyDoneAnswer, true, del, absent),
                 AllGroups("all denied", kDeniedAnswer, false, del, kDenied),
                 {"group 2 a user's primary group, group 5 absent",
                  {{2, {GroupOutcome::kOther, primary, false, false}}, {5, kAlreadyDoneAnswer}},
                  false,
                  {Message(del, primary, 2), Message(del, absent, 5)}},
                 {"first throws, the rest removed",
                  {{1, {GroupOutcome::kDone, L"", false, true}}},
                  false,
                  {std::wstring(L"DeleteNTGroup : unknown error for : ") + AdminGroupTable[0]}},
             });
}

}  // namespace
