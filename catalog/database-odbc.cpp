// The database layer over unixODBC: the ODBC 3 wide calls behind handles that free
// themselves, a prompt on the terminal (or one line from a pipe) in place of a connection
// dialog, and every failure turned into a DatabaseError carrying the driver's diagnostic.
#include <sql.h>
#include <sqlext.h>
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
  if (!SQL_SUCCEEDED(result)) return DatabaseError{"", "the ODBC call failed and gave no diagnostic"};
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
  Handle(Handle&& other) noexcept
      : type(other.type), value(std::exchange(other.value, nullptr)) {}
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
using ListCall = SQLRETURN (*)(SQLHENV, SQLUSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLWCHAR*,
                               SQLSMALLINT, SQLSMALLINT*);

std::vector<Listed> List(const Handle& environment, ListCall call) {
  std::vector<Listed> entries;
  SQLWCHAR name[256];
  SQLWCHAR description[1024];
  SQLSMALLINT nameLength = 0;
  SQLSMALLINT descriptionLength = 0;
  for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
    const SQLRETURN result = call(environment.value, direction, name, std::size(name), &nameLength, description,
                                  std::size(description), &descriptionLength);
    if (result == SQL_NO_DATA) break;
    Check(result, environment);
    entries.push_back({FromOdbc(name, std::size(name)), FromOdbc(description, std::size(description))});
  }
  return entries;
}

// Reads one line of standard input, byte by byte so that nothing after it is consumed, without
// its line end and the blanks around it. False when the line is empty or input has ended.
bool ReadAnswer(std::string& answer) {
  answer.clear();
  char byte;
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || byte == '\n') break;
    answer += byte;
  }
  const std::size_t first = answer.find_first_not_of(" \t\r");
  if (first == std::string::npos) return false;
  answer = answer.substr(first, answer.find_last_not_of(" \t\r") + 1 - first);
  return true;
}

// The connection string an answer stands for: a number picks a listed data source, anything
// else is a connection string.
std::string ConnectionStringFor(const std::string& answer, const std::vector<Listed>& sources) {
  if (answer.find_first_not_of("0123456789") != std::string::npos) return answer;
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
    std::fprintf(terminal, "  %zu  %s (%s)\n", i + 1, sources[i].name.c_str(), sources[i].description.c_str());
  }
  std::fputs("ODBC drivers, for a connection string such as Driver=<name>;Server=...;Database=...:\n",
             terminal);
  if (drivers.empty()) std::fputs("  (none)\n", terminal);
  for (const Listed& driver : drivers) std::fprintf(terminal, "  %s\n", driver.name.c_str());
}

std::string Describe(const DatabaseError& error) {
  std::string text = error.sqlState.empty() ? error.message : "[" + error.sqlState + "] " + error.message;
  text.erase(text.find_last_not_of(" \t\r\n") + 1);
  return text;
}

// Asks on the terminal until a choice connects, as a dialog's connection test would.
bool PromptOnTerminal(const Handle& environment, std::FILE* terminal, std::string& connectionString) {
  const std::vector<Listed> sources = List(environment, &SQLDataSourcesW);
  ShowChoices(terminal, sources, List(environment, &SQLDriversW));
  for (;;) {
    std::fputs("Data source number or connection string (empty to cancel): ", terminal);
    std::fflush(terminal);
    std::string answer;
    if (!ReadAnswer(answer)) return false;
    try {
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
    const SQLRETURN result = SQLGetData(statement.value, 1, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (result == SQL_NO_DATA) break;  // the previous part was the last
    Check(result, statement);
    if (indicator == SQL_NULL_DATA) break;
    const bool knownLength = indicator != SQL_NO_TOTAL;
    const bool complete = result == SQL_SUCCESS || (knownLength && indicator <= kCapacityBytes);
    // A complete part of unknown length ends at its NUL, where the conversion stops.
    const std::size_t units =
        complete && knownLength ? std::min<std::size_t>(kCapacity, indicator / sizeof(SQLWCHAR)) : kCapacity;
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

void DatabaseSessionDeleter::operator()(DatabaseSession* session) const noexcept {
  delete session;
}

DatabaseSessionPtr StartDatabaseSession() {
  DatabaseSessionPtr session(new DatabaseSession);
  Handle& environment = session->environment;
  environment.type = SQL_HANDLE_ENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment.value))) {
    environment.value = nullptr;
    throw DatabaseError{"", "cannot allocate an ODBC environment"};
  }
  Check(SQLSetEnvAttr(environment.value, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        environment);
  return session;
}

bool PromptForConnection(DatabaseSession& session) {
  const Terminal terminal = OpenTerminal();
  if (terminal) return PromptOnTerminal(session.environment, terminal.get(), session.connectionString);
  std::string answer;
  if (!ReadAnswer(answer)) return false;
  session.connectionString = ConnectionStringFor(answer, List(session.environment, &SQLDataSourcesW));
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
  Check(SQLSetStmtAttrW(statement.value, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN{0}), 0),
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
