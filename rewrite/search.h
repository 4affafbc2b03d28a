// Plain byte searches over the one lower-cased script buffer.
//
// Every text searched here is a view into the same buffer; positions are offsets into the
// view searched, and a search that finds nothing yields std::string_view::npos.
#pragma once

#include <cstddef>
#include <string_view>

constexpr std::size_t kNotFound = std::string_view::npos;

// First occurrence of `needle` in `text`, or kNotFound.
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
