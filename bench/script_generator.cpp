#include "bench/script_generator.h"

#include <array>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

enum class ServerForm { k2000, k2005, k2014 };

struct Column {
  std::string name;
  std::string type;
};

struct Table {
  std::string name;             // as the server writes it, in mixed case
  std::vector<Column> columns;  // the first one is the key
  ServerForm form;
  bool objectComment;
};

constexpr std::array<std::string_view, 15> kNameHeads = {
    "Customer",  "Order",   "Invoice",  "Shipment", "Account", "Product",  "Vendor", "Employee",
    "Warehouse", "Payment", "Contract", "Branch",   "Ticket",  "Schedule", "Station"};
constexpr std::array<std::string_view, 7> kNameTails = {"",       "Line",   "History", "Type",
                                                        "Status", "Detail", "Note"};
// Names holding the letters "go" inside a word, which are not a GO line.
constexpr std::array<std::string_view, 4> kGoNames = {"Category", "CargoManifest", "LogonAudit",
                                                      "ProductCategory"};
constexpr std::array<std::string_view, 16> kColumnNames = {
    "Description", "Active",     "SortOrder", "CreateDate", "CreateUser", "Amount",
    "Quantity",    "StatusCode", "Name",      "Code",       "Price",      "Weight",
    "City",        "Phone",      "Email",     "Remarks"};
constexpr std::array<std::string_view, 10> kColumnTypes = {
    "int",   "varchar(50)", "nvarchar(100)", "datetime",  "bit",
    "money", "smallint",    "numeric(18,0)", "binary(8)", "uniqueidentifier"};

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : random_(seed) {}

  Table NextTable(std::size_t index, bool goName) {
    Table table;
    if (goName) {
      table.name = std::string(kGoNames[Pick(kGoNames.size())]);
    } else {
      table.name = std::string(kNameHeads[index % kNameHeads.size()]) +
                   std::string(kNameTails[(index / kNameHeads.size()) % kNameTails.size()]);
    }
    const std::size_t round = index / (kNameHeads.size() * kNameTails.size());
    if (round > 0) table.name += std::to_string(round);
    table.columns.push_back({table.name + "ID", "int"});
    const std::size_t count = 3 + Pick(10);
    for (std::size_t i = 0; i < count; ++i) {
      table.columns.push_back({std::string(kColumnNames[(index + i) % kColumnNames.size()]),
                               std::string(kColumnTypes[Pick(kColumnTypes.size())])});
    }
    table.form = static_cast<ServerForm>(Pick(3));
    table.objectComment = Pick(2) == 0;
    return table;
  }

  std::size_t Pick(std::size_t count) { return random_() % count; }

 private:
  std::mt19937 random_;
};

std::string Parameter(std::size_t i) { return "@c" + std::to_string(i + 1); }

// The lines in front of each procedure: the object comment and the session settings.
std::string Prelude(const Table& table, std::string_view procName) {
  std::string text;
  if (table.objectComment) {
    text += "/****** Object:  StoredProcedure [dbo].[" + std::string(procName) +
            "]    Script Date: 2021-07-10 1:50:50 PM ******/\n";
  }
  if (table.form == ServerForm::k2014)
    return text + "SET ANSI_NULLS ON\nSET QUOTED_IDENTIFIER ON\nGO\n";
  return text + "SET ANSI_NULLS ON\nGO\nSET QUOTED_IDENTIFIER ON\nGO\n";
}

std::string ProcName(const Table& table, std::string_view kind) {
  const std::string owner = table.form == ServerForm::k2000 ? "" : "dbo";
  return "sp_MS" + std::string(kind) + "_" + owner + table.name;
}

std::string CreateLine(const Table& table, std::string_view kind) {
  const std::string name = ProcName(table, kind);
  return Prelude(table, name) + "create procedure [dbo].[" + name + "]";
}

std::string Quoted(const Table& table, const std::string& name) {
  return table.form == ServerForm::k2000 ? "\"" + name + "\"" : "[" + name + "]";
}

std::string TableRef(const Table& table) {
  return table.form == ServerForm::k2000 ? "\"" + table.name + "\"" : "[dbo].[" + table.name + "]";
}

