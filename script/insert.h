#pragma once

#include "script/scan.h"

// Rewrites the insert procedure at the start of scan.scriptText (see scan.h for the ending).
ProcedureEnding RewriteInsertProcedure(ScriptScan& scan, const ProcedureFrame& frame);
