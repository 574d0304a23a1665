#pragma once
// Program-wide state of the main unit, shared by the shell and the subsystems
// that work through the main window.

#include <QString>
#include <cstdint>

namespace qf::shell {

inline QString AppDir;      // the program file's folder, with a trailing "/"
inline QString DataBaseDir; // remembered folders and names, kept in the settings
inline QString MailDir;
inline QString SQLFileDir;
inline QString SQLDataBase;
inline QString ProjectFileName;
inline QString TableName;
inline std::uint8_t SqlQueryMode = 0; // 1 while the grid shows an SQL result

} // namespace qf::shell
