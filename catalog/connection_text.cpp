#include "catalog/connection_text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kMask = "***";

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
}

// Where the value that starts at `first` of `text` (within `open` and `close`, a doubled `close`
// standing for one) ends: the position of its closing character, or the text's end.
std::size_t EnclosedEnd(std::string_view text, std::size_t first, char close) {
  std::size_t end = first + 1;
  while (end < text.size() &&
         !(text[end] == close && (end + 1 >= text.size() || text[end + 1] != close))) {
    end += text[end] == close ? 2 : 1;
  }
  return std::min(end, text.size());
}

// The value that starts `text`, which follows a keyword's "=": up to the next ";", or within
// braces or quotes. `text` is left after the value and its ";".
std::string_view CutValue(std::string_view& text) {
  std::size_t end = 0;
  std::string_view value;
  const std::size_t first = text.find_first_not_of(kBlanks);
  const char open = first == std::string_view::npos ? '\0' : text[first];
  if (open == '{' || open == '"' || open == '\'') {
    end = EnclosedEnd(text, first, open == '{' ? '}' : open);
    value = text.substr(first + 1, end - first - 1);
    end = std::min(text.find(';', end), text.size());
  } else {
    end = std::min(text.find(';'), text.size());
    value = text.substr(0, end);
  }
  text.remove_prefix(std::min(end + 1, text.size()));
  return value;
}

bool IsPasswordKeyword(std::string_view keyword) {
  return IsKeyword(keyword, "PWD") || IsKeyword(keyword, "PASSWORD");
}

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

void ReplaceAll(std::string& text, std::string_view what) {
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + kMask.size())) {
    text.replace(at, what.size(), kMask);
  }
}

// Masks what follows each "pwd=" and "password=" of `text`, to the next ";" or line end.
void MaskPasswordAttributes(std::string& text) {
  for (const std::string_view keyword : {"pwd=", "password="}) {
    for (std::size_t at = Lowered(text).find(keyword); at != std::string::npos;
         at = Lowered(text).find(keyword, at + 1)) {
      const std::size_t from = at + keyword.size();
      const std::size_t lineEnd = std::min(text.find_first_of("\r\n", from), text.size());
      std::string_view rest = std::string_view(text).substr(from, lineEnd - from);
      const std::size_t restSize = rest.size();
      CutValue(rest);
      const std::size_t valueEnd = from + restSize - rest.size();
      const bool endsWithSemicolon = valueEnd > from && text[valueEnd - 1] == ';';
      text.replace(from, valueEnd - from - (endsWithSemicolon ? 1 : 0), kMask);
    }
  }
}

// `text` with each line end, and the blanks and tabs around it, as one blank; blanks at either
// end cut.
std::string OneLine(std::string_view text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      line += text[i];
      continue;
    }
    line.erase(line.find_last_not_of(kBlanks) + 1);
    while (i + 1 < text.size() &&
           std::string_view(" \t\r\n").find(text[i + 1]) != std::string_view::npos) {
      ++i;
    }
    line += ' ';
  }
  return std::string(TrimBlanks(line));
}

}  // namespace

void ForEachAttribute(
    std::string_view connectionString,
    const std::function<void(std::string_view keyword, std::string_view value)>& visit) {
  std::string_view text = connectionString;
  while (!text.empty()) {
    const std::size_t equals = text.find('=');
    const std::size_t semicolon = text.find(';');
    if (equals == std::string_view::npos) return;
    if (semicolon < equals) {  // an attribute without a value
      text.remove_prefix(semicolon + 1);
      continue;
    }
    const std::string_view keyword = TrimBlanks(text.substr(0, equals));
    text.remove_prefix(equals + 1);
    visit(keyword, CutValue(text));
  }
}

bool IsKeyword(std::string_view keyword, std::string_view upperName) {
  return keyword.size() == upperName.size() &&
         std::equal(keyword.begin(), keyword.end(), upperName.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == b;
         });
}

std::string DiagnosticLine(std::string_view text, std::string_view connectionString) {
  std::vector<std::string_view> passwords;
  ForEachAttribute(connectionString, [&](std::string_view keyword, std::string_view value) {
    if (IsPasswordKeyword(keyword) && !value.empty()) passwords.push_back(value);
  });
  // The longest first, so that no part of a longer one is left beside the mask.
  std::sort(passwords.begin(), passwords.end(),
            [](std::string_view a, std::string_view b) { return a.size() > b.size(); });
  std::string masked(text);
  for (const std::string_view password : passwords) ReplaceAll(masked, password);
  MaskPasswordAttributes(masked);
  return OneLine(masked);
}

Status DatabaseFailure(std::string_view what, std::string_view message, std::string_view code,
                       std::string_view connectionString) {
  std::string line(what);
  line += ": " + DiagnosticLine(message, connectionString);
  if (!code.empty()) line += " (" + std::string(code) + ")";
  return Status::Error(Status::Code::kDatabaseError, std::move(line));
}
