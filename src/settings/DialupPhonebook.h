// What the settings loader needs to know of dial-up networking: the dial-up
// component implements it, so the settings never depend on that component.
// Its answers may come only after the load (LoadDialupSettings).
#pragma once

#include <string>

namespace pim {

class DialupPhonebook {
public:
    virtual ~DialupPhonebook() = default;
    virtual int EntryCount() = 0;
    virtual std::string GetEntryName(int index) = 0;
    // Dial-up networking cannot be used on this machine.
    virtual bool ServiceError() = 0;
};

} // namespace pim

namespace pim {

// A machine without dial-up networking.
class NoDialup final : public DialupPhonebook {
public:
    int EntryCount() override { return 0; }
    std::string GetEntryName(int) override { return {}; }
    bool ServiceError() override { return true; }
};

} // namespace pim
