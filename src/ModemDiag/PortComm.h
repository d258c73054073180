// PortComm.h - serial port access for modem ttys: open, raw setup, send, timed waits.
#pragma once

#include <cstdint>
#include <termios.h>

#include "PluginExport.h"

// Open tty descriptor; -1 stands for no port.
typedef std::int32_t HANDLE;
// Yes/no answer of the serial layer.
typedef std::uint8_t BOOL;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

extern "C" {

// Line settings the last PortSetup found on its port (one record for the
// whole process).
MODEMDIAG_EXPORT extern struct termios gOldtio;

MODEMDIAG_EXPORT HANDLE PortOpen(const char* devName);
MODEMDIAG_EXPORT BOOL PortClose(HANDLE hPort);
MODEMDIAG_EXPORT BOOL PortSetup(HANDLE hPort);
MODEMDIAG_EXPORT BOOL PortRestoreSetup(HANDLE hPort);
MODEMDIAG_EXPORT int PortWrite(HANDLE hPort, int nBytes, const void* srcPtr);
MODEMDIAG_EXPORT int PortRead(HANDLE hPort, int nBytes, void* dstPtr);
MODEMDIAG_EXPORT BOOL PortWaitFor(HANDLE hPort, const char* waitString, std::uint32_t timeout);
MODEMDIAG_EXPORT BOOL PortReadLine(HANDLE hPort, char* line, std::uint32_t cbLine, std::int32_t timeout);
MODEMDIAG_EXPORT int PortPrintf(HANDLE hPort, const char* arg, ...) MODEMDIAG_PRINTF(2, 3);
MODEMDIAG_EXPORT BOOL PortFlush(HANDLE hPort);

}  // extern "C"
