#pragma once
// The default profile: the data files the program treats as the user's
// configured mailboxes. A UTF-8 text file, one absolute data-file path per
// line, at $XDG_CONFIG_HOME/pellaro/profile (else ~/.config/pellaro/profile).

#include <QString>
#include <QStringList>

namespace outlook::profile {

QString Path();

// The listed paths, in order, each once. No file is an empty profile; a file
// that cannot be read or is not of the form above throws OutlookError.
QStringList Read();

// Appends the path unless it is listed already; the file is replaced
// atomically, so it is never left half written. Throws OutlookError.
void Add(const QString& absolutePath);

// The absolute form of a path under which the profile lists it.
QString Normalize(const QString& path);

}  // namespace outlook::profile
