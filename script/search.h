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
  explicit ForwardSearch(std::string_view needle) : needle_(needle) {}

  // First occurrence of the needle in `rest`, or kNotFound.
  std::size_t In(std::string_view rest);

 private:
  std::string_view needle_;
  const char* searchedFrom_ = nullptr;  // start of the view last searched
  const char* match_ = nullptr;         // its first match; nullptr when there was none
};
