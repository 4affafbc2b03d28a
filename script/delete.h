#pragma once

#include "script/scan.h"

// Rewrites the delete procedure at the start of scan.scriptText (see scan.h for the ending).
ProcedureEnding RewriteDeleteProcedure(ScriptScan& scan, const ProcedureFrame& frame);
