// The database layer on Windows: ADO, with the OLE DB Data Links dialog for the choice of
// the database. Every failed call is returned as a Status with the COM result and the
// provider's description; a call through an object that could not be created fails with
// E_POINTER. A connection attempt gives up after ADO's default connection timeout, 15 seconds.
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <adoint.h>
#include <msdasc.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "catalog/connection_text.h"
#include "catalog/database.h"

namespace {

// The classes and interfaces asked for, as the ADO 2.x and Data Links type libraries
// number them.
constexpr CLSID kCommandClass = {
    0x00000507, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr IID kCommandInterface = {
    0x0000054E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr IID kConnectionInterface = {
    0x00000550, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr CLSID kDataLinksClass = {
    0x2206CDB2, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};
constexpr IID kDataSourceLocatorInterface = {
    0x2206CCB2, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};

// The ADO 2.x command interface ({0000054E-...}); only the methods it shares with every
// later command interface are called.
using AdoCommand = Command25;
using AdoConnection = _ADOConnection;
using AdoRecordset = _ADORecordset;

// One reference to a COM object, released when it goes.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  void Reset() {
    if (object_ != nullptr) object_->Release();
    object_ = nullptr;
  }
  T* get() const { return object_; }
  // For a call that hands out a new reference; drops the one held before.
  T** Out() {
    Reset();
    return &object_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }

 private:
  T* object_ = nullptr;
};

// A wide string owned by the system allocator, as ADO takes and returns text.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text = L"")
      : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return text_; }
  BSTR* Out() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }

 private:
  BSTR text_;
};

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  void SetInt32(LONG number) {
    VariantClear(&value_);
    value_.vt = VT_I4;
    value_.lVal = number;
  }
  VARIANT* get() { return &value_; }

 private:
  VARIANT value_;
};

// The text of `text` up to its first NUL in the system's ANSI code page; false when it
// cannot be converted.
bool ToAnsi(const wchar_t* text, std::string& narrow) {
  narrow.clear();
  if (text == nullptr || *text == L'\0') return true;
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  narrow.resize(static_cast<std::size_t>(size));
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), size, nullptr, nullptr) != size) {
    return false;
  }
  narrow.pop_back();  // the converted NUL
  return true;
}

// The failure `what` for the COM result `result`, in the words of the error that the failed
// call left for this thread, if any; the password of `connectionString` is kept out of them.
Status ComFailure(std::string_view what, HRESULT result, std::string_view connectionString = {}) {
  char code[32];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
  ComRef<IErrorInfo> info;
  Bstr description;
  std::string text;
  if (GetErrorInfo(0, info.Out()) != S_OK || info.get() == nullptr ||
      FAILED(info.get()->GetDescription(description.Out())) || !ToAnsi(description.get(), text) ||
      text.empty()) {
    text = "the call failed";
  }
  return DatabaseFailure(what, text, code, connectionString);
}

// Ok when `result` reports success; otherwise the failure `what`.
Status Check(HRESULT result, std::string_view what, std::string_view connectionString = {}) {
  if (SUCCEEDED(result)) return Status::Ok();
  return ComFailure(what, result, connectionString);
}

// The object behind `ref` in `object`; an empty reference fails as a null interface pointer
// does.
template <typename T>
Status Use(const ComRef<T>& ref, std::string_view what, T*& object) {
  object = ref.get();
  if (object == nullptr) return ComFailure(what, E_POINTER);
  return Status::Ok();
}

// The text of `text` in the system's ANSI code page, or the failure `what`.
Status AnsiText(const wchar_t* text, std::string_view what, std::string& narrow) {
  if (ToAnsi(text, narrow)) return Status::Ok();
  return ComFailure(what, HRESULT_FROM_WIN32(GetLastError()));
}

// Creates the object of `objectClass` for IUnknown, runs it and asks it for `objectInterface`. Any
// failure on the way leaves `object` empty; the first call through it reports that.
template <typename T>
void CreateRunningObject(const CLSID& objectClass, const IID& objectInterface, ComRef<T>& object) {
  ComRef<IUnknown> unknown;
  if (FAILED(CoCreateInstance(objectClass, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.OutVoid()))) {
    return;
  }
  if (FAILED(OleRun(unknown.get()))) return;
  if (FAILED(unknown.get()->QueryInterface(objectInterface, object.OutVoid()))) object.Reset();
}

