#pragma once
// Passwords of protected personal folders files. The file keeps no password,
// only its check value (PidTagPstPassword): the file's CRC over the
// password's 8-bit bytes. The passwords a user gives are kept in memory for
// the program's run, by the file's canonical path, and never shown.

#include <QString>

#include <cstdint>
#include <vector>

namespace outlook::pst {

// The check value of a password given as bytes.
std::uint32_t passwordCrc(const QByteArray& bytes);

void rememberPassword(const QString& canonicalPath, const QString& password);
void forgetPasswords();

// Returns when a password remembered for the file, in one of `codepages`, has
// the check value `stored`. Throws OutlookError: Cause::Protected when none
// is remembered for it, Cause::WrongPassword when none of them fits.
void checkPassword(const QString& canonicalPath, std::uint32_t stored, const std::vector<int>& codepages);

}  // namespace outlook::pst