// What follows a row that was not found, as each server version writes it.
std::string NotFound(const Table& table, std::string_view kindNumber) {
  if (table.form != ServerForm::k2014) {
    return "if @@rowcount = 0\n\tif @@microsoftversion>0x07320000\n\t\texec sp_MSreplraiserror "
           "20598\n";
  }
  const std::string key = table.columns[0].name;
  return "if @@rowcount = 0\n    if @@microsoftversion>0x07320000\n\t\tBegin\n\t\t\t\n"
         "\t\t\tset @primarykey_text = @primarykey_text + '[" +
         key +
         "] = ' + convert(nvarchar(100),@pkc1,1)\n"
         "\t\t\texec sp_MSreplraiserror @errorid=20598, @param1=N'[dbo].[" +
         table.name + "]', @param2=@primarykey_text, @param3=" + std::string(kindNumber) +
         "\n\t\tEnd\n";
}

std::string InsertProcedure(const Table& table) {
  std::string text = CreateLine(table, "ins");
  const std::size_t count = table.columns.size();
  if (table.form == ServerForm::k2000) {
    for (std::size_t i = 0; i < count; ++i) {
      text += i == 0 ? " " : ",";
      text += Parameter(i) + " " + table.columns[i].type;
    }
    text += "\n\nAS\nBEGIN\n\n\ninsert into " + TableRef(table) + "( \n";
    for (std::size_t i = 0; i < count; ++i) {
      text += i == 0 ? "" : ", ";
      text += Quoted(table, table.columns[i].name);
    }
    text += "\n )\n\nvalues ( \n";
    for (std::size_t i = 0; i < count; ++i) {
      text += i == 0 ? "" : ", ";
      text += Parameter(i);
    }
    return text + "\n )\n\n\nEND\nGO\n";
  }
  text += "\n";
  for (std::size_t i = 0; i < count; ++i) {
    text += "    " + Parameter(i) + " " + table.columns[i].type + (i + 1 < count ? ",\n" : "\n");
  }
  text += table.form == ServerForm::k2014 ? "as\nbegin  \n" : "as\nbegin\n";
  text += "\tinsert into " + TableRef(table) + " (\n";
  for (std::size_t i = 0; i < count; ++i) {
    text += "\t\t" + Quoted(table, table.columns[i].name) + (i + 1 < count ? ",\n" : "\n");
  }
  text += "\t) values (\n";
  for (std::size_t i = 0; i < count; ++i)
    text += "\t\t" + Parameter(i) + (i + 1 < count ? ",\n" : "\t) \n");
  return text + (table.form == ServerForm::k2014 ? "end  \nGO\n" : "end\nGO\n");
}

// "case substring(@bitmap,...) when ... end" for each column from `first` on.
std::string SetList(const Table& table, std::size_t first, std::string_view indent) {
  std::string text;
  for (std::size_t i = first; i < table.columns.size(); ++i) {
    const std::string bit = std::to_string(1u << (i % 8));
    const std::string column = Quoted(table, table.columns[i].name);
    // The 2000 form opens each further line with the comma; the later ones close the line.
    const bool leading = table.form == ServerForm::k2000;
    const bool more = i + 1 < table.columns.size();
    text += std::string(indent) + (leading && i != first ? "," : "") + column +
            " = case substring(@bitmap," + std::to_string(i / 8 + 1) + ",1) & " + bit + " when " +
            bit + " then " + Parameter(i) + " else " + column + " end" +
            (!leading && more ? ",\n" : "\n");
  }
  return text;
}

