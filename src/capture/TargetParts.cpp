#include "capture/TargetParts.h"

std::string PortOpenFailedText(const CLineAddress& address, const std::string& problem) {
    if (address.IsNamedDevice())
        return problem.empty() ? "Gerät " + address.GivenDevice() + " kann nicht geöffnet werden !"
                               : problem;
    const int com = address.PortNumber();
    std::string text = "ComPort COM" + std::to_string(com);
    if (com >= 1 && com <= 9)
        text += " (" + address.DeviceName() + ")";
    return problem.empty() ? text + " kann nicht geöffnet werden !" : text + ": " + problem;
}
