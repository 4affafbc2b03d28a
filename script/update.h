#pragma once

#include "script/scan.h"

// Rewrites the update procedure at the start of scan.scriptText (see scan.h for the ending).
ProcedureEnding RewriteUpdateProcedure(ScriptScan& scan, const ProcedureFrame& frame);