std::string UpdateProcedure(const Table& table) {
  std::string text = CreateLine(table, "upd");
  const std::size_t count = table.columns.size();
  const std::string key = Quoted(table, table.columns[0].name);
  const std::string bitmap = "@bitmap binary(" + std::to_string((count + 7) / 8) + ")\n";
  if (table.form == ServerForm::k2000) {
    text += " \n";
    for (std::size_t i = 0; i < count; ++i) {
      text += i == 0 ? " " : ",";
      text += Parameter(i) + " " + table.columns[i].type;
    }
    text += ",@pkc1 " + table.columns[0].type + "\n," + bitmap + "as\n";
    text += "if substring(@bitmap,1,1) & 1 = 1\nbegin\nupdate " + TableRef(table) + " set\n" +
            SetList(table, 0, "") + "where " + key + " = @pkc1\n" + NotFound(table, "") +
            "end\nelse\nbegin\nupdate " + TableRef(table) + " set\n" + SetList(table, 1, "") +
            "where " + key + " = @pkc1\n" + NotFound(table, "") + "end\nGO\n";
    return text;
  }
  text += "\n";
  for (std::size_t i = 0; i < count; ++i) {
    text += "\t\t" + Parameter(i) + " " + table.columns[i].type + " = NULL,\n";
  }
  text += "\t\t@pkc1 " + table.columns[0].type + " = NULL,\n\t\t" + bitmap + "as\nbegin\n";
  if (table.form == ServerForm::k2014) text += "\tdeclare @primarykey_text nvarchar(100) = ''\n";
  text += "if (substring(@bitmap,1,1) & 1 = 1)\nbegin\nupdate " + TableRef(table) + " set\n" +
          SetList(table, 0, "\t\t") + "\twhere " + key + " = @pkc1\n" + NotFound(table, "13233") +
          "end\nelse\nbegin\nupdate " + TableRef(table) + " set\n" + SetList(table, 1, "\t\t") +
          "\twhere " + key + " = @pkc1\n" + NotFound(table, "13233") + "end\nend\nGO\n";
  return text;
}

std::string DeleteProcedure(const Table& table) {
  std::string text = CreateLine(table, "del");
  const std::string where = "where " + Quoted(table, table.columns[0].name) + " = @pkc1\n";
  if (table.form == ServerForm::k2000) {
    return text + " @pkc1 " + table.columns[0].type + "\nas\ndelete " + TableRef(table) + "\n" +
           where + NotFound(table, "") + "GO\n";
  }
  text += "\n\t\t@pkc1 " + table.columns[0].type + "\nas\nbegin\n";
  if (table.form == ServerForm::k2014) text += "\tdeclare @primarykey_text nvarchar(100) = ''\n";
  return text + "\tdelete " + TableRef(table) + "\n" + where + NotFound(table, "13234") +
         "end\nGO\n";
}

// Writes `text`, written with LF line ends, with the line ends the options ask for.
std::uint64_t WriteLines(std::string_view text, const ScriptOptions& options, std::ostream& out) {
  if (!options.crLf && !options.oneLine) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return text.size();
  }
  std::string converted;
  converted.reserve(text.size() + text.size() / 8);
  for (char byte : text) {
    if (byte != '\n')
      converted.push_back(byte);
    else if (options.oneLine)
      converted.push_back(' ');
    else
      converted.append("\r\n");
  }
  out.write(converted.data(), static_cast<std::streamsize>(converted.size()));
  return converted.size();
}

}  // namespace

GeneratedScript WriteReplicationScript(const ScriptOptions& options, std::ostream& out) {
  Generator generator(options.seed);
  GeneratedScript script;
  script.bytes +=
      WriteLines("-- Replication procedures of the published articles\nGO\n", options, out);
  auto done = [&](std::size_t tables) {
    const bool unlimited = options.targetBytes == 0 && options.tableCount == 0;
    return (unlimited && tables >= 1) ||
           (options.targetBytes != 0 && script.bytes >= options.targetBytes) ||
           (options.tableCount != 0 && tables >= options.tableCount);
  };
  auto lower = [](std::string name) {
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return name;
  };
  for (std::size_t tables = 0; !done(tables); ++tables) {
    const Table table = generator.NextTable(tables, tables % 20 == 19);
    // About a third of the tables have no identity column.
    if (tables == 0 || generator.Pick(3) == 0) script.noIdentityTables.insert(lower(table.name));
    std::string text;
    if (!options.oneLine) text += InsertProcedure(table);
    text += UpdateProcedure(table) + DeleteProcedure(table);
    script.procedures += options.oneLine ? 2 : 3;
    script.bytes += WriteLines(text, options, out);
  }
  return script;
}
