// Byte searches over the one script buffer, which holds the script as it was read.
//
// The rewrites read a script without regard to the case of the letters A-Z (and of no other
// byte), as if it had been lower-cased: the texts they look for are written in lower case,
// and an upper-case letter of the script matches its lower-case one.
//
// Every text searched here is a view into the same buffer; positions are offsets into the
// view searched, and a search that finds nothing yields std::string_view::npos.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

constexpr std::size_t kNotFound = std::string_view::npos;

// A-Z to a-z; every other byte as it is.
constexpr char LowerCaseByte(char byte) {
  const auto c = static_cast<unsigned char>(byte);
  return static_cast<char>(static_cast<unsigned char>(c - 'A') < 26u ? c + ('a' - 'A') : c);
}

// Sixteen bytes handled as one, in the vector registers that every processor the program is
// built for has (SSE2, NEON); GCC and Clang turn the operators into vector instructions. A
// comparison gives each lane all bits set where it holds, none where not.
using Bytes16 = unsigned char __attribute__((vector_size(16)));

inline Bytes16 Load16(const unsigned char* at) {
  Bytes16 bytes;
  std::memcpy(&bytes, at, sizeof bytes);
  return bytes;
}

// Whether any lane of `lanes` (each all bits set or none) is set.
inline bool AnyLane(Bytes16 lanes) {
  std::uint64_t words[2];
  std::memcpy(words, &lanes, sizeof words);
  return (words[0] | words[1]) != 0;
}

// Whether an odd count of the lanes of `lanes` (each all bits set or none) is set.
inline bool OddLaneCount(Bytes16 lanes) {
  std::uint64_t words[2];
  std::memcpy(words, &lanes, sizeof words);
  return std::popcount(words[0] ^ words[1]) / 8 % 2 == 1;
}

// `text` with A-Z lower-cased.
std::string LowerCased(std::string_view text);

// Copies `text` to `to`, which has room for it, with A-Z lower-cased.
void CopyLowerCased(std::string_view text, char* to);

// Whether `text` starts with `lowerCase` (which has no letters A-Z) when lower-cased.
inline bool StartsWithLowerCase(std::string_view text, std::string_view lowerCase) {
  if (text.size() < lowerCase.size()) return false;
  for (std::size_t i = 0; i < lowerCase.size(); ++i) {
    if (LowerCaseByte(text[i]) != lowerCase[i]) return false;
  }
  return true;
}

// Whether `text` is `lowerCase` (which has no letters A-Z) when lower-cased.
inline bool EqualsLowerCase(std::string_view text, std::string_view lowerCase) {
  return text.size() == lowerCase.size() && StartsWithLowerCase(text, lowerCase);
}

// A text to look for, in lower case (it has no letters A-Z), with what a search needs to know
// of it worked out once: the needles that a scan looks for in every procedure are made once.
//
// A needle whose bytes are all letters or frequent in scripts is looked for a block of
// positions at a time, by a window of its bytes: its two rarest in scripts, or up to four in a
// row that the caller knows to be rarer together.
class Needle {
 public:
  Needle(std::string_view text);  // NOLINT: a text is a needle
  Needle(const char* text) : Needle(std::string_view(text)) {}
  Needle(const std::string& text) : Needle(std::string_view(text)) {}
  // With the window at `windowAt`, of `windowBytes` bytes (at most four, within the text).
  Needle(std::string_view text, std::size_t windowAt, std::size_t windowBytes);

  std::string_view Text() const { return text_; }

 private:
  static constexpr std::size_t kWindowBytes = 4;
  friend std::size_t FindText(std::string_view text, const Needle& needle);

  std::string_view text_;
  std::size_t rareByte_ = 0;   // the offset memchr looks for, or kNotFound: a window search
  std::size_t checkByte_ = 0;  // the offset tested next, when memchr is used
  void FillWindow();           // the window's bytes and folds, from its offsets

  std::size_t windowBytes_ = 0;
  std::size_t windowOffsets_[kWindowBytes] = {};  // of the window's bytes in the text
  unsigned char window_[kWindowBytes] = {};
  unsigned char fold_[kWindowBytes] = {};   // 0x20 for a letter: (byte | fold) matches both cases
  Bytes16 windowLanes_[kWindowBytes] = {};  // each window byte, and its fold, in every lane
  Bytes16 foldLanes_[kWindowBytes] = {};
};

// First occurrence of `needle` in `text` lower-cased, or kNotFound.
std::size_t FindText(std::string_view text, const Needle& needle);

// The same, for an occurrence that starts before `limit`: kNotFound when none does. Only the
// bytes that such an occurrence may take are looked at.
std::size_t FindBefore(std::string_view text, const Needle& needle, std::size_t limit);

// A search for one needle in the rest of a script whose answer is kept while it still lies
// ahead. Successive calls must pass views that end where the script ends and start no earlier
// than the previous one; the whole script is then searched at most once, however many
// procedures ask for the same text. A call with a view that starts earlier searches afresh.
class ForwardSearch {
 public:
  explicit ForwardSearch(const Needle& needle) : needle_(needle) {}

  // First occurrence of the needle in `rest`, or kNotFound.
  std::size_t In(std::string_view rest);

 private:
  Needle needle_;
  const char* searchedFrom_ = nullptr;  // start of the view last searched
  const char* match_ = nullptr;         // its first match; nullptr when there was none
};
