// The database layer over unixODBC: the ODBC 3 wide calls behind handles that free
// themselves, a prompt on the terminal (or one line from a pipe) in place of a connection
// dialog, and every failure returned as a Status carrying the driver's diagnostic.
#include <fcntl.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "catalog/connection_text.h"
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

// The failure `what`, for the reason in the first diagnostic record of a handle; the password
// of `connectionString` is kept out of it.
Status Diagnostic(std::string_view what, SQLSMALLINT type, SQLHANDLE handle,
                  std::string_view connectionString = {}) {
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
  if (!SQL_SUCCEEDED(result)) {
    return DatabaseFailure(what, "the ODBC call failed and gave no diagnostic", "", "");
  }
  return DatabaseFailure(what, FromOdbc(message.data(), message.size()),
                         FromOdbc(state, std::size(state)), connectionString);
}

// One ODBC handle, freed when the object goes.
struct Handle {
  SQLSMALLINT type = 0;
  SQLHANDLE value = nullptr;

  Handle() = default;
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

// Ok when `result` reports success; otherwise the failure `what` in the words of `handle`.
Status Check(SQLRETURN result, const Handle& handle, std::string_view what,
             std::string_view connectionString = {}) {
  if (SQL_SUCCEEDED(result)) return Status::Ok();
  return Diagnostic(what, handle.type, handle.value, connectionString);
}

// Allocates a handle of `type` under `parent` into `handle`.
Status Allocate(SQLSMALLINT type, const Handle& parent, Handle& handle, std::string_view what) {
  Handle allocated;
  allocated.type = type;
  if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent.value, &allocated.value))) {
    allocated.value = nullptr;
    return Diagnostic(what, parent.type, parent.value);
  }
  handle = std::move(allocated);
  return Status::Ok();
}

// How long a connection attempt may take before it gives up, as ADO's default connection
// timeout: a server that accepts and never answers (a stalled listener, a stopped server)
// must not hold the run for ever.
constexpr SQLULEN kLoginTimeoutSeconds = 15;

constexpr std::string_view kCannotConnect = "cannot connect";

// A connection handle; disconnected, when connected, before it is freed.
struct Connection {
  Handle dbc;
  bool connected = false;

  explicit Connection(Handle handle) : dbc(std::move(handle)) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    if (connected) SQLDisconnect(dbc.value);
  }
};

// Opens a new connection in `connection` with `connectionString`.
Status Connect(const Handle& environment, std::string_view connectionString,
               std::optional<Connection>& connection) {
  connection.reset();
  Handle dbc;
  Status status = Allocate(SQL_HANDLE_DBC, environment, dbc, kCannotConnect);
  if (!status.ok()) return status;
  connection.emplace(std::move(dbc));
  const Handle& handle = connection->dbc;
  status = Check(SQLSetConnectAttrW(handle.value, SQL_ATTR_LOGIN_TIMEOUT,
                                    reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0),
                 handle, kCannotConnect);
  if (!status.ok()) return status;
  std::vector<SQLWCHAR> text = ToOdbc(connectionString);
  status = Check(SQLDriverConnectW(handle.value, nullptr, text.data(), SQL_NTS, nullptr, 0, nullptr,
                                   SQL_DRIVER_NOPROMPT),
                 handle, kCannotConnect, connectionString);
  connection->connected = status.ok();
  return status;
}

// An entry that SQLDataSourcesW or SQLDriversW lists: a data source and the description of
// its driver, or a driver and its attributes.
struct Listed {
  std::string name;
  std::string description;
};
using ListCall = SQLRETURN (*)(SQLHENV, SQLUSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*,
                               SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*);

Status List(const Handle& environment, ListCall call, std::string_view what,
            std::vector<Listed>& entries) {
  SQLWCHAR name[256];
  SQLWCHAR description[1024];
  SQLSMALLINT nameLength = 0;
  SQLSMALLINT descriptionLength = 0;
  for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
    const SQLRETURN result = call(environment.value, direction, name, std::size(name), &nameLength,
                                  description, std::size(description), &descriptionLength);
    if (result == SQL_NO_DATA) return Status::Ok();
    Status status = Check(result, environment, what);
    if (!status.ok()) return status;
    entries.push_back(
        {FromOdbc(name, std::size(name)), FromOdbc(description, std::size(description))});
  }
}

