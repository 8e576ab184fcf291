// The remote menu's station: prompts sent, and consoles looked up, by a Fernpost station.
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
    std::string ConsoleAddress(const std::string& machineName) const override {
        return station_.FindPeerIP(machineName);
    }
    size_t MessageRoom(const std::string& machineName,
                       const std::string& discrimination) const override {
        return station_.InputMessageRoom(machineName, discrimination);
    }

private:
    TFernpostNetwork& station_;
};

} // namespace pim
