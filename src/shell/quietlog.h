#pragma once
// Keeps the terminal quiet on a normal start: Qt WebEngine's account of its graphics
// set-up (info messages of "qt.webenginecontext") and, when the program turned the
// sandbox off itself, WebEngine's note saying so are dropped. Warnings and errors pass
// to the handler that was installed before; QT_LOGGING_RULES can still turn the
// account back on.

namespace qf::shell {

void InstallQuietLog(bool SandboxDisabledHere);

} // namespace qf::shell
