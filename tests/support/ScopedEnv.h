// Sets an environment variable for one test and puts the old value back.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <string>

namespace pim::test {

struct ScopedEnv {
    ScopedEnv(const char* name, const std::string& value) : name(name), old(qgetenv(name)) {
        qputenv(name, value.c_str());
    }
    ~ScopedEnv() { old.isNull() ? qunsetenv(name) : qputenv(name, old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    const char* name;
    QByteArray old;
};

} // namespace pim::test
