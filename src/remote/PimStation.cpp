#include "remote/PimStation.h"

#include "common/Cp932.h"

#include <pwd.h>
#include <unistd.h>

namespace pim {

std::string LoginName() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_name)
        return cp932::FromUnicode(QString::fromLocal8Bit(entry->pw_name));
    return {};
}

void ConfigureAsPim(TFernpostNetwork& station) {
    station.Discrimination = "Pim";
    station.Version = 100;
    station.Security = true;
    station.Menu = true;
    station.PortNo = 51000;
    station.BroadcastIP.clear();
    station.HandleName = "Pim <" + LoginName() + ">";
}

} // namespace pim
