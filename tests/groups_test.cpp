// Group creation's logic over a fake platform add call that answers with outcomes: this program links the definitions
// below in place of the platform's.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "groups/local_group.h"
#include "groups/groups.h"

namespace {

// How the fake add call answers for one group; groups without an answer are added.
struct FakeAnswer {
  GroupOutcome outcome = GroupOutcome::kDone;
  std::wstring reason;  // the platform's words
  bool throwsNumber = false;
  bool throwsException = false;
};

std::map<std::wstring, FakeAnswer> fakeAnswers;

struct AddCall {
  std::wstring server, group, comment;
  bool operator==(const AddCall&) const = default;
};
std::vector<AddCall> addCalls;
int computerNameReads = 0;

const std::wstring kServer = L"testhost";
const std::wstring kComment = L"VOK QTV account";

}  // namespace

GroupResult AddLocalGroup(const std::wstring& server, const std::wstring& group,
                          const std::wstring& comment) {
  addCalls.push_back({server, group, comment});
  const auto found = fakeAnswers.find(group);
  if (found == fakeAnswers.end()) return {GroupOutcome::kDone, {}};
  if (found->second.throwsNumber) throw 42;
  if (found->second.throwsException) throw std::runtime_error("add failed");
  return {found->second.outcome, found->second.reason};
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
    addCalls.clear();
    computerNameReads = 0;
  }
};

struct MappingCase {
  const char* what;
  FakeAnswer answer;
  bool result;
  std::wstring errorText;
};

TEST_F(GroupsTest, AddNTGroupDescribesEveryResultButAdded) {
  const std::wstring head = L"AddNTGroup : failed : ";
  const std::wstring tail = L" for : grp";
  const std::wstring longReason(600, L'x');
  const GroupOutcome done = GroupOutcome::kDone;
  const GroupOutcome other = GroupOutcome::kOther;
  const MappingCase cases[] = {
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
      {"throws a number", {done, L"", true, false}, false, L"AddNTGroup : unknown error" + tail},
      {"throws an exception", {done, L"", false, true}, false, L"AddNTGroup : unknown error" + tail},
  };
  for (const MappingCase& c : cases) {
    fakeAnswers = {{L"grp", c.answer}};
    std::wstring errorText = L"untouched";
    EXPECT_EQ(AddNTGroup(kServer, L"grp", kComment, errorText), c.result) << c.what;
    EXPECT_EQ(errorText, c.errorText) << c.what;
  }
}

std::wstring Message(const std::wstring& reason, int groupNumber) {
  return L"AddNTGroup : failed : " + reason + L" for : " + AdminGroupTable[groupNumber - 1];
}

struct RunCase {
  const char* what;
  std::map<int, FakeAnswer> answers;  // by group number, 1 to 11
  bool result;
  std::vector<std::wstring> messages;
};

TEST_F(GroupsTest, CreateNTGroupsTriesEveryGroupAndListsThoseNotNewlyAdded) {
  const std::wstring exists = L"The local group already exists.";
  const std::wstring denied = L"The user does not have access to the requested information.";
  const FakeAnswer existsAnswer{GroupOutcome::kAlreadyDone, L"", false, false};
  RunCase cases[] = {
      {"all added", {}, true, {}},
      {"all present", {}, true, {}},
      {"groups 1 to 3 present, group 7 denied",
       {{1, existsAnswer}, {2, existsAnswer}, {3, existsAnswer},
        {7, {GroupOutcome::kAccessDenied, L"", false, false}}},
       false,
       {Message(exists, 1), Message(exists, 2), Message(exists, 3), Message(denied, 7)}},
      {"first throws, last fails otherwise",
       {{1, {GroupOutcome::kDone, L"", true, false}},
        {11, {GroupOutcome::kOther, L"error 99", false, false}}},
       false,
       {std::wstring(L"AddNTGroup : unknown error for : ") + AdminGroupTable[0],
        Message(L"error 99", 11)}},
  };
  for (int group = 1; group <= 11; ++group) {
    cases[1].answers[group] = existsAnswer;
    cases[1].messages.push_back(Message(exists, group));
  }

  std::vector<AddCall> everyGroup;
  for (const wchar_t* const* group = AdminGroupTable; *group != nullptr; ++group) {
    everyGroup.push_back({kServer, *group, kComment});
  }
  ASSERT_EQ(everyGroup.size(), 11u);
  for (const RunCase& c : cases) {
    SetUp();
    for (const auto& [number, answer] : c.answers) {
      fakeAnswers[AdminGroupTable[number - 1]] = answer;
    }
    GroupErrorList errors{L"from before"};
    EXPECT_EQ(CreateNTGroups(errors), c.result) << c.what;
    std::vector<std::wstring> expected{L"from before"};
    expected.insert(expected.end(), c.messages.begin(), c.messages.end());
    EXPECT_EQ(errors, expected) << c.what;
    EXPECT_EQ(addCalls, everyGroup) << c.what;
    EXPECT_EQ(computerNameReads, 1) << c.what;
  }
}

}  // namespace