Status ListDataSources(const Handle& environment, std::vector<Listed>& sources) {
  return List(environment, &SQLDataSourcesW, "cannot list the ODBC data sources", sources);
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

// A choice refused before any driver sees it, as one that cannot connect.
Status Refused(std::string why) { return DatabaseFailure(kCannotConnect, why, "", ""); }

// Reads the operator's answer: the line, without its line end and the blanks around it. An
// empty or blank line, or the end of input, is kCancelled; a line longer than kAnswerLimit is
// refused, and the rest of it is left unread.
Status ReadAnswer(std::string& answer) {
  answer = ReadLineBytes(kAnswerLimit + 1);
  if (answer.size() > kAnswerLimit && !answer.ends_with('\n')) {
    return Refused("the answer is longer than 4096 bytes");
  }
  const std::size_t first = answer.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return Status::Error(Status::Code::kCancelled, "");
  answer = answer.substr(first, answer.find_last_not_of(" \t\r\n") + 1 - first);
  return Status::Ok();
}

// Refuses a connection string whose DRIVER, DSN or FILEDSN value would overrun the driver
// manager's buffers.
Status CheckNameValues(std::string_view text) {
  Status status;
  ForEachAttribute(text, [&](std::string_view keyword, std::string_view value) {
    for (const std::string_view name : {"DRIVER", "DSN", "FILEDSN"}) {
      if (status.ok() && IsKeyword(keyword, name) && value.size() > kNameValueLimit) {
        status = Refused("the " + std::string(name) + " value is longer than 255 bytes");
      }
    }
  });
  return status;
}

// The connection string an answer stands for: a number picks a listed data source, anything
// else is a connection string.
Status ConnectionStringFor(const std::string& answer, const std::vector<Listed>& sources,
                           std::string& connectionString) {
  if (answer.find_first_not_of("0123456789") != std::string::npos) {
    Status status = CheckNameValues(answer);
    if (status.ok()) connectionString = answer;
    return status;
  }
  std::size_t number = 0;
  const auto [end, error] = std::from_chars(answer.data(), answer.data() + answer.size(), number);
  if (error != std::errc() || number == 0 || number > sources.size()) {
    return Refused("there is no data source number " + answer);
  }
  connectionString = "DSN=" + sources[number - 1].name;
  return Status::Ok();
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

// One choice on the terminal: read, then tried, as a dialog's connection test would.
Status TryAnswer(const Handle& environment, const std::vector<Listed>& sources,
                 std::string& connectionString) {
  std::string answer;
  Status status = ReadAnswer(answer);
  if (status.code() == Status::Code::kDatabaseError) SkipRestOfLine();
  if (!status.ok()) return status;
  std::string choice;
  status = ConnectionStringFor(answer, sources, choice);
  if (!status.ok()) return status;
  std::optional<Connection> trial;
  status = Connect(environment, choice, trial);
  if (status.ok()) connectionString = std::move(choice);
  return status;
}

// Asks on the terminal until a choice connects or the operator cancels; each choice that
// fails is told there, and the question comes again.
Status PromptOnTerminal(const Handle& environment, std::FILE* terminal,
                        std::string& connectionString) {
  std::vector<Listed> sources, drivers;
  Status status = ListDataSources(environment, sources);
  if (status.ok())
    status = List(environment, &SQLDriversW, "cannot list the ODBC drivers", drivers);
  if (!status.ok()) return status;
  ShowChoices(terminal, sources, drivers);
  for (;;) {
    std::fputs("Data source number or connection string (empty to cancel): ", terminal);
    std::fflush(terminal);
    status = TryAnswer(environment, sources, connectionString);
    if (status.code() != Status::Code::kDatabaseError) return status;
    std::fprintf(terminal, "%s\n", status.message().c_str());
  }
}

// The first column of the current row as wide text, read in parts while the driver reports
// it truncated. A database null gives empty text.
Status ReadFirstColumn(const Handle& statement, std::u16string& value) {
  SQLWCHAR buffer[1024] = {};
  constexpr std::size_t kCapacity = std::size(buffer) - 1;  // one place for the NUL
  constexpr SQLLEN kCapacityBytes = kCapacity * sizeof(SQLWCHAR);
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN result =
        SQLGetData(statement.value, 1, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (result == SQL_NO_DATA) break;  // the previous part was the last
    Status status = Check(result, statement, "cannot read the query's rows");
    if (!status.ok()) return status;
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
  return Status::Ok();
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

Status StartDatabaseSession(DatabaseSessionPtr& session) {
  DatabaseSessionPtr started(new DatabaseSession);
  Handle& environment = started->environment;
  environment.type = SQL_HANDLE_ENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment.value))) {
    environment.value = nullptr;
    return DatabaseFailure("cannot set up ODBC", "no environment can be allocated", "", "");
  }
  Status status = Check(SQLSetEnvAttr(environment.value, SQL_ATTR_ODBC_VERSION,
                                      reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                        environment, "cannot set up ODBC");
  if (status.ok()) session = std::move(started);
  return status;
}

Status PromptForConnection(DatabaseSession& session) {
  const Terminal terminal = OpenTerminal();
  if (terminal)
    return PromptOnTerminal(session.environment, terminal.get(), session.connectionString);
  std::string answer;
  Status status = ReadAnswer(answer);
  if (!status.ok()) return status;
  std::vector<Listed> sources;
  status = ListDataSources(session.environment, sources);
  if (!status.ok()) return status;
  return ConnectionStringFor(answer, sources, session.connectionString);
}

Status OpenConnection(DatabaseSession& session) {
  session.statement = Handle();
  return Connect(session.environment, session.connectionString, session.connection);
}

Status ExecuteQuery(DatabaseSession& session, std::string_view query) {
  constexpr std::string_view kWhat = "cannot run the query";
  if (!session.connection || !session.connection->connected) {
    return DatabaseFailure(kWhat, "no connection is open", "", "");
  }
  Status status = Allocate(SQL_HANDLE_STMT, session.connection->dbc, session.statement, kWhat);
  if (!status.ok()) return status;
  const Handle& statement = session.statement;
  status = Check(SQLSetStmtAttrW(statement.value, SQL_ATTR_QUERY_TIMEOUT,
                                 reinterpret_cast<SQLPOINTER>(SQLULEN{0}), 0),
                 statement, kWhat);
  if (!status.ok()) return status;
  std::vector<SQLWCHAR> text = ToOdbc(query);
  const SQLRETURN result = SQLExecDirectW(statement.value, text.data(), SQL_NTS);
  if (result == SQL_NO_DATA) return Status::Ok();
  return Check(result, statement, kWhat);
}

Status FetchFirstColumn(DatabaseSession& session, std::optional<std::string>& text) {
  text.reset();
  const Handle& statement = session.statement;
  if (statement.value == nullptr) {
    return DatabaseFailure("cannot read the query's rows", "no query has run", "", "");
  }
  const SQLRETURN result = SQLFetch(statement.value);
  if (result == SQL_NO_DATA) return Status::Ok();
  Status status = Check(result, statement, "cannot read the query's rows");
  std::u16string value;
  if (status.ok()) status = ReadFirstColumn(statement, value);
  if (status.ok()) text = Utf8FromUtf16(value);
  return status;
}

Status CloseConnection(DatabaseSession& session) {
  session.statement = Handle();
  if (!session.connection || !session.connection->connected) return Status::Ok();
  Connection& connection = *session.connection;
  Status status =
      Check(SQLDisconnect(connection.dbc.value), connection.dbc, "cannot close the connection");
  if (status.ok()) connection.connected = false;
  return status;
}
