#include "rewrite/search.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Bytes of lower-cased replication scripts, the most frequent first (counted over scripts of
// all three server versions); a byte not listed is rarer than all of them. Only the ranks of
// bytes other than letters are used: a letter stands in the script in two cases.
constexpr std::string_view kCommonBytes =
    " etasncri,@do1l\n_pmbh\"\tu\rg02()=[]3w4v8f5y&67k9x:/*.'q>j+-";
// The bytes up to "g" each make about one byte in a hundred or more.
constexpr std::size_t kFrequentRanks = kCommonBytes.find('g') + 1;

// Each byte's rank in kCommonBytes, looked up once per needle byte and search.
constexpr std::array<unsigned char, 256> kRarity = [] {
  std::array<unsigned char, 256> rarity{};
  rarity.fill(static_cast<unsigned char>(kCommonBytes.size()));
  for (std::size_t rank = 0; rank < kCommonBytes.size(); ++rank) {
    rarity[static_cast<unsigned char>(kCommonBytes[rank])] = static_cast<unsigned char>(rank);
  }
  return rarity;
}();

std::size_t Rarity(char byte) { return kRarity[static_cast<unsigned char>(byte)]; }

bool IsLetter(char byte) { return byte >= 'a' && byte <= 'z'; }

bool MatchesAt(const char* candidate, std::string_view needle) {
  for (std::size_t i = 0; i < needle.size(); ++i) {
    if (LowerCaseByte(candidate[i]) != needle[i]) return false;
  }
  return true;
}

// memchr, which every C library makes fast, over a rare byte of the needle (not a letter);
// the check byte is tested before the needle is compared.
std::size_t FindByRareByte(std::string_view text, std::string_view needle, std::size_t anchor,
                           std::size_t check) {
  const char* const start = text.data();
  const char* at = start + anchor;
  const char* const end = start + (text.size() - needle.size()) + anchor + 1;  // past the last anchor
  while (at < end) {
    at = static_cast<const char*>(std::memchr(at, needle[anchor], static_cast<std::size_t>(end - at)));
    if (at == nullptr) return kNotFound;
    const char* const candidate = at - anchor;
    if (LowerCaseByte(candidate[check]) == needle[check] && MatchesAt(candidate, needle)) {
      return static_cast<std::size_t>(candidate - start);
    }
    ++at;
  }
  return kNotFound;
}

constexpr std::size_t kBlock = 64;

// Whether the window stands at a position of the block. A fixed count of positions and bytes,
// which the compiler turns into vector code also at -O2.
template <std::size_t K>
bool BlockHasWindow(const unsigned char* block, const unsigned char* window, const unsigned char* fold) {
  unsigned char any = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    unsigned char all = 1;
    for (std::size_t k = 0; k < K; ++k) all &= static_cast<unsigned char>((block[i + k] | fold[k]) == window[k]);
    any |= all;
  }
  return any != 0;
}

template <std::size_t K>
bool HasWindowAt(const unsigned char* at, const unsigned char* window, const unsigned char* fold) {
  for (std::size_t k = 0; k < K; ++k) {
    if ((at[k] | fold[k]) != window[k]) return false;
  }
  return true;
}

// For needles of letters and frequent bytes (CR LF CR LF, "go", "\nend"), where memchr would
// stop on every line or cannot look for both cases: blocks of candidate positions are tested
// for the needle's window of K bytes at once, and only a block that has it is looked at
// position by position.
template <std::size_t K>
std::size_t FindByWindow(std::string_view text, std::string_view needle, std::size_t windowAt,
                         const unsigned char* window, const unsigned char* fold) {
  const auto* const windows = reinterpret_cast<const unsigned char*>(text.data()) + windowAt;  // by candidate
  const std::size_t starts = text.size() - needle.size() + 1;
  auto matchesAt = [&](std::size_t start) {
    return HasWindowAt<K>(windows + start, window, fold) && MatchesAt(text.data() + start, needle);
  };
  std::size_t start = 0;
  for (; start + kBlock <= starts; start += kBlock) {
    if (!BlockHasWindow<K>(windows + start, window, fold)) continue;
    for (std::size_t i = start; i < start + kBlock; ++i) {
      if (matchesAt(i)) return i;
    }
  }
  if (start == starts) return kNotFound;
  // Fewer positions than a block are left: their windows' bytes are tested as a block of their
  // own, padded with zeros, so that nothing past the text is read.
  unsigned char last[kBlock + K - 1] = {};
  std::memcpy(last, windows + start, starts - start + K - 1);
  if (!BlockHasWindow<K>(last, window, fold)) return kNotFound;
  for (; start < starts; ++start) {
    if (matchesAt(start)) return start;
  }
  return kNotFound;
}

}  // namespace

std::string LowerCased(std::string_view text) {
  std::string lower(text);
  for (char& byte : lower) byte = LowerCaseByte(byte);
  return lower;
}

bool StartsWithLowerCase(std::string_view text, std::string_view lowerCase) {
  return text.size() >= lowerCase.size() && MatchesAt(text.data(), lowerCase);
}

bool EqualsLowerCase(std::string_view text, std::string_view lowerCase) {
  return text.size() == lowerCase.size() && MatchesAt(text.data(), lowerCase);
}

Needle::Needle(std::string_view text, std::size_t windowAt, std::size_t windowBytes) : text_(text) {
  // memchr over the rarest byte that is not a letter, when it is rare enough; otherwise blocks
  // are tested for the window.
  rareByte_ = kNotFound;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsLetter(text[i]) && (rareByte_ == kNotFound || Rarity(text[i]) > Rarity(text[rareByte_]))) rareByte_ = i;
  }
  if (rareByte_ != kNotFound && text.size() > 1 && Rarity(text[rareByte_]) < kFrequentRanks) rareByte_ = kNotFound;
  checkByte_ = rareByte_ == 0 && text.size() > 1 ? 1 : 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != rareByte_ && Rarity(text[i]) > Rarity(text[checkByte_])) checkByte_ = i;
  }
  windowAt_ = std::min(windowAt, text.size());
  windowBytes_ = std::min({windowBytes, kWindowBytes, text.size() - windowAt_});
  for (std::size_t k = 0; k < windowBytes_; ++k) {
    window_[k] = static_cast<unsigned char>(text[windowAt_ + k]);
    fold_[k] = IsLetter(text[windowAt_ + k]) ? 0x20 : 0;
  }
}

std::size_t FindText(std::string_view text, const Needle& needle) {
  const std::string_view bytes = needle.text_;
  if (bytes.empty()) return 0;
  if (bytes.size() > text.size()) return kNotFound;
  if (needle.rareByte_ != kNotFound) return FindByRareByte(text, bytes, needle.rareByte_, needle.checkByte_);
  const std::size_t at = needle.windowAt_;
  switch (needle.windowBytes_) {
    case 1:
      return FindByWindow<1>(text, bytes, at, needle.window_, needle.fold_);
    case 2:
      return FindByWindow<2>(text, bytes, at, needle.window_, needle.fold_);
    case 3:
      return FindByWindow<3>(text, bytes, at, needle.window_, needle.fold_);
    default:
      return FindByWindow<4>(text, bytes, at, needle.window_, needle.fold_);
  }
}

std::size_t FindBefore(std::string_view text, const Needle& needle, std::size_t limit) {
  const std::size_t reach = limit + needle.Text().size() - 1;  // past the last byte one may take
  const std::size_t found = FindText(text.substr(0, reach < limit ? text.size() : reach), needle);
  return found < limit ? found : kNotFound;
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
