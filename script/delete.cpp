#include "script/delete.h"

ProcedureEnding RewriteDeleteProcedure(ScriptScan&, const ProcedureFrame&) {
  return ProcedureEnding::kPassRestAndStop;
}
