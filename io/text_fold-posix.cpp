// Case folding with the C library's wide-character case mapping under the C.UTF-8 locale
// (glibc's towupper_l and towlower_l, which follow Unicode's simple case mappings), and its
// UTF-8 conversions.
#include <climits>
#include <clocale>
#include <cwchar>
#include <cwctype>

#include <locale.h>
#include <wctype.h>

#include "io/text_fold_platform.h"

namespace {

// The locale whose character type is UTF-8 with Unicode's letters, made once.
locale_t Utf8Locale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

// Makes `locale` the calling thread's own for as long as it lives.
class ThreadLocale {
 public:
  explicit ThreadLocale(locale_t locale) : previous_(uselocale(locale)) {}
  ~ThreadLocale() { uselocale(previous_); }
  ThreadLocale(const ThreadLocale&) = delete;
  ThreadLocale& operator=(const ThreadLocale&) = delete;

 private:
  locale_t previous_;
};

}  // namespace

bool FoldLetters(std::string_view name, std::string& folded) {
  const locale_t locale = Utf8Locale();
  if (locale == static_cast<locale_t>(0)) return false;
  const ThreadLocale current(locale);  // mbrtowc and wcrtomb read UTF-8 in it
  folded.clear();
  std::mbstate_t in{}, out{};
  for (std::size_t at = 0; at < name.size();) {
    wchar_t letter = 0;
    const std::size_t length = std::mbrtowc(&letter, name.data() + at, name.size() - at, &in);
    if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2))
      return false;                  // not UTF-8
    at += length == 0 ? 1 : length;  // a zero byte is one letter too
    letter =
        static_cast<wchar_t>(towlower_l(towupper_l(static_cast<wint_t>(letter), locale), locale));
    char bytes[MB_LEN_MAX];
    const std::size_t written = std::wcrtomb(bytes, letter, &out);
    if (written == static_cast<std::size_t>(-1)) return false;
    folded.append(bytes, written);
  }
  return true;
}
