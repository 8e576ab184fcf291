// The check run's view of the dial-up component.
#pragma once

#include "app/check/CheckRun.h"
#include "dialup/TVeltaRAS.h"

namespace pim {

class RasControl final : public DialupControl {
public:
    explicit RasControl(TVeltaRAS& ras) : ras_(ras) {}
    int ActiveEntryCount() override { return ras_.ActiveEntryCount(); }
    int EntryCount() override {
        ras_.AwaitPhonebook(); // a check may wait for it
        return ras_.EntryCount();
    }
    std::string GetEntryName(int index) override { return ras_.GetEntryName(index); }
    bool Dial(int index) override { return ras_.Dial(index); }
    bool HangUp() override { return ras_.HangUp(); }

private:
    TVeltaRAS& ras_;
};

} // namespace pim
