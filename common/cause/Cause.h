#pragma once
// What went wrong, as the layers below the windows tell it beside their
// one-line text: the windows, the command line and the tests decide by this
// kind, never by the wording of a message.

enum class Cause {
    NotFound,  // the file or the thing asked for is not there
    NotADataFile,  // the file is not of the kind asked for (no data file, no book of ours)
    Damaged,  // the file is of the right kind, but its structures are broken
    Protected,  // the file is password protected and no password was given for it
    WrongPassword,  // passwords were given, and none of them opens the file
    FormatNotRead,  // a variant of the format this program does not read
    NoPermission,  // the system refused access
    Io,  // reading or writing failed (a full disk, a device error)
    Other,
};

// A short English name of the kind ("not found", "wrong password", ...).
const char* CauseName(Cause cause);
