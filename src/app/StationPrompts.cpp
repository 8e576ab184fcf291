#include "app/StationPrompts.h"

namespace pim {

// A console missing from the station's table gets nothing, and the menu need not know.

void StationPrompts::InputSelect(const std::string& message, const std::string& selectList,
                                 const std::string& selectReturn,
                                 const std::string& selectDiscrimination,
                                 const std::string& machineName,
                                 const std::string& discrimination) {
    station_.InputSelect(message, selectList, selectReturn, selectDiscrimination, machineName,
                         discrimination);
}

void StationPrompts::InputLine(const std::string& message, const std::string& messageLine,
                               const std::string& lineDiscrimination,
                               const std::string& machineName, const std::string& discrimination) {
    station_.InputLine(message, messageLine, lineDiscrimination, machineName, discrimination);
}

void StationPrompts::InputMessage(const std::string& message, const std::string& machineName,
                                  const std::string& discrimination) {
    station_.InputMessage(message, machineName, discrimination);
}

} // namespace pim
