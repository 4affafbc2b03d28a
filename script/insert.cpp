#include "script/insert.h"

ProcedureEnding RewriteInsertProcedure(ScriptScan&, const ProcedureFrame&) {
  return ProcedureEnding::kPassRestAndStop;
}
