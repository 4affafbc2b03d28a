// The database layer over unixODBC: the ODBC 3 wide calls behind handles that free
// themselves, a prompt on the terminal (or one line from a pipe) in place of a connection
// dialog, and every failure turned into a DatabaseError carrying the driver's diagnostic.
#include <fcntl.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "catalog/database.h"
#include "io/text_codec.h"

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC calls must take UTF-16");

namespace {

// Wide text for an ODBC call, NUL-terminated.
std::vector<SQLWCHAR> ToOdbc(std::string_view text) {
  const std::u16string wide = Utf16FromUtf8(text);
  std::vector<SQLWCHAR> result(wide.begin(), wide.end());
  result.push_back(0);
  return result;
}

// Narrow text from a wide buffer that an ODBC call filled; ends at its NUL.
std::string FromOdbc(const SQLWCHAR* text, std::size_t capacity) {
  return Utf8FromUtf16(std::u16string(text, text + capacity));
}

// The first diagnostic record of a handle as an error.
DatabaseError Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
  SQLWCHAR state[6] = {};
  SQLINTEGER nativeError = 0;
  std::vector<SQLWCHAR> message(1024);
  SQLSMALLINT length = 0;
  auto read = [&] {
    return SQLGetDiagRecW(type, handle, 1, state, &nativeError, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
  };
  SQLRETURN result = read();
  if (result == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(length) >= message.size()) {
    message.resize(static_cast<std::size_t>(length) + 1);
    result = read();
  }
  if (!SQL_SUCCEEDED(result))
    return DatabaseError{"", "the ODBC call failed and gave no diagnostic"};
  return DatabaseError{FromOdbc(state, std::size(state)), FromOdbc(message.data(), message.size())};
}

void Check(SQLRETURN result, SQLSMALLINT type, SQLHANDLE handle) {
  if (!SQL_SUCCEEDED(result)) throw Diagnostic(type, handle);
}

// One ODBC handle, freed when the object goes.
struct Handle {
  SQLSMALLINT type = 0;
  SQLHANDLE value = nullptr;

  Handle() = default;
  Handle(SQLSMALLINT handleType, const Handle& parent) : type(handleType) {
    Check(SQLAllocHandle(type, parent.value, &value), parent.type, parent.value);
  }
  Handle(Handle&& other) noexcept : type(other.type), value(std::exchange(other.value, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    std::swap(type, other.type);
    std::swap(value, other.value);
    return *this;
  }
  ~Handle() {
    if (value != nullptr) SQLFreeHandle(type, value);
  }
};

void Check(SQLRETURN result, const Handle& handle) { Check(result, handle.type, handle.value); }

// A connection handle; disconnected, when connected, before it is freed.
struct Connection {
  Handle dbc;
  bool connected = false;

  explicit Connection(const Handle& environment) : dbc(SQL_HANDLE_DBC, environment) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    if (connected) SQLDisconnect(dbc.value);
  }
};

void Connect(Connection& connection, std::string_view connectionString) {
  std::vector<SQLWCHAR> text = ToOdbc(connectionString);
  Check(SQLDriverConnectW(connection.dbc.value, nullptr, text.data(), SQL_NTS, nullptr, 0, nullptr,
                          SQL_DRIVER_NOPROMPT),
        connection.dbc);
  connection.connected = true;
}

// An entry that SQLDataSourcesW or SQLDriversW lists: a data source and the description of
// its driver, or a driver and its attributes.
struct Listed {
  std::string name;
  std::string description;
};
using ListCall = SQLRETURN (*)(SQLHENV, SQLUSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*,
                               SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*);

std::vector<Listed> List(const Handle& environment, ListCall call) {
  std::vector<Listed> entries;
  SQLWCHAR name[256];
  SQLWCHAR description[1024];
  SQLSMALLINT nameLength = 0;
  SQLSMALLINT descriptionLength = 0;
  for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
    const SQLRETURN result = call(environment.value, direction, name, std::size(name), &nameLength,
                                  description, std::size(description), &descriptionLength);
    if (result == SQL_NO_DATA) break;
    Check(result, environment);
    entries.push_back(
        {FromOdbc(name, std::size(name)), FromOdbc(description, std::size(description))});
  }
  return entries;
}

