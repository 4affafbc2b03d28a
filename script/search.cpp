#include "script/search.h"

std::size_t FindText(std::string_view text, std::string_view needle) {
  return text.find(needle);
}

std::size_t ForwardSearch::In(std::string_view rest) { return In(rest, nullptr); }

std::size_t ForwardSearch::In(std::string_view rest, Finder find) {
  const char* from = rest.data();
  const bool stillAhead = searchedFrom_ != nullptr && from >= searchedFrom_ &&
                          (match_ == nullptr || from <= match_);
  if (!stillAhead) {
    const std::size_t pos = find != nullptr ? find(rest) : FindText(rest, needle_);
    searchedFrom_ = from;
    match_ = pos == kNotFound ? nullptr : from + pos;
  }
  return match_ == nullptr ? kNotFound : static_cast<std::size_t>(match_ - from);
}

std::size_t BackwardSearch::In(std::string_view text, Finder findLast) {
  const char* from = text.data();
  const char* to = text.data() + text.size();
  const bool kept = searchedTo_ == to && searchedFrom_ != nullptr && from >= searchedFrom_;
  if (!kept) {
    const std::size_t pos = findLast(text);
    searchedFrom_ = from;
    searchedTo_ = to;
    match_ = pos == kNotFound ? nullptr : from + pos;
  }
  // A kept match before the new start leaves none: nothing after it matched.
  if (match_ == nullptr || match_ < from) return kNotFound;
  return static_cast<std::size_t>(match_ - from);
}
