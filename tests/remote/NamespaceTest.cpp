// The real limited broadcast 255.255.255.255 between a station and the console,
// each in a network namespace of its own, joined by a veth pair. Nothing of it
// reaches the machine's own namespace: the namespaces, the veth pair and its
// private addresses exist only for the test and are deleted at its end.
#include "RunProcess.h"

#include <QProcess>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace pim {
namespace {

using ::testing::HasSubstr;

const std::string kId = std::to_string(::getpid());

using test::Result;

Result Execute(const QStringList& command) {
    return test::RunProcess(command.front(), command.mid(1));
}

// Two namespaces "station" (10.254.0.1) and "console" (10.254.0.2, and
// 10.254.0.3 for a second sender) and the station running in the first; all
// of it removed again, whatever happened.
class Lan {
public:
    const QString station = QString::fromStdString("pim-fpn-station-" + kId);
    const QString console = QString::fromStdString("pim-fpn-console-" + kId);
    std::string error;

    Lan() {
        // Left over by a run that was killed.
        Remove();
        if (const Result added = Execute({"ip", "netns", "add", station}); added.exit != 0) {
            error = "ip netns add failed: " + added.err;
            return;
        }
        // The limited broadcast needs a route to leave by.
        const QString script = QString(R"(set -e; ip netns add %2
            ip -n %1 link add vfs%3 type veth peer name vfc%3 netns %2
            ip -n %1 addr add 10.254.0.1/24 dev vfs%3; ip -n %1 link set lo up
            ip -n %2 addr add 10.254.0.2/24 dev vfc%3; ip -n %2 link set lo up
            ip -n %2 addr add 10.254.0.3/24 dev vfc%3
            ip -n %1 link set vfs%3 up; ip -n %2 link set vfc%3 up
            ip -n %1 route add 255.255.255.255/32 dev vfs%3
            ip -n %2 route add 255.255.255.255/32 dev vfc%3)")
                                   .arg(station, console, QString::fromStdString(kId));
        if (const Result run = Execute({"sh", "-c", script}); run.exit != 0)
            error = "setting up the namespaces: " + run.err;
    }
    ~Lan() {
        if (stationProcess_.state() != QProcess::NotRunning) {
            stationProcess_.kill();
            stationProcess_.waitForFinished();
        }
        Remove();
    }
    Lan(const Lan&) = delete;
    Lan& operator=(const Lan&) = delete;

    // Starts fpn-station under `hostname`; true once it is logged in.
    bool StartStation(const QString& hostname, const QStringList& options = {}) {
        stationProcess_.start("ip", QStringList{"netns", "exec", station, FPN_STATION, "--hostname",
                                                hostname, "--seconds", "60"} +
                                        options);
        while (!stationOut_.contains("READY") && stationProcess_.waitForReadyRead(10000))
            stationOut_ += stationProcess_.readAllStandardOutput();
        return stationOut_.contains("READY");
    }

    std::string StationOutput() {
        stationProcess_.waitForReadyRead(1000);
        stationOut_ += stationProcess_.readAllStandardOutput();
        return stationOut_.toStdString();
    }

    Result Console(QStringList args, const char* program = FPN_CONSOLE) {
        return Execute(QStringList{"ip", "netns", "exec", console, program} + args);
    }

private:
    void Remove() {
        Execute({"ip", "netns", "del", station});
        Execute({"ip", "netns", "del", console});
    }

    QProcess stationProcess_;
    QString stationOut_;
};

class NamespaceTest : public ::testing::Test {
protected:
    std::optional<Lan> lan;
    // Namespaces share the host name; the station gets one of its own so that
    // its prompts, addressed by machine name, reach the console and not itself.
    const QString machine = QString::fromStdString("pimst" + kId).left(15);

    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to create network namespaces";
        lan.emplace();
        if (lan->error.starts_with("ip netns add"))
            GTEST_SKIP() << lan->error;
        ASSERT_EQ(lan->error, "");
    }
};

TEST_F(NamespaceTest, ListAndMenuOverTheLimitedBroadcast) {
    ASSERT_TRUE(lan->StartStation(machine)) << lan->StationOutput();
    EXPECT_THAT(lan->StationOutput(), HasSubstr("READY " + machine.toStdString() + " 10.254.0.1"));

    const Result list = lan->Console({"list"});
    EXPECT_EQ(list.exit, 0) << list.err;
    // Pim's handle name, then:
    EXPECT_EQ(list.out.substr(list.out.find('\t')),
              "\t" + machine.toStdString() + "\t10.254.0.1\tPim\tyes\n");

    // Pim's own menu, without a password.
    const Result menu = lan->Console({"menu", machine, "--answer", "1"});
    EXPECT_EQ(menu.exit, 0) << menu.err;
    EXPECT_THAT(menu.out, HasSubstr("  1) メールチェック開始\n  2) 着信メール確認\n番号: 1\n"
                                    "メールチェックを開始しました。\n"));
    EXPECT_THAT(lan->StationOutput(), HasSubstr("RETURN MenuSelect MailCheck from 10.254.0.2"));
}

// The console gives the password from its address; a station at another
// address that writes the console's names into its requests is asked for the
// password, and the console itself is served on.
TEST_F(NamespaceTest, TheMenuServesOnlyTheAddressThePasswordCameFrom) {
    ASSERT_TRUE(lan->StartStation(machine, {"--password", "pw"})) << lan->StationOutput();
    const Result run = lan->Console({machine, "menu", "Password=pw", "10.254.0.3>InfoMain0=1",
                                     "10.254.0.3>MenuSelect=Mail", "InfoMain0=1"},
                                    FPN_CONSOLE_SCRIPT);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "line Password\nselect MenuSelect\nline Password\nline Password\n"
                       "message ≪タイトル≫\n");
    const std::string station = lan->StationOutput();
    EXPECT_THAT(station, HasSubstr("RETURN Password pw from 10.254.0.2"));
    EXPECT_THAT(station, HasSubstr("RETURN InfoMain0 1 from 10.254.0.3"));
}

} // namespace
} // namespace pim