// The longest answer taken, without its line end. A longer one is refused before any driver
// sees it: drivers crash on connection strings of some tens of kilobytes.
constexpr std::size_t kAnswerLimit = 4096;

// The longest DRIVER, DSN or FILEDSN value passed on: the driver manager aborts on names of a
// kilobyte.
constexpr std::size_t kNameValueLimit = 255;

ssize_t ReadRetrying(int fd, char* bytes, std::size_t size) {
  for (;;) {
    const ssize_t got = read(fd, bytes, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

// Reads exactly `size` bytes unless input ends or fails first; returns how many it read.
std::size_t ReadFully(int fd, char* bytes, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ReadRetrying(fd, bytes + done, size - done);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

// How many of `bytes` belong to the line they start: up to and including its line feed.
std::size_t LineLength(std::string_view bytes) {
  const std::size_t lineFeed = bytes.find('\n');
  return lineFeed == std::string_view::npos ? bytes.size() : lineFeed + 1;
}

// A pipe: tee() copies what it holds into a pipe of the program's own without taking it from
// standard input, and only the line's bytes are then read. False, having read nothing, when
// tee() cannot be used.
bool ReadLineFromPipe(std::string& line, std::size_t limit) {
  struct Pipe {
    int fd[2] = {-1, -1};
    ~Pipe() {
      if (fd[0] >= 0) close(fd[0]);
      if (fd[1] >= 0) close(fd[1]);
    }
  } peek;
  if (pipe2(peek.fd, O_CLOEXEC) != 0) return false;
  std::vector<char> seen(limit);
  while (line.size() < limit && !line.ends_with('\n')) {
    const ssize_t copied = tee(STDIN_FILENO, peek.fd[1], limit - line.size(), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 && line.empty()) return false;
    if (copied <= 0) break;  // input has ended
    const std::size_t count = ReadFully(peek.fd[0], seen.data(), static_cast<std::size_t>(copied));
    const std::size_t take = LineLength(std::string_view(seen.data(), count));
    const std::size_t taken = ReadFully(STDIN_FILENO, seen.data(), take);
    line.append(seen.data(), taken);
    if (taken < take) break;
  }
  return true;
}

// A file: read ahead, then positioned just after the line. False, having read nothing, when
// standard input cannot be positioned.
bool ReadLineFromFile(std::string& line, std::size_t limit) {
  const off_t start = lseek(STDIN_FILENO, 0, SEEK_CUR);
  if (start < 0) return false;
  std::vector<char> bytes(limit);
  const std::size_t count = ReadFully(STDIN_FILENO, bytes.data(), limit);
  line.assign(bytes.data(), LineLength(std::string_view(bytes.data(), count)));
  lseek(STDIN_FILENO, start + static_cast<off_t>(line.size()), SEEK_SET);
  return true;
}

// Reads standard input up to and including its next line feed, or `limit` bytes, or to its
// end, and never past that line feed: a shell script that goes on reading standard input
// after the program finds the next line there. A terminal, a socket or a device, which can
// neither be looked at ahead nor positioned, is read a byte at a time.
std::string ReadLineBytes(std::size_t limit) {
  std::string line;
  struct stat status;
  const bool known = fstat(STDIN_FILENO, &status) == 0;
  if (known && S_ISFIFO(status.st_mode) && ReadLineFromPipe(line, limit)) return line;
  if (known && S_ISREG(status.st_mode) && ReadLineFromFile(line, limit)) return line;
  char byte;
  while (line.size() < limit && ReadRetrying(STDIN_FILENO, &byte, 1) == 1) {
    line += byte;
    if (byte == '\n') break;
  }
  return line;
}

// Takes what is left of a line that was too long, so that the next question reads a new one.
void SkipRestOfLine() {
  char byte;
  while (ReadRetrying(STDIN_FILENO, &byte, 1) == 1 && byte != '\n') {
  }
}

enum class Answer {
  kGiven,      // the line, without its line end and the blanks around it
  kCancelled,  // an empty or blank line, or the end of input
  kTooLong,    // longer than kAnswerLimit; the rest of the line is not read
};

Answer ReadAnswer(std::string& answer) {
  answer = ReadLineBytes(kAnswerLimit + 1);
  if (answer.size() > kAnswerLimit && !answer.ends_with('\n')) return Answer::kTooLong;
  const std::size_t first = answer.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return Answer::kCancelled;
  answer = answer.substr(first, answer.find_last_not_of(" \t\r\n") + 1 - first);
  return Answer::kGiven;
}

DatabaseError AnswerTooLong() { return DatabaseError{"", "the answer is longer than 4096 bytes"}; }

bool SameKeyword(std::string_view keyword, std::string_view name) {
  return keyword.size() == name.size() &&
         std::equal(keyword.begin(), keyword.end(), name.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == b;
         });
}

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

// The value that starts `text`, which follows a keyword's "=": up to the next ";", or within
// braces, where "}}" stands for "}". `text` is left after the value and its ";".
std::string_view CutValue(std::string_view& text) {
  std::size_t end = 0;
  std::string_view value;
  const std::size_t first = text.find_first_not_of(" \t");
  if (first != std::string_view::npos && text[first] == '{') {
    end = first + 1;
    while (end < text.size() &&
           !(text[end] == '}' && (end + 1 >= text.size() || text[end + 1] != '}'))) {
      end += text[end] == '}' ? 2 : 1;
    }
    value = text.substr(first + 1, std::min(end, text.size()) - first - 1);
    end = std::min(text.find(';', end), text.size());
  } else {
    end = std::min(text.find(';'), text.size());
    value = text.substr(0, end);
  }
  text.remove_prefix(std::min(end + 1, text.size()));
  return value;
}

// Refuses, as a choice that cannot connect, a connection string whose DRIVER, DSN or FILEDSN
// value would overrun the driver manager's buffers.
void CheckNameValues(std::string_view text) {
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
    const std::string_view value = CutValue(text);
    for (const std::string_view name : {"DRIVER", "DSN", "FILEDSN"}) {
      if (SameKeyword(keyword, name) && value.size() > kNameValueLimit) {
        throw DatabaseError{"", "the " + std::string(name) + " value is longer than 255 bytes"};
      }
    }
  }
}

// The connection string an answer stands for: a number picks a listed data source, anything
// else is a connection string.
std::string ConnectionStringFor(const std::string& answer, const std::vector<Listed>& sources) {
  if (answer.find_first_not_of("0123456789") != std::string::npos) {
    CheckNameValues(answer);
    return answer;
  }
  std::size_t number = 0;
  const auto [end, error] = std::from_chars(answer.data(), answer.data() + answer.size(), number);
  if (error != std::errc() || number == 0 || number > sources.size()) {
    throw DatabaseError{"", "there is no data source number " + answer};
  }
  return "DSN=" + sources[number - 1].name;
}

using Terminal = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The terminal to talk on, or none when standard input is not a terminal.
Terminal OpenTerminal() {
  return Terminal(isatty(STDIN_FILENO) ? std::fopen("/dev/tty", "w") : nullptr, &std::fclose);
}

void ShowChoices(std::FILE* terminal, const std::vector<Listed>& sources,
                 const std::vector<Listed>& drivers) {
  std::fputs("ODBC data sources:\n", terminal);
  if (sources.empty()) std::fputs("  (none)\n", terminal);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    std::fprintf(terminal, "  %zu  %s (%s)\n", i + 1, sources[i].name.c_str(),
                 sources[i].description.c_str());
  }
  std::fputs(
      "ODBC drivers, for a connection string such as Driver=<name>;Server=...;Database=...:\n",
      terminal);
  if (drivers.empty()) std::fputs("  (none)\n", terminal);
  for (const Listed& driver : drivers) std::fprintf(terminal, "  %s\n", driver.name.c_str());
}

std::string Describe(const DatabaseError& error) {
  std::string text =
      error.sqlState.empty() ? error.message : "[" + error.sqlState + "] " + error.message;
  text.erase(text.find_last_not_of(" \t\r\n") + 1);
  return text;
}

// Asks on the terminal until a choice connects, as a dialog's connection test would.
bool PromptOnTerminal(const Handle& environment, std::FILE* terminal,
                      std::string& connectionString) {
  const std::vector<Listed> sources = List(environment, &SQLDataSourcesW);
  ShowChoices(terminal, sources, List(environment, &SQLDriversW));
  for (;;) {
    std::fputs("Data source number or connection string (empty to cancel): ", terminal);
    std::fflush(terminal);
    std::string answer;
    const Answer read = ReadAnswer(answer);
    if (read == Answer::kCancelled) return false;
    try {
      if (read == Answer::kTooLong) {
        SkipRestOfLine();
        throw AnswerTooLong();
      }
      std::string choice = ConnectionStringFor(answer, sources);
      Connection trial(environment);
      Connect(trial, choice);
      connectionString = std::move(choice);
      return true;
    } catch (const DatabaseError& error) {
      std::fprintf(terminal, "Cannot connect: %s\n", Describe(error).c_str());
    }
  }
}

// The first column of the current row as wide text, read in parts while the driver reports
// it truncated. A database null gives empty text.
std::u16string ReadFirstColumn(const Handle& statement) {
  std::u16string value;
  SQLWCHAR buffer[1024] = {};
  constexpr std::size_t kCapacity = std::size(buffer) - 1;  // one place for the NUL
  constexpr SQLLEN kCapacityBytes = kCapacity * sizeof(SQLWCHAR);
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN result =
        SQLGetData(statement.value, 1, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (result == SQL_NO_DATA) break;  // the previous part was the last
    Check(result, statement);
    if (indicator == SQL_NULL_DATA) break;
    const bool knownLength = indicator != SQL_NO_TOTAL;
    const bool complete = result == SQL_SUCCESS || (knownLength && indicator <= kCapacityBytes);
    // A complete part of unknown length ends at its NUL, where the conversion stops.
    const std::size_t units = complete && knownLength
                                  ? std::min<std::size_t>(kCapacity, indicator / sizeof(SQLWCHAR))
                                  : kCapacity;
    value.append(buffer, buffer + units);
    if (complete) break;
  }
  return value;
}

}  // namespace

