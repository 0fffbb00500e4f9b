// A launch of its own for the one-instance tests: claims the instance in the folder given
// and prints what it became. As the running one it serves hand-offs until it has received
// the number asked for (or 20 s went by) and prints each location it got.
//   instance-probe FOLDER LOCATION EXPECTED_HANDOFFS

#include "instance/SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: instance-probe FOLDER LOCATION EXPECTED_HANDOFFS\n");
        return 2;
    }
    const int nExpected = std::stoi(argv[3]);
    instance::Instance one("ZORVAN - Mimlet Player", argv[1]);
    int nReceived = 0;
    one.setHandler([&](const std::string& location) {
        std::printf("got %s\n", location.c_str());
        std::fflush(stdout);
        if (++nReceived == nExpected) {
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
        }
    });
    switch (one.claim(argv[2])) {
    case instance::Role::Running:
        std::printf("running\n");
        std::fflush(stdout);
        if (nExpected > 0) {
            QTimer::singleShot(20000, &app, &QCoreApplication::quit);
            app.exec();
        }
        return 0;
    case instance::Role::HandedOver:
        std::printf("handed-over\n");
        return 0;
    case instance::Role::Alone:
        std::printf("alone: %s\n", one.error().c_str());
        return 1;
    case instance::Role::Failed:
        std::printf("failed: %s\n", one.error().c_str());
        return 1;
    }
    return 1;
}
