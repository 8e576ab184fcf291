// A slow link in front of a local server, for trying a client by hand:
//   latency_proxy --target PORT [--listen PORT] [--delay MS] [--rate BYTES_PER_S]
// Listens on 127.0.0.1 (--listen 0, the default, picks a free port), prints
// "PORT n", then one line for each connection that ends: bytes each way,
// round trips and time. Runs until killed.
#include "LatencyProxy.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace {

[[noreturn]] void Usage() {
    std::fprintf(stderr, "usage: latency_proxy --target PORT [--listen PORT] [--delay MS] "
                         "[--rate BYTES_PER_S]\n");
    std::exit(2);
}

unsigned long long Number(const char* text, unsigned long long max) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || value > max)
        Usage();
    return value;
}

} // namespace

int main(int argc, char** argv) {
    pim::bench::LatencyProxy::Options options;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 == argc)
            Usage();
        const std::string option = argv[i];
        if (option == "--target")
            options.targetPort = static_cast<uint16_t>(Number(argv[i + 1], 65535));
        else if (option == "--listen")
            options.listenPort = static_cast<uint16_t>(Number(argv[i + 1], 65535));
        else if (option == "--delay")
            options.delay = std::chrono::milliseconds(Number(argv[i + 1], 60'000));
        else if (option == "--rate")
            options.rate = Number(argv[i + 1], 1ULL << 40);
        else
            Usage();
    }
    if (options.targetPort == 0)
        Usage();
    try {
        pim::bench::LatencyProxy proxy(options);
        std::printf("PORT %u\n", proxy.Port());
        std::fflush(stdout);
        proxy.Run([](const pim::bench::LinkFigures& figures) {
            std::printf("to server %llu bytes, from server %llu bytes, %d round trips, %.1f ms%s\n",
                        static_cast<unsigned long long>(figures.toServer),
                        static_cast<unsigned long long>(figures.fromServer), figures.roundTrips,
                        figures.milliseconds, figures.broken ? ", broken" : "");
            std::fflush(stdout);
        });
    } catch (const std::exception& error) {
        std::fprintf(stderr, "latency_proxy: %s\n", error.what());
        return 1;
    }
}
