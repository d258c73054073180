// SimDevMem.cpp - writes a simulated machine's dev/mem: physical memory's low megabyte, where the firmware's table lies.
#include "SimulatedRoot.h"

#include <grp.h>
#include <unistd.h>

#include "RootFiles.h"

namespace modemsim {

using namespace rootfiles;

namespace {

// Opening the real /dev/mem takes CAP_SYS_RAWIO, and udev leaves it
// crw-r----- root:kmem: a dialout member gets "permission denied" (and a
// kmem member without the capability "operation not permitted"). The file
// cannot demand a capability, so its mode and owner keep everyone but root
// (and kmem) out.
void KeepToRoot(const std::string& path)
{
    if (geteuid() == 0) {
        const group* kmem = getgrnam("kmem");
        if (chown(path.c_str(), 0, kmem != nullptr ? kmem->gr_gid : 0) != 0) {
            Fail("cannot hand over", path);
        }
    }
}

}  // namespace

void SimulatedRoot::setDevMem()
{
    WriteSparse(file("/dev/mem"), kDevMemSize, {}, 0640);
    KeepToRoot(file("/dev/mem"));
}

// The table lies at its physical address, the file's offset; what it
// declares beyond the megabyte (a broken size) is not there.
void SimulatedRoot::setDevMem(const IrqRoutingTable& table)
{
    std::vector<std::uint8_t> bytes = IrqTableBytes(table);
    if (table.address >= kDevMemSize) {
        bytes.clear();
    } else if (bytes.size() > kDevMemSize - table.address) {
        bytes.resize(kDevMemSize - table.address);
    }
    WriteSparse(file("/dev/mem"), kDevMemSize, {Piece{table.address, bytes}}, 0640);
    KeepToRoot(file("/dev/mem"));
}

}  // namespace modemsim
