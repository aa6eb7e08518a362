#include "devices/DuplexRequest.h"

namespace ostrevo {

std::uint8_t DuplexToApply(DuplexRequest request, int kartka, std::uint8_t printerDefault)
{
    switch (request) {
    case DuplexRequest::Off:
        return 0;
    case DuplexRequest::On:
        return kartka == 1 ? 2 : 1;
    case DuplexRequest::None:
        break;
    }
    return printerDefault;
}

} // namespace ostrevo
