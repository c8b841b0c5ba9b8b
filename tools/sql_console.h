// The interactive side of `strata sql`: when standard input is a terminal,
// lines are read with line editing and history (libedit) under a prompt
// until a statement ends with ";", then run. An error is shown and the
// console goes on; end of input (Ctrl-D) ends it. The history is kept in
// ~/.strata_history.
#pragma once

#include "tools/sql_shell.h"

namespace strata_tool {

// Returns the exit status: 0.
int RunConsole(TSqlShell& shell);

}  // namespace strata_tool
