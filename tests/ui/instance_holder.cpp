// Runs the program's single-instance check in a process of its own, for the instance test:
// prints "first" and then "raised" for every later copy, or "second" and ends.
#include <QCoreApplication>

#include <cstdio>

#include "app/single_instance.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    kivota::SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    if (!instance.bAcquire([] {
            std::printf("raised\n");
            std::fflush(stdout);
        })) {
        std::printf("second\n");
        return 0;
    }
    std::printf("first\n");
    std::fflush(stdout);
    return app.exec();
}
