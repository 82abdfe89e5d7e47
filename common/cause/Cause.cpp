#include "common/cause/Cause.h"

const char* CauseName(Cause cause)
{
    switch (cause) {
    case Cause::NotFound:
        return "not found";
    case Cause::NotADataFile:
        return "not a data file";
    case Cause::Damaged:
        return "damaged";
    case Cause::Protected:
        return "password protected";
    case Cause::WrongPassword:
        return "wrong password";
    case Cause::FormatNotRead:
        return "format not read";
    case Cause::NoPermission:
        return "no permission";
    case Cause::Io:
        return "input/output error";
    case Cause::Other:
        break;
    }
    return "other";
}
