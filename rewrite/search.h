// Byte searches over the one script buffer, which holds the script as it was read.
//
// The rewrites read a script without regard to the case of the letters A-Z (and of no other
// byte), as if it had been lower-cased: the texts they look for are written in lower case,
// and an upper-case letter of the script matches its lower-case one.
//
// Every text searched here is a view into the same buffer; positions are offsets into the
// view searched, and a search that finds nothing yields std::string_view::npos.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

constexpr std::size_t kNotFound = std::string_view::npos;

// A-Z to a-z; every other byte as it is.
constexpr char LowerCaseByte(char byte) {
  const auto c = static_cast<unsigned char>(byte);
  return static_cast<char>(static_cast<unsigned char>(c - 'A') < 26u ? c + ('a' - 'A') : c);
}

// `text` with A-Z lower-cased.
std::string LowerCased(std::string_view text);

// Whether `text` starts with `lowerCase` (which has no letters A-Z) when lower-cased.
bool StartsWithLowerCase(std::string_view text, std::string_view lowerCase);

// Whether `text` is `lowerCase` (which has no letters A-Z) when lower-cased.
bool EqualsLowerCase(std::string_view text, std::string_view lowerCase);

// First occurrence of `needle`, which has no letters A-Z, in `text` lower-cased, or kNotFound.
std::size_t FindText(std::string_view text, std::string_view needle);

// A search for one needle in the rest of a script whose answer is kept while it still lies
// ahead. Successive calls must pass views that end where the script ends and start no earlier
// than the previous one; the whole script is then searched at most once, however many
// procedures ask for the same text. A call with a view that starts earlier searches afresh.
class ForwardSearch {
 public:
  // Finds the first match in a view, or kNotFound. A match must not depend on where the view
  // starts, as long as it starts at or before the match.
  using Finder = std::size_t (*)(std::string_view rest);

  ForwardSearch() = default;  // for a search that passes its own Finder
  explicit ForwardSearch(std::string_view needle) : needle_(needle) {}

  // First occurrence of the needle in `rest`, or kNotFound.
  std::size_t In(std::string_view rest);
  // First match of `find` in `rest`, kept in the same way.
  std::size_t In(std::string_view rest, Finder find);

 private:
  std::string_view needle_;
  const char* searchedFrom_ = nullptr;  // start of the view last searched
  const char* match_ = nullptr;         // its first match; nullptr when there was none
};

// The mirror image of ForwardSearch: the last match in a view, kept while successive views end
// at the same place and start no earlier than the previous one. A view that ends elsewhere or
// starts earlier is searched afresh.
class BackwardSearch {
 public:
  // Finds the start of the last match in a view, or kNotFound. A match must not depend on where
  // the view starts, as long as it starts at or before the match.
  using Finder = std::size_t (*)(std::string_view text);

  // Last match of `findLast` in `text`, or kNotFound.
  std::size_t In(std::string_view text, Finder findLast);

 private:
  const char* searchedFrom_ = nullptr;  // start of the view last searched
  const char* searchedTo_ = nullptr;    // its end
  const char* match_ = nullptr;         // its last match; nullptr when there was none
};
