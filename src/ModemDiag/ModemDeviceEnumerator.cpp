// ModemDeviceEnumerator.cpp - joins the hardware and driver tables into the host's device list.

#include "ModemDeviceEnumerator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ExportClass.h"
#include "LogFile.h"
#include "ModemDevice.h"
#include "PciSlot.h"
#include "PluginContract.h"
#include "PombexIface.h"
#include "Velk.h"
#include "VelkLinux.h"

namespace QuarnDiags {
namespace ModemDiag {

std::ofstream ModemDeviceEnumerator::s_logFile;
std::uint32_t ModemDeviceEnumerator::s_logFileInitCount = 0;

namespace {

const char kFuncName[] = "ModemDeviceEnumerator::getDeviceVector";
const char kDeviceDescription[] = "Tessaly Parlance V.92 56K PCI Modem";
const std::uint32_t kTableEntries = 32;

// Reads a hexadecimal ID parameter; the low 16 bits replace *id when found.
void ReadIdParameter(const char* name, std::uint32_t* id)
{
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    if (GetTestParameter(name, buffer, sizeof buffer) != 0) {
        buffer[sizeof buffer - 1] = '\0';
        *id = static_cast<std::uint32_t>(std::strtoul(buffer, nullptr, 16) & 0xFFFF);
    }
}

// The driver record for hardware entry j: on Linux the driver side knows no
// PCI locations, so the n-th PCI function gets the tty numbered n.
void Correlate(const hwDevDetailStruct& hw, std::uint32_t j, const devDetailStruct* devTable,
               std::uint32_t numDevice, devDetailStruct* entry)
{
    std::memset(entry, 0, sizeof *entry);
    entry->bus = hw.bus;
    entry->device = hw.device;
    entry->function = hw.function;
    if (devTable[0].pciLocationKnown) {
        for (std::uint32_t k = 0; k < numDevice; ++k) {
            if (devTable[k].bus == hw.bus && devTable[k].device == hw.device && devTable[k].function == hw.function) {
                std::memcpy(entry, &devTable[k], sizeof *entry);
                return;
            }
        }
        return;
    }
    std::memcpy(entry, &devTable[j], sizeof *entry);
    entry->bus = hw.bus;
    entry->device = hw.device;
    entry->function = hw.function;
}

}  // namespace

ModemDeviceEnumerator::ModemDeviceEnumerator(bool diagLog, DiagnosticMode diagMode)
    : IDeviceEnumerator(diagLog, diagMode), m_pModemDevicesVector(nullptr)
{
    if (!diagLog) {
        return;
    }
    std::string failedPath;
    if (!s_logFile.is_open()) {
        const std::string path = g_logDirPath + "/" + modemdiag::kEnumeratorLogName;
        if (!OpenLogFile(s_logFile, path, LogCreation::GroupWritable)) {
            // The log folder may not exist yet: fall back to the package
            // folder, for every later user of the log folder too.
            failedPath = path;
            g_logDirPath = g_packageDirPath;
            OpenLogFile(s_logFile, g_logDirPath + "/" + modemdiag::kEnumeratorLogName, LogCreation::GroupWritable);
        }
    }
    gpLogFile = &s_logFile;
    ++s_logFileInitCount;

    if (s_logFile.is_open()) {
        WriteLogBanner(s_logFile);
        // One line beyond the contract's silent fall-back, written only when
        // the log folder is unusable: whoever reads this log must learn why
        // it is not where the package puts its logs.
        if (!failedPath.empty()) {
            s_logFile << "Unable to open " << failedPath << "; logging to " << g_logDirPath << "/"
                      << modemdiag::kEnumeratorLogName << " instead" << std::endl;
        }
    }
}

ModemDeviceEnumerator::~ModemDeviceEnumerator()
{
    delete m_pModemDevicesVector;
    m_pModemDevicesVector = nullptr;

    // Every enumerator gives back a share, whether it took one or not.
    --s_logFileInitCount;
    if (s_logFileInitCount == 0) {
        s_logFile.close();
        gpLogFile = nullptr;
    }
}

DeviceEnum::VirtualDeviceVector* ModemDeviceEnumerator::getDeviceVector(const char* /*resourceString*/,
                                                                        Uint uiDeviceType)
{
    SetFunctionName(kFuncName);
    ProgressMessage("Started");
    if (m_pModemDevicesVector != nullptr) {
        ProgressMessage("Normal exit");
        SetFunctionName("");
        return m_pModemDevicesVector;
    }

    char productName[256];
    std::memset(productName, 0, sizeof productName);
    std::snprintf(productName, sizeof productName, "%s", "TSY V.92 56K Modem");
    std::uint32_t deviceID = 0x0418;
    std::uint32_t vendorID = 0xE7A5;
    GetTestParameter("FRIENDLY_NAME", productName, sizeof productName);
    productName[sizeof productName - 1] = '\0';
    ReadIdParameter("DEVICE_ID", &deviceID);
    ReadIdParameter("VENDOR_ID", &vendorID);
    ProgressMessage("Enumerating devices with friendly name: %s; device id: %x; vendor id: %x", productName,
                    static_cast<unsigned>(deviceID), static_cast<unsigned>(vendorID));

    // Both tables live for this call only.
    hwDevDetailStruct hwDevTable[kTableEntries];
    devDetailStruct devTable[kTableEntries];
    std::uint32_t numHwDevice = kTableEntries;
    std::uint32_t numDevice = kTableEntries;
    m_pModemDevicesVector = new DeviceEnum::VirtualDeviceVector();
    std::memset(hwDevTable, 0, sizeof hwDevTable);
    std::memset(devTable, 0, sizeof devTable);

    ProgressMessage("Enumerating hardware devices");
    SetFunctionName("::BuildHWDeviceTable");
    if (BuildHWDeviceTable(hwDevTable, &numHwDevice, static_cast<int>(deviceID), static_cast<int>(vendorID)) != 0) {
        LogMessage("%s - unable to enumerate hardware devices", kFuncName);
        return m_pModemDevicesVector;
    }

    SetFunctionName(kFuncName);
    ProgressMessage("Enumerating software devices");
    SetFunctionName("::BuildDeviceTable");
    if (BuildDeviceTable(devTable, &numDevice, productName) != 0) {
        LogMessage("%s - unbale to enumerate drivers", kFuncName);
        return m_pModemDevicesVector;
    }

    SetFunctionName(kFuncName);
    ProgressMessage("Correlating hardware and software devices");
    for (std::uint32_t j = 0; j < numHwDevice && j < kTableEntries; ++j) {
        ProgressMessage("Gathering data for hardware device %u", static_cast<unsigned>(j + 1));
        devDetailStruct devTableEntry;
        Correlate(hwDevTable[j], j, devTable, numDevice, &devTableEntry);
        char comPort[sizeof devTableEntry.comPort + 1];
        std::snprintf(comPort, sizeof comPort, "%.*s", static_cast<int>(sizeof devTableEntry.comPort),
                      devTableEntry.comPort);

        ProgressMessage("Obtaining PCI slot information");
        SetFunctionName("::GetSlotNumber");
        const int slot = GetSlotNumber(static_cast<std::uint8_t>(devTableEntry.bus),
                                       static_cast<std::uint8_t>(devTableEntry.device));
        devTableEntry.slot = slot == -1 ? 0 : static_cast<std::uint32_t>(slot);
        SetFunctionName(kFuncName);

        char devLocation[64];
        modemdiag::FormatLocation(devLocation, sizeof devLocation, static_cast<int>(devTableEntry.bus),
                                  static_cast<int>(devTableEntry.device), static_cast<int>(devTableEntry.function));

        ProgressMessage("Hardware device %u details:", static_cast<unsigned>(j + 1));
        ProgressMessage("\tDevice name: %s", productName);
        ProgressMessage("\tDevice description: %s", kDeviceDescription);
        ProgressMessage("\tDisable device name: %s", productName);
        ProgressMessage("\tResource tag: %s", devLocation);
        ProgressMessage("\tDevice location: %s", devLocation);
        ProgressMessage("\tDevice descriptor: %s", comPort);
        ProgressMessage("\tDevice type: %d", static_cast<int>(uiDeviceType));
        ProgressMessage("\tCOM port: %s", comPort);
        ProgressMessage("\tPCI slot: %d", static_cast<int>(devTableEntry.slot));

        ModemDevice* device = new ModemDevice(productName, kDeviceDescription, productName, devLocation, devLocation,
                                              comPort, uiDeviceType, &devTableEntry);
        m_pModemDevicesVector->push_back(DeviceEnum::VirtualDevice(device));
    }

    ProgressMessage("Normal exit");
    SetFunctionName("");
    return m_pModemDevicesVector;
}

}  // namespace ModemDiag
}  // namespace QuarnDiags
