// SimProcModules.cpp - writes a simulated machine's proc/modules, the driver's line with its use count.
#include "SimulatedRoot.h"

#include <cstdio>

#include "RootFiles.h"

namespace modemsim {

using namespace rootfiles;

void SimulatedRoot::setModules(unsigned long size, int useCount)
{
    char line[160];
    std::snprintf(line, sizeof line, "TSYSM %lu %d - Live 0xe088f000 (OE)\n", size, useCount);
    std::string text = "snd_pcm 114688 0 - Live 0x0000000000000000\n";
    text += line;
    text += "serial_core 36864 1 TSYSM, Live 0x0000000000000000\n";
    setModulesText(text);
}

void SimulatedRoot::setModulesText(const std::string& text)
{
    MakeFolders(file("/proc"));
    ReplaceWhole(file("/proc/modules"), text);
}

void SimulatedRoot::removeModules()
{
    RemoveTree(file("/proc/modules"));
}

}  // namespace modemsim
