#include "script/search.h"

std::size_t FindText(std::string_view text, std::string_view needle) {
  return text.find(needle);
}

std::size_t ForwardSearch::In(std::string_view rest) {
  const char* from = rest.data();
  const bool stillAhead = searchedFrom_ != nullptr && from >= searchedFrom_ &&
                          (match_ == nullptr || from <= match_);
  if (!stillAhead) {
    const std::size_t pos = FindText(rest, needle_);
    searchedFrom_ = from;
    match_ = pos == kNotFound ? nullptr : from + pos;
  }
  return match_ == nullptr ? kNotFound : static_cast<std::size_t>(match_ - from);
}
