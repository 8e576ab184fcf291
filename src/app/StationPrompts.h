// The remote menu's prompts sent by a Fernpost station.
#pragma once

#include "app/RemoteMenu.h"
#include "remote/TFernpostNetwork.h"

namespace pim {

class StationPrompts : public RemotePrompts {
public:
    explicit StationPrompts(TFernpostNetwork& station) : station_(station) {}

    void InputSelect(const std::string& message, const std::string& selectList,
                     const std::string& selectReturn, const std::string& selectDiscrimination,
                     const std::string& machineName, const std::string& discrimination) override;
    void InputLine(const std::string& message, const std::string& messageLine,
                   const std::string& lineDiscrimination, const std::string& machineName,
                   const std::string& discrimination) override;
    void InputMessage(const std::string& message, const std::string& machineName,
                      const std::string& discrimination) override;

private:
    TFernpostNetwork& station_;
};

} // namespace pim
