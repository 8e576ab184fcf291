// A phonebook the test fills, and whose service may fail.
#pragma once

#include "settings/DialupPhonebook.h"

#include <string>
#include <vector>

namespace pim::test {

struct FakePhonebook : DialupPhonebook {
    std::vector<std::string> entries;
    bool serviceError = false, unknown = false; // unknown: not answered yet
    int EntryCount() override { return unknown ? -1 : static_cast<int>(entries.size()); }
    std::string GetEntryName(int i) override { return entries.at(size_t(i)); }
    bool ServiceError() override { return serviceError; }
};

} // namespace pim::test
