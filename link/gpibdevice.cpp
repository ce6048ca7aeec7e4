#include "link/gpibdevice.h"

namespace qlx {

bool GpibDevice::finishBlock()
{
    char end = 0;
    if (read(&end, 1) != 1)
        return false;
    if (end == '\r') {
        if (endSeen() || read(&end, 1) != 1)
            return false;
    }
    return end == '\n' && endSeen();
}

} // namespace qlx
