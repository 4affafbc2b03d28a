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

// Whether a position of the block starts with the prefix. A fixed count of positions and
// bytes, which the compiler turns into vector code also at -O2.
template <std::size_t K>
bool BlockHasPrefix(const unsigned char* block, const unsigned char* prefix, const unsigned char* fold) {
  unsigned char any = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    unsigned char all = 1;
    for (std::size_t k = 0; k < K; ++k) all &= static_cast<unsigned char>((block[i + k] | fold[k]) == prefix[k]);
    any |= all;
  }
  return any != 0;
}

template <std::size_t K>
bool HasPrefixAt(const unsigned char* at, const unsigned char* prefix, const unsigned char* fold) {
  for (std::size_t k = 0; k < K; ++k) {
    if ((at[k] | fold[k]) != prefix[k]) return false;
  }
  return true;
}

// For needles of letters and frequent bytes (CR LF CR LF, "go", "\nend"), where memchr would
// stop on every line or cannot look for both cases: blocks are tested for the needle's first K
// bytes at every position at once, and only a block that has them is looked at position by
// position.
template <std::size_t K>
std::size_t FindByPrefix(std::string_view text, std::string_view needle, const unsigned char* prefix,
                         const unsigned char* fold) {
  const auto* const bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t starts = text.size() - needle.size() + 1;
  auto matchesAt = [&](std::size_t start) {
    return HasPrefixAt<K>(bytes + start, prefix, fold) && MatchesAt(text.data() + start, needle);
  };
  std::size_t start = 0;
  for (; start + kBlock <= starts; start += kBlock) {
    if (!BlockHasPrefix<K>(bytes + start, prefix, fold)) continue;
    for (std::size_t i = start; i < start + kBlock; ++i) {
      if (matchesAt(i)) return i;
    }
  }
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

Needle::Needle(std::string_view text) : text_(text) {
  // memchr over the rarest byte that is not a letter, when it is rare enough; otherwise blocks
  // are tested for the first bytes.
  rareByte_ = kNotFound;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsLetter(text[i]) && (rareByte_ == kNotFound || Rarity(text[i]) > Rarity(text[rareByte_]))) rareByte_ = i;
  }
  if (rareByte_ != kNotFound && text.size() > 1 && Rarity(text[rareByte_]) < kFrequentRanks) rareByte_ = kNotFound;
  checkByte_ = rareByte_ == 0 && text.size() > 1 ? 1 : 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != rareByte_ && Rarity(text[i]) > Rarity(text[checkByte_])) checkByte_ = i;
  }
  prefixBytes_ = std::min<std::size_t>(text.size(), std::size(prefix_));
  for (std::size_t k = 0; k < prefixBytes_; ++k) {
    prefix_[k] = static_cast<unsigned char>(text[k]);
    fold_[k] = IsLetter(text[k]) ? 0x20 : 0;
  }
}

std::size_t FindText(std::string_view text, const Needle& needle) {
  const std::string_view bytes = needle.text_;
  if (bytes.empty()) return 0;
  if (bytes.size() > text.size()) return kNotFound;
  if (needle.rareByte_ != kNotFound) return FindByRareByte(text, bytes, needle.rareByte_, needle.checkByte_);
  switch (needle.prefixBytes_) {
    case 1:
      return FindByPrefix<1>(text, bytes, needle.prefix_, needle.fold_);
    case 2:
      return FindByPrefix<2>(text, bytes, needle.prefix_, needle.fold_);
    case 3:
      return FindByPrefix<3>(text, bytes, needle.prefix_, needle.fold_);
    default:
      return FindByPrefix<4>(text, bytes, needle.prefix_, needle.fold_);
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
