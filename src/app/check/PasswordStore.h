// Where the passwords are that Pim.INI does not hold.
#pragma once

#include "settings/Settings.h"

#include <functional>
#include <optional>
#include <string>

namespace pim {

// Where the passwords are that Pim.INI does not hold.
class PasswordStore {
public:
    virtual ~PasswordStore() = default;
    // Whether the check must ask the store for this account's password.
    virtual bool Keeps(const TAccount& account) const = 0;
    // `done` gets the password, or nothing when it could not be read. A locked
    // store asks the user to unlock it only with `mayPrompt`.
    virtual void Read(const TAccount& account, bool mayPrompt,
                      std::function<void(std::optional<std::string>)> done) = 0;
    // Why the read that just gave nothing gave nothing (asked inside its `done`).
    enum class Unreadable { Locked, NotRunning, Missing, Refused };
    virtual Unreadable LastFailure() const { return Unreadable::Refused; }
};

} // namespace pim
