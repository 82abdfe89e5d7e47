#pragma once
// The separator the program appends to folder paths. The original program
// ran on Windows and wrote "\"; here the native separator is used.

#include <QChar>

inline constexpr QChar PathSeparator = u'/';
