// Group creation's logic over a fake platform add call: this program links the definitions
// below in place of the platform's.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "groups/add_group.h"
#include "groups/groups.h"

namespace {

// How the fake add call answers for one group; groups without an answer are added. The
// answers are constant tables, so `reason` views a text that outlives them.
struct FakeAnswer {
  unsigned long code = 0;
  std::wstring_view reason;  // what the platform says about a code outside the known ones
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

unsigned long AddLocalGroup(const std::wstring& server, const std::wstring& group,
                            const std::wstring& comment, std::wstring& reason) {
  addCalls.push_back({server, group, comment});
  const auto found = fakeAnswers.find(group);
  if (found == fakeAnswers.end()) return 0;
  if (found->second.throwsNumber) throw 42;
  if (found->second.throwsException) throw std::runtime_error("add failed");
  reason = found->second.reason;
  return found->second.code;
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

// The text AddNTGroup gives the group "grp" for each answer of the platform.
struct MappingCase {
  const char* label;
  FakeAnswer answer;
  bool result;
  std::wstring errorText;
};

void PrintTo(const MappingCase& c, std::ostream* out) { *out << c.label; }

const std::wstring kHead = L"AddNTGroup : failed : ";
const std::wstring kTail = L" for : grp";
const std::wstring kLongReason(600, L'x');

const MappingCase kMappingCases[] = {
    {"Added", {0, L"", false, false}, true, L"untouched"},
    {"AddedPlatformTextIgnored", {0, L"spoken", false, false}, true, L"untouched"},
    {"AccessDenied",
     {5, L"platform text", false, false},
     false,
     kHead + L"The user does not have access to the requested information." + kTail},
    {"AliasExists", {1379, L"", false, false}, true, kHead + L"The local group already exists." + kTail},
    {"GroupExists", {2223, L"", false, false}, true, kHead + L"The local group already exists." + kTail},
    {"NotPrimary",
     {2226, L"", false, false},
     false,
     kHead + L"The operation is allowed only on the primary domain controller of the domain." + kTail},
    {"InvalidComputer", {2351, L"", false, false}, false, kHead + L"The computer name is invalid." + kTail},
    {"UnknownCodeWithThePlatformsText",
     {4294967295ul, L"groupadd exited with status 3", false, false},
     false,
     kHead + L"groupadd exited with status 3" + kTail},
    {"UnknownCodeWithoutText", {2224, L"", false, false}, false, kHead + L"error 2224" + kTail},
    {"TextLongerThanTheHeadHolds",
     {7, kLongReason, false, false},
     false,
     (kHead + kLongReason).substr(0, 511) + kTail},
    {"ThrowsANumber", {0, L"", true, false}, false, L"AddNTGroup : unknown error" + kTail},
    {"ThrowsAnException", {0, L"", false, true}, false, L"AddNTGroup : unknown error" + kTail},
};

class AddNTGroupResult : public GroupsTest, public testing::WithParamInterface<MappingCase> {};

TEST_P(AddNTGroupResult, IsDescribedUnlessTheGroupWasAdded) {
  const MappingCase& c = GetParam();
  fakeAnswers = {{L"grp", c.answer}};
  std::wstring errorText = L"untouched";
  EXPECT_EQ(AddNTGroup(kServer, L"grp", kComment, errorText), c.result);
  EXPECT_EQ(errorText, c.errorText);
}

INSTANTIATE_TEST_SUITE_P(Answers, AddNTGroupResult, testing::ValuesIn(kMappingCases),
                         [](const testing::TestParamInfo<MappingCase>& info) {
                           return std::string(info.param.label);
                         });

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
  const FakeAnswer existsAnswer{2223, L"", false, false};
  RunCase cases[] = {
      {"all added", {}, true, {}},
      {"all present", {}, true, {}},
      {"groups 1 to 3 present, group 7 denied",
       {{1, existsAnswer}, {2, {1379, L"", false, false}}, {3, existsAnswer},
        {7, {5, L"", false, false}}},
       false,
       {Message(exists, 1), Message(exists, 2), Message(exists, 3), Message(denied, 7)}},
      {"first throws, last fails with an unknown code",
       {{1, {0, L"", true, false}}, {11, {99, L"", false, false}}},
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
