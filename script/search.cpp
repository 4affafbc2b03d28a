#include "script/search.h"

#include <cstring>

namespace {

// Bytes of lower-cased replication scripts, the most frequent first (counted over scripts of
// all three server versions); a byte not listed is rarer than all of them.
constexpr std::string_view kCommonBytes =
    " etasncri,@do1l\n_pmbh\"\tu\rg02()=[]3w4v8f5y&67k9x:/*.'q>j+-";

// Where the needle holds its rarest byte: the search stops on fewest false candidates there.
std::size_t RarestByte(std::string_view needle) {
  std::size_t rarest = 0;
  std::size_t rarestRank = 0;
  for (std::size_t i = 0; i < needle.size(); ++i) {
    const std::size_t rank = kCommonBytes.find(needle[i]);
    if (rank == kNotFound) return i;
    if (rank > rarestRank) {
      rarest = i;
      rarestRank = rank;
    }
  }
  return rarest;
}

}  // namespace

// Runs memchr, which every C library makes fast, over the needle's rarest byte and compares
// the needle only where that byte stands.
std::size_t FindText(std::string_view text, std::string_view needle) {
  if (needle.empty()) return 0;
  if (needle.size() > text.size()) return kNotFound;
  const std::size_t anchor = RarestByte(needle);
  const char* const start = text.data();
  const char* at = start + anchor;
  const char* const end = start + (text.size() - needle.size()) + anchor + 1;  // past the last anchor
  while (at < end) {
    at = static_cast<const char*>(std::memchr(at, needle[anchor], static_cast<std::size_t>(end - at)));
    if (at == nullptr) return kNotFound;
    const char* const candidate = at - anchor;
    if (std::memcmp(candidate, needle.data(), needle.size()) == 0) {
      return static_cast<std::size_t>(candidate - start);
    }
    ++at;
  }
  return kNotFound;
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