// The apartment of this thread, left when the session ends if it was entered.
class ComApartment {
 public:
  ComApartment() : entered_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComApartment() {
    if (entered_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool entered_;
};

}  // namespace

// Members go in reverse order of declaration: the records-affected variant, the recordset,
// the command, the connection and the Data Links locator are released in that order, and
// COM is left after all of them.
struct DatabaseSession {
  ComApartment apartment;
  ComRef<IDataSourceLocator> locator;
  ComRef<AdoConnection> connection;
  ComRef<AdoCommand> command;
  ComRef<AdoRecordset> recordset;
  Variant recordsAffected;
  bool onFirstRow = true;  // no row has been fetched since the query ran
};

void DatabaseSessionDeleter::operator()(DatabaseSession* session) const noexcept { delete session; }

Status StartDatabaseSession(DatabaseSessionPtr& session) {
  session.reset(new DatabaseSession);
  CreateRunningObject(kCommandClass, kCommandInterface, session->command);
  CreateRunningObject(kDataLinksClass, kDataSourceLocatorInterface, session->locator);
  return Status::Ok();
}

Status PromptForConnection(DatabaseSession& session) {
  constexpr std::string_view kWhat = "cannot ask for the database";
  const Status cancelled = Status::Error(Status::Code::kCancelled, "");
  IDataSourceLocator* locator = nullptr;
  Status status = Use(session.locator, kWhat, locator);
  ComRef<IDispatch> chosen;
  if (status.ok()) status = Check(locator->PromptNew(chosen.Out()), kWhat);
  if (!status.ok()) return status;
  if (chosen.get() == nullptr) return cancelled;  // the operator cancelled
  const HRESULT result =
      chosen.get()->QueryInterface(kConnectionInterface, session.connection.OutVoid());
  if (result == E_NOINTERFACE) session.connection.Reset();
  if (result != E_NOINTERFACE) status = Check(result, kWhat);
  if (status.ok() && session.connection.get() == nullptr) return cancelled;
  return status;
}

Status OpenConnection(DatabaseSession& session) {
  constexpr std::string_view kWhat = "cannot connect";
  AdoConnection* connection = nullptr;
  Status status = Use(session.connection, kWhat, connection);
  Bstr connectionString;
  if (status.ok()) status = Check(connection->get_ConnectionString(connectionString.Out()), kWhat);
  if (!status.ok()) return status;
  std::string narrow;
  ToAnsi(connectionString.get(), narrow);  // only to keep its password out of the message
  const Bstr userId, password;
  return Check(
      connection->Open(connectionString.get(), userId.get(), password.get(), adConnectUnspecified),
      kWhat, narrow);
}

Status ExecuteQuery(DatabaseSession& session, std::string_view query) {
  constexpr std::string_view kWhat = "cannot run the query";
  AdoCommand* command = nullptr;
  Status status = Use(session.command, kWhat, command);
  if (!status.ok()) return status;
  std::wstring wideQuery;
  if (!query.empty()) {
    const int size =
        MultiByteToWideChar(CP_ACP, 0, query.data(), static_cast<int>(query.size()), nullptr, 0);
    if (size <= 0) return ComFailure(kWhat, HRESULT_FROM_WIN32(GetLastError()));
    wideQuery.resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_ACP, 0, query.data(), static_cast<int>(query.size()), wideQuery.data(),
                        size);
  }
  const Bstr commandText(wideQuery);
  status = Check(command->putref_ActiveConnection(session.connection.get()), kWhat);
  if (status.ok()) status = Check(command->put_CommandText(commandText.get()), kWhat);
  if (status.ok()) status = Check(command->put_CommandType(adCmdText), kWhat);
  if (status.ok()) status = Check(command->put_CommandTimeout(0), kWhat);
  if (!status.ok()) return status;
  session.recordsAffected.SetInt32(0);
  session.onFirstRow = true;
  return Check(command->Execute(session.recordsAffected.get(), nullptr, 0, session.recordset.Out()),
               kWhat);
}

Status FetchFirstColumn(DatabaseSession& session, std::optional<std::string>& text) {
  constexpr std::string_view kWhat = "cannot read the query's rows";
  text.reset();
  AdoRecordset* recordset = nullptr;
  Status status = Use(session.recordset, kWhat, recordset);
  if (status.ok() && !session.onFirstRow) status = Check(recordset->MoveNext(), kWhat);
  session.onFirstRow = false;
  VARIANT_BOOL atEnd = VARIANT_FALSE;
  if (status.ok()) status = Check(recordset->get_EOF(&atEnd), kWhat);
  if (!status.ok() || atEnd != VARIANT_FALSE) return status;

  ComRef<ADOFields> fields;
  status = Check(recordset->get_Fields(fields.Out()), kWhat);
  ADOFields* fieldList = nullptr;
  if (status.ok()) status = Use(fields, kWhat, fieldList);
  Variant index;
  index.SetInt32(0);
  ComRef<ADOField> field;
  if (status.ok()) status = Check(fieldList->get_Item(*index.get(), field.Out()), kWhat);
  ADOField* first = nullptr;
  if (status.ok()) status = Use(field, kWhat, first);
  Variant value, asText;
  if (status.ok()) status = Check(first->get_Value(value.get()), kWhat);
  // The column is read as text whatever its type.
  if (status.ok()) status = Check(VariantChangeType(asText.get(), value.get(), 0, VT_BSTR), kWhat);
  std::string narrow;
  if (status.ok()) status = AnsiText(asText.get()->bstrVal, kWhat, narrow);
  if (status.ok()) text = std::move(narrow);
  return status;
}

Status CloseConnection(DatabaseSession& session) {
  constexpr std::string_view kWhat = "cannot close the connection";
  AdoConnection* connection = nullptr;
  Status status = Use(session.connection, kWhat, connection);
  LONG state = adStateClosed;
  if (status.ok()) status = Check(connection->get_State(&state), kWhat);
  if (status.ok() && state == adStateOpen) status = Check(connection->Close(), kWhat);
  return status;
}