// Members are released in reverse order: statement, connection, environment.
struct DatabaseSession {
  Handle environment;
  std::string connectionString;
  std::optional<Connection> connection;
  Handle statement;
};

void DatabaseSessionDeleter::operator()(DatabaseSession* session) const noexcept { delete session; }

DatabaseSessionPtr StartDatabaseSession() {
  DatabaseSessionPtr session(new DatabaseSession);
  Handle& environment = session->environment;
  environment.type = SQL_HANDLE_ENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment.value))) {
    environment.value = nullptr;
    throw DatabaseError{"", "cannot allocate an ODBC environment"};
  }
  Check(SQLSetEnvAttr(environment.value, SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        environment);
  return session;
}

bool PromptForConnection(DatabaseSession& session) {
  const Terminal terminal = OpenTerminal();
  if (terminal)
    return PromptOnTerminal(session.environment, terminal.get(), session.connectionString);
  std::string answer;
  const Answer read = ReadAnswer(answer);
  if (read == Answer::kCancelled) return false;
  if (read == Answer::kTooLong) throw AnswerTooLong();
  session.connectionString =
      ConnectionStringFor(answer, List(session.environment, &SQLDataSourcesW));
  return true;
}

void OpenConnection(DatabaseSession& session) {
  session.statement = Handle();
  session.connection.emplace(session.environment);
  Connect(*session.connection, session.connectionString);
}

