#include "common/dialogs/Dialogs.h"

#include <cstdio>
#include <cstdlib>

namespace {
Dialogs* g_dialogs = nullptr;

}  // namespace

Dialogs& dialogs()
{
    if (!g_dialogs) {
        std::fputs("pellaro: no dialogs installed\n", stderr);
        std::abort();
    }
    return *g_dialogs;
}

void setDialogs(Dialogs* d)
{
    g_dialogs = d;
}
