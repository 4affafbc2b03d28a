#include "script/update.h"

ProcedureEnding RewriteUpdateProcedure(ScriptScan&, const ProcedureFrame&) {
  return ProcedureEnding::kPassRestAndStop;
}