void ExecuteQuery(DatabaseSession& session, std::string_view query) {
  if (!session.connection) throw DatabaseError{"", "no connection is open"};
  session.statement = Handle(SQL_HANDLE_STMT, session.connection->dbc);
  const Handle& statement = session.statement;
  Check(SQLSetStmtAttrW(statement.value, SQL_ATTR_QUERY_TIMEOUT,
                        reinterpret_cast<SQLPOINTER>(SQLULEN{0}), 0),
        statement);
  std::vector<SQLWCHAR> text = ToOdbc(query);
  const SQLRETURN result = SQLExecDirectW(statement.value, text.data(), SQL_NTS);
  if (result != SQL_NO_DATA) Check(result, statement);
}

bool FetchFirstColumn(DatabaseSession& session, std::string& text) {
  const Handle& statement = session.statement;
  const SQLRETURN result = SQLFetch(statement.value);
  if (result == SQL_NO_DATA) return false;
  Check(result, statement);
  text = Utf8FromUtf16(ReadFirstColumn(statement));
  return true;
}

void CloseConnection(DatabaseSession& session) {
  session.statement = Handle();
  if (!session.connection || !session.connection->connected) return;
  Check(SQLDisconnect(session.connection->dbc.value), session.connection->dbc);
  session.connection->connected = false;
}
