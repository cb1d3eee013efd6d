#include "capture/TargetParts.h"

std::string PortOpenFailedText(const CLineAddress& address) {
    if (address.IsNamedDevice())
        return "Gerät " + address.GivenDevice() + " kann nicht geöffnet werden !";
    const int com = address.PortNumber();
    std::string text = "ComPort COM" + std::to_string(com);
    if (com >= 1 && com <= 9)
        text += " (" + address.DeviceName() + ")";
    return text + " kann nicht geöffnet werden !";
}
