#include "app/global/Dialogs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {
Dialogs* g_dialogs = nullptr;

std::vector<void (*)()>& programEndWork()
{
    static std::vector<void (*)()> work;
    return work;
}
}  // namespace

void AddProgramEndWork(void (*work)())
{
    auto& all = programEndWork();
    if (std::find(all.begin(), all.end(), work) == all.end())
        all.push_back(work);
}

void RunProgramEndWork()
{
    const std::vector<void (*)()> work = std::exchange(programEndWork(), {});
    for (auto* w : work)
        w();
}

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
