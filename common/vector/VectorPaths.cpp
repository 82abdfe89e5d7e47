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
        std::string framed(1, ',');
        framed.append(value && std::string_view(value) == "1" ? "all" : value ? value : "");
        framed.push_back(',');
        return framed;
    }();
    return off;
}

}  // namespace

bool VectorPathOn(std::string_view name)
{
    const std::string& off = turnedOff();
    if (off.find(",all,") != std::string::npos)
        return false;
    std::string framed(1, ',');
    framed.append(name);
    framed.push_back(',');
    return off.find(framed) == std::string::npos;
}
