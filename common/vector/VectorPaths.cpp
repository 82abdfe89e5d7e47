#include "common/vector/VectorPaths.h"

#include <cstdlib>
#include <string>

namespace {

// The names turned off, comma-separated and framed by commas (",crc,utf8,"),
// or ",all,".
const std::string& turnedOff()
{
    static const std::string off = [] {
        const char* value = std::getenv("PELLARO_PORTABLE");
        std::string names = value ? value : "";
        if (names == "1")
            names = "all";
        return "," + names + ",";
    }();
    return off;
}

}  // namespace

bool VectorPathOn(std::string_view name)
{
    const std::string& off = turnedOff();
    if (off.find(",all,") != std::string::npos)
        return false;
    return off.find("," + std::string(name) + ",") == std::string::npos;
}
